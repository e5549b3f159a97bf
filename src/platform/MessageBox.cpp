#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "text/AnsiText.h"

namespace lotfinch::platform {

namespace {

std::deque<MsgAnswer> &prepared()
{
    static std::deque<MsgAnswer> answers;
    return answers;
}

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::Warning: return QMessageBox::Warning;
    case MsgIcon::Error: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QString iconName(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Information: return "Information";
    case MsgIcon::Warning: return "Warning";
    case MsgIcon::Error: return "Error";
    case MsgIcon::Question: return "Question";
    case MsgIcon::None: break;
    }
    return QString();
}

QMessageBox::StandardButtons qtButtons(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OK: return QMessageBox::Ok;
    case MsgButtons::OKCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

} // namespace

MsgAnswer MessageBoxService::ask(const MsgQuestion &question)
{
    if (!prepared().empty()) {
        MsgAnswer answer = prepared().front();
        prepared().pop_front();
        answeredQuestions().push_back(question);
        return answer;
    }
    auto decode = [&](const std::string &text) {
        return question.unicode ? QString::fromStdString(text) : text::fromAnsi(text);
    };
    QMessageBox box(qtIcon(question.icon), decode(question.title), decode(question.text), qtButtons(question.buttons),
                    question.owner);
    // Messages may quote a phrase or a server's words: shown as written.
    box.setTextFormat(Qt::PlainText);
    // A screen reader names the icon by what it tells.
    if (auto *icon = box.findChild<QLabel *>("qt_msgboxex_icon_label"))
        icon->setAccessibleName(iconName(question.icon));
    if (question.title.empty())
        box.setWindowTitle(QApplication::applicationName());
    // Each button answers its first letter, pressed alone or with Alt, on every
    // desktop: Qt's own texts give OK and Cancel none where the desktop's
    // theme (GNOME's, KDE's) does not supply its own (sway).
    for (QAbstractButton *button : box.buttons())
        if (!button->text().contains('&'))
            button->setText('&' + button->text());
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgAnswer::OK;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default: break;
    }
    return question.buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

MsgAnswer MessageBoxService::ask(QWidget *owner, const std::string &text, const std::string &title, MsgIcon icon,
                                 MsgButtons buttons)
{
    return ask(MsgQuestion{owner, text, title, icon, buttons});
}

void MessageBoxService::preAnswer(MsgAnswer answer)
{
    prepared().push_back(answer);
}

std::deque<MsgQuestion> &MessageBoxService::answeredQuestions()
{
    static std::deque<MsgQuestion> questions;
    return questions;
}

void MessageBoxService::reset()
{
    prepared().clear();
    answeredQuestions().clear();
}

} // namespace lotfinch::platform
