#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lotfinch::core {
class ApiKeySource;
class EbayApiClient;
} // namespace lotfinch::core

namespace lotfinch::gui {

// The "eBay Access" window: where the user enters the keys of an eBay
// application keyset, tests them with one token request, and removes them.
class EbayAccessDialog : public QDialog
{
public:
    EbayAccessDialog(QWidget *parent, core::ApiKeySource &keys, core::EbayApiClient &api);

    QLabel *howToLabel;
    QLineEdit *clientIdEdit;
    QLineEdit *clientSecretEdit;
    QLabel *statusLabel;
    QPushButton *saveButton, *testButton, *removeButton, *closeButton;

    void saveClicked();
    void testClicked();
    void removeClicked();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Shows where the keys come from now.
    void showKeys();
    void setStatus(const QString &text);

    core::ApiKeySource &keys_;
    core::EbayApiClient &api_;
};

} // namespace lotfinch::gui
