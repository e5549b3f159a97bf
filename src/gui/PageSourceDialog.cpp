#include "gui/PageSourceDialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

#include "gui/OwnedWindow.h"
#include "text/AnsiText.h"

namespace lotfinch::gui {

TSourceForm::TSourceForm(QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("SourceForm");
    setWindowTitle("Page Source");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(488, 508);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setAccessibleName("Page source");
    Memo1->setGeometry(0, 0, 488, 467);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), "OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(206, 478, 75, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

void TSourceForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        BelongToShownOwner(this);
    QDialog::showEvent(event);
}

void TSourceForm::SetLines(const text::LineText &lines)
{
    QString text = text::fromAnsi(lines.text());
    text.replace("\r\n", "\n");
    text.chop(1); // the last line's end
    Memo1->setPlainText(text);
}

} // namespace lotfinch::gui
