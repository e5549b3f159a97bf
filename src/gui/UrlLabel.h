#pragma once

#include <QColor>
#include <QLabel>
#include <cstdint>
#include <functional>
#include <string>

#include "text/StringList.h"

namespace lotfinch::gui {

enum class UrlType : uint8_t { Auto, Http, Mail, Ftp, Custom };

// A label that acts as a hyperlink: blue and underlined, coloured while the
// pointer is over it, and a click opens the address its properties make.
class UrlLabel : public QLabel
{
    Q_OBJECT
public:
    explicit UrlLabel(QWidget *owner = nullptr);

    std::function<void(UrlLabel *sender)> OnMouseEnter;
    std::function<void(UrlLabel *sender)> OnMouseLeave;

    bool DetectMouse() const { return detectMouse_; }
    void SetDetectMouse(bool value) { detectMouse_ = value; }
    UrlType urlType() const { return urlType_; }
    void SetUrlType(UrlType value) { urlType_ = value; }
    const std::string &URL() const { return url_; }
    void SetURL(const std::string &value);
    const std::string &CustomUrlType() const { return customUrlType_; }
    void SetCustomUrlType(const std::string &value) { customUrlType_ = value; }
    QColor ActiveColor() const { return activeColor_; }
    void SetActiveColor(QColor value) { activeColor_ = value; }
    const std::string &MailSubject() const { return mailSubject_; }
    void SetMailSubject(const std::string &value);
    const text::StringList &MailBody() const { return mailBody_; }
    // Ends every line of lines with LF CR, in lines itself, and keeps a copy.
    void SetMailBody(text::StringList &lines);
    const std::string &Attachment() const { return attachment_; }
    void SetAttachment(const std::string &value);

    // The font colour the label draws with.
    QColor FontColor() const;
    void SetFontColor(QColor color);

    // What URL means for the Auto type.
    UrlType DetectUrlType() const;
    // The address a click opens with the current type.
    std::string Target() const;
    // Opens the target through the desktop's shell; throws std::runtime_error
    // "Searching for alternate browser." when that fails.
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool mailSettable(const char *refusal) const;

    bool detectMouse_ = true;
    UrlType urlType_ = UrlType::Auto;
    std::string url_;
    std::string customUrlType_;
    QColor activeColor_ = Qt::red;
    std::string mailSubject_;
    text::StringList mailBody_;
    std::string attachment_;
};

} // namespace lotfinch::gui
