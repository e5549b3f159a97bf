#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <stdexcept>
#include <string>

#include "core/HintLayout.h"
#include "desktop/ImageList.h"
#include "gui/PictureContainer.h"

namespace lotfinch::gui {

class HtmlHintError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class HintStyle : uint8_t { Rectangle, Rounded };

// The parameters of one hint, as the show-hint notification passes them on.
struct HintInfo
{
    QPointer<QWidget> HintControl;
    QPoint HintPos;            // the hint window's top-left corner, in global coordinates
    int HintMaxWidth = 0;      // the widest the hint window may be
    core::HintColor HintColor; // its background
    QRect CursorRect;          // the hint hides when the pointer leaves it (global)
};

class HtmlHintWindow;

// Placed once on the main window, it makes every hint (tool tip) of that
// window and the windows it owns render its markup in a HtmlHintWindow.
class HtmlHint : public QObject
{
    Q_OBJECT
public:
    // Throws HtmlHintError when owner is not a window or already has one.
    explicit HtmlHint(QObject *owner);
    ~HtmlHint() override;

    bool Ellipsis() const { return ellipsis_; }
    void SetEllipsis(bool value) { ellipsis_ = value; }
    core::HintColor HintColor() const { return hintColor_; }
    void SetHintColor(core::HintColor value) { hintColor_ = value; }
    const core::HintFont &HintFont() const { return hintFont_; }
    void SetHintFont(const core::HintFont &value) { hintFont_ = value; }
    HintStyle hintStyle() const { return hintStyle_; }
    void SetHintStyle(HintStyle value) { hintStyle_ = value; }
    desktop::ImageList *Images() const { return images_; }
    void SetImages(desktop::ImageList *value) { images_ = value; }
    int MaxWidth() const { return maxWidth_; }
    void SetMaxWidth(int value) { maxWidth_ = value; }
    PictureContainer *pictureContainer() const { return pictures_; }
    void SetPictureContainer(PictureContainer *value) { pictures_ = value; }
    QColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(QColor value) { shadowColor_ = value; }
    int ShadowOffset() const { return shadowOffset_; }
    void SetShadowOffset(int value) { shadowOffset_ = value; }
    core::HintColor URLColor() const { return urlColor_; }
    void SetURLColor(core::HintColor value) { urlColor_ = value; }
    int XMargin() const { return xMargin_; }
    void SetXMargin(int value) { xMargin_ = value; }
    int YMargin() const { return yMargin_; }
    void SetYMargin(int value) { yMargin_ = value; }

    // Called for every hint before it shows; may change its text (UTF-8),
    // its parameters, or stop it (canShow).
    std::function<void(HtmlHint *sender, std::string &hintStr, bool &canShow, HintInfo &info)> OnShowHint;

    // The parameters of the last hint shown.
    const HintInfo &LastHintInfo() const { return lastInfo_; }
    HtmlHintWindow *HintWindow() const { return window_; }

    // Shows the hint that applies to widget (its own tool tip, or else the
    // nearest parent's in the same window) for the pointer at globalPos.
    // Returns whether there was one.
    bool ShowHintFor(QWidget *widget, QPoint globalPos);
    // Whether widget lies on the owner form or on a window it owns. Other
    // windows keep their own tool tips (the notification area's icon shows
    // plain text).
    bool DrawsHintsOf(const QWidget *widget) const;
    void HideHint();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // False when the handler freed this component.
    bool showHintNotification(std::string &hintStr, bool &canShow, HintInfo &info);
    void recheckHint();

    bool ellipsis_ = false;
    core::HintColor hintColor_ = core::HintColor::system(core::sys::InfoBk);
    core::HintFont hintFont_;
    HintStyle hintStyle_ = HintStyle::Rectangle;
    QPointer<desktop::ImageList> images_;
    int maxWidth_ = 0;
    QPointer<PictureContainer> pictures_;
    QColor shadowColor_{128, 128, 128};
    int shadowOffset_ = 1;
    core::HintColor urlColor_ = core::HintColor::rgb(0, 0, 255);
    int xMargin_ = 0;
    int yMargin_ = 0;

    HintInfo lastInfo_;
    QString shownText_;
    QPointer<HtmlHintWindow> window_;
    QTimer hideTimer_;
    bool recheckPending_ = false;

    friend class HtmlHintWindow;
};

// The window that draws one hint: frameless, on top, never activated.
class HtmlHintWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HtmlHintWindow(HtmlHint *hint);

    // Lays out and shows text (UTF-8) with the parameters of the hint
    // component's last show-hint notification.
    void ActivateHint(const std::string &text);

    const std::string &Caption() const { return caption_; }
    const core::HintLayout &Layout() const { return layout_; }
    int TextWidth() const { return layout_.width; }
    int TextHeight() const { return layout_.height; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<HtmlHint> hint_;
    std::string caption_;
    core::HintLayout layout_;
    QColor background_;
};

// The hint window's place: at pos, moved left or up where needed so that it
// ends 2 pixels inside the screen nearest to pos.
QRect PlaceHintWindow(QPoint pos, QSize size, const QList<QRect> &screens);

} // namespace lotfinch::gui
