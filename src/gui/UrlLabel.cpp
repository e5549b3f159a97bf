#include "gui/UrlLabel.h"

#include <QMouseEvent>
#include <stdexcept>

#include "desktop/FireEvent.h"
#include "platform/Application.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"

namespace lotfinch::gui {

UrlLabel::UrlLabel(QWidget *owner) : QLabel(owner)
{
    setTextFormat(Qt::PlainText);
    SetFontColor(Qt::blue);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
}

void UrlLabel::SetURL(const std::string &value)
{
    if (value != url_)
        url_ = value;
}

bool UrlLabel::mailSettable(const char *refusal) const
{
    if (urlType_ == UrlType::Auto || urlType_ == UrlType::Mail)
        return true;
    platform::MessageBoxService::ask(window(), refusal, std::string(), platform::MsgIcon::None,
                                     platform::MsgButtons::OK);
    return false;
}

void UrlLabel::SetMailSubject(const std::string &value)
{
    if (mailSettable("Can only set Mail Subject\n\rin Auto or Mail Type."))
        mailSubject_ = value;
}

void UrlLabel::SetMailBody(text::StringList &lines)
{
    if (!mailSettable("Can only set Mail Body\n\rin Auto or Mail Type."))
        return;
    for (int i = 0; i < lines.count(); ++i)
        lines[i] += "\n\r";
    mailBody_ = lines;
}

void UrlLabel::SetAttachment(const std::string &value)
{
    if (mailSettable("Can only set Attachment\n\rin Auto or Mail Type."))
        attachment_ = value;
}

QColor UrlLabel::FontColor() const
{
    return palette().color(QPalette::WindowText);
}

void UrlLabel::SetFontColor(QColor color)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

UrlType UrlLabel::DetectUrlType() const
{
    if (url_.find("http://") != std::string::npos)
        return UrlType::Custom;
    if (url_.find('@') != std::string::npos)
        return UrlType::Mail;
    return UrlType::Http;
}

std::string UrlLabel::Target() const
{
    UrlType type = urlType_ == UrlType::Auto ? DetectUrlType() : urlType_;
    switch (type) {
    case UrlType::Http: return "http://" + url_;
    case UrlType::Mail:
        return "mailto:" + url_ + "?Subject=" + mailSubject_ + "&Body=" + mailBody_.text() + "&Attach=\"" +
               attachment_ + "\"";
    case UrlType::Ftp: return "ftp://" + url_;
    case UrlType::Custom:
    case UrlType::Auto: break;
    }
    return customUrlType_ + url_;
}

void UrlLabel::Click()
{
    // The type detected for Auto holds for this click only, so Target()
    // works it out without touching UrlType.
    if (!platform::Shell::current().open(Target()))
        throw std::runtime_error("Searching for alternate browser.");
}

void UrlLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    // The failure goes to the standard error box here rather than
    // unwinding through Qt's event delivery.
    try {
        Click();
    } catch (const std::exception &error) {
        platform::showErrorBox(error);
    }
}

void UrlLabel::enterEvent(QEnterEvent *event)
{
    if (detectMouse_)
        SetFontColor(activeColor_);
    QLabel::enterEvent(event);
    desktop::fire(OnMouseEnter, this);
}

void UrlLabel::leaveEvent(QEvent *event)
{
    if (detectMouse_)
        SetFontColor(Qt::blue);
    QLabel::leaveEvent(event);
    desktop::fire(OnMouseLeave, this);
}

} // namespace lotfinch::gui
