#include "gui/PageSourceDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

#include "gui/OwnedWindow.h"
#include "gui/ScreenFit.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

PageSourceDialog::PageSourceDialog(QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("SourceForm");
    setWindowTitle("Page Source");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(488, 508);
    RefuseToGrow(this);

    sourceText = new QPlainTextEdit(this);
    sourceText->setObjectName("sourceText");
    sourceText->setAccessibleName("Page source");
    sourceText->setGeometry(0, 0, 488, 467);
    sourceText->setReadOnly(true);
    sourceText->setLineWrapMode(QPlainTextEdit::NoWrap);
    sourceText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sourceText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    okButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
    okButton->setObjectName("okButton");
    okButton->setGeometry(206, 478, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

void PageSourceDialog::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        BelongToShownOwner(this);
        FitIntoRoom(this, sourceText, RoomForWindow(this));
    }
    QDialog::showEvent(event);
}

void PageSourceDialog::SetLines(const text::LineText &lines)
{
    QString text = text::fromAnsi(lines.text());
    text.replace("\r\n", "\n");
    text.chop(1); // the last line's end
    sourceText->setPlainText(text);
}

} // namespace lotfinch::gui
