#pragma once

#include <QDialog>

#include "text/LineText.h"

class QPlainTextEdit;
class QPushButton;

namespace lotfinch::gui {

// The page-source window: the lines of the last fetched page, read-only.
class PageSourceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PageSourceDialog(QWidget *owner);

    QPlainTextEdit *sourceText;
    QPushButton *okButton; // OK

    // Replaces the text box's lines with a copy of lines.
    void SetLines(const text::LineText &lines);

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace lotfinch::gui
