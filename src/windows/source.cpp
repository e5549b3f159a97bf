#include "windows/source.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

#include "platform/AnsiText.h"
#include "windows/OwnedWindow.h"

namespace lotfinch::windows {

TSourceForm::TSourceForm(QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName("SourceForm");
    setWindowTitle("Page Source");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(488, 508);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
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

void TSourceForm::SetLines(const platform::StringList &lines)
{
    QStringList text;
    text.reserve(lines.count());
    for (const std::string &line : lines.lines())
        text.append(platform::fromAnsi(line));
    Memo1->setPlainText(text.join('\n'));
}

} // namespace lotfinch::windows
