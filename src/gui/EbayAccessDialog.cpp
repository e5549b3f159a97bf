#include "gui/EbayAccessDialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/ApiKeySource.h"
#include "core/EbayApiClient.h"
#include "gui/OwnedWindow.h"

namespace lotfinch::gui {

namespace {

const char *const howTo =
    "Lotfinch searches the eBay sites through eBay's Browse API with your own application keyset: create one "
    "for free in the eBay Developers Program (developer.ebay.com, Application Keys) and enter its App ID and "
    "Cert ID. A new production keyset stays disabled until you opt in or out of eBay's account-deletion "
    "notifications there.";

const char *const noKeyring = "No keyring answers: the keys are kept for this run only.";

} // namespace

EbayAccessDialog::EbayAccessDialog(QWidget *parent, core::ApiKeySource &keys, core::EbayApiClient &api)
    : QDialog(parent), keys_(keys), api_(api)
{
    setObjectName("EbayAccessDialog");
    setWindowTitle("eBay Access");
    howToLabel = new QLabel(howTo, this);
    howToLabel->setTextFormat(Qt::PlainText);
    howToLabel->setWordWrap(true);
    clientIdEdit = new QLineEdit(this);
    clientIdEdit->setObjectName("clientIdEdit");
    clientSecretEdit = new QLineEdit(this);
    clientSecretEdit->setObjectName("clientSecretEdit");
    clientSecretEdit->setEchoMode(QLineEdit::Password);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName("statusLabel");
    statusLabel->setTextFormat(Qt::PlainText);
    statusLabel->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow("Client &ID (App ID):", clientIdEdit);
    form->addRow("Client &secret (Cert ID):", clientSecretEdit);
    auto button = [this](const char *name, const char *caption, void (EbayAccessDialog::*handler)()) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        if (handler)
            connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        return b;
    };
    saveButton = button("saveButton", "Sa&ve", &EbayAccessDialog::saveClicked);
    testButton = button("testButton", "&Test", &EbayAccessDialog::testClicked);
    removeButton = button("removeButton", "&Remove", &EbayAccessDialog::removeClicked);
    closeButton = button("closeButton", "&Close", nullptr);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {saveButton, testButton, removeButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(howToLabel);
    layout->addLayout(form);
    layout->addWidget(statusLabel);
    layout->addLayout(buttons);
    showKeys();
    // The wrapped lines take the height they need at the window's width.
    constexpr int width = 440;
    setMinimumSize(width, heightForWidth(width));
    resize(width, heightForWidth(width));
}

void EbayAccessDialog::showEvent(QShowEvent *event)
{
    // Opened from a notification while the main window is put away, it stands alone.
    if (!event->spontaneous())
        BelongToShownOwner(this);
    QDialog::showEvent(event);
}

void EbayAccessDialog::setStatus(const QString &text)
{
    statusLabel->setText(text);
    statusLabel->setAccessibleDescription(text);
}

void EbayAccessDialog::showKeys()
{
    const bool fromEnvironment = keys_.FromEnvironment();
    for (QWidget *w : {static_cast<QWidget *>(clientIdEdit), static_cast<QWidget *>(clientSecretEdit),
                       static_cast<QWidget *>(saveButton), static_cast<QWidget *>(removeButton)})
        w->setEnabled(!fromEnvironment);
    // The secret is never shown, not even as dots of its length.
    clientSecretEdit->clear();
    const std::optional<core::ApiKeys> keys = keys_.Keys();
    clientIdEdit->setText(keys ? QString::fromStdString(keys->clientId) : QString());
    clientSecretEdit->setPlaceholderText(keys ? "(kept)" : QString());
    if (fromEnvironment)
        setStatus("The keys come from LOTFINCH_EBAY_CLIENT_ID and LOTFINCH_EBAY_CLIENT_SECRET.");
    else if (keys_.KeyringUnavailable())
        setStatus(keys ? noKeyring : "No keyring answers: keys entered here are kept for this run only.");
    else
        setStatus(keys ? "The keys are kept in the desktop's keyring." : "No keys: eBay's result pages are checked.");
    removeButton->setEnabled(!fromEnvironment && keys);
    testButton->setEnabled(keys.has_value());
}

void EbayAccessDialog::saveClicked()
{
    const std::optional<core::ApiKeys> kept = keys_.Keys();
    core::ApiKeys keys{clientIdEdit->text().trimmed().toStdString(), clientSecretEdit->text().trimmed().toStdString()};
    // An empty secret keeps the one already kept.
    if (keys.clientSecret.empty() && kept)
        keys.clientSecret = kept->clientSecret;
    const auto where = keys_.Store(keys);
    if (!where) {
        setStatus("Enter the client ID and the client secret, without blanks.");
        return;
    }
    showKeys();
}

void EbayAccessDialog::testClicked()
{
    std::optional<core::ApiKeys> keys = keys_.Keys();
    if (!keys)
        return;
    setStatus("Asking eBay...");
    testButton->setEnabled(false);
    api_.setBase(core::ApiBaseFromEnvironment());
    // The request's wait answers events: the window may be closed meanwhile.
    QPointer<EbayAccessDialog> self(this);
    const core::ApiResult result = api_.TestKeys(*keys);
    if (!self)
        return;
    testButton->setEnabled(true);
    if (result.ok)
        setStatus("eBay accepted the keys.");
    else if (!result.reason.empty())
        setStatus(QString::fromStdString(result.reason));
    else
        setStatus("A check is running: test again when it is done.");
}

void EbayAccessDialog::removeClicked()
{
    const bool answered = keys_.Remove();
    showKeys();
    setStatus(answered ? "The keys are removed." : "No keyring answers: the keys are forgotten for this run.");
}

} // namespace lotfinch::gui
