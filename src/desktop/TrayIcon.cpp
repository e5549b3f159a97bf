#include "desktop/TrayIcon.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>
#include <climits>

#include "desktop/FireEvent.h"
#include "desktop/ImageList.h"
#include "desktop/SharedHandler.h"
#include "desktop/SimpleTimer.h"

namespace lotfinch::desktop {

using namespace lotfinch::platform;

namespace {

SharedHandler<TrayIconHandler> shared;
quint32 lastIconId = 0;

constexpr quint32 PlainFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

TrayShell &shell()
{
    return TrayShell::instance();
}

// A menu pops up by itself unless it was told not to (AutoPopup false).
bool autoPopup(const QMenu *menu)
{
    QVariant value = menu->property("AutoPopup");
    return !value.isValid() || value.toBool();
}

ShiftState shiftNow()
{
    Qt::KeyboardModifiers keys = shell().keyboardModifiers();
    ShiftState shift = 0;
    if (keys & Qt::ShiftModifier)
        shift |= ShiftFlag::Shift;
    if (keys & Qt::ControlModifier)
        shift |= ShiftFlag::Ctrl;
    if (keys & Qt::AltModifier)
        shift |= ShiftFlag::Alt;
    return shift;
}

} // namespace

TrayIconHandler *SharedTrayHandler()
{
    return shared.get();
}

TrayIconHandler::TrayIconHandler()
    : window_(new TrayReceiver(
          [this](quint32 message, quint32 iconId, quint32 event) { HandleTrayMessage(message, iconId, event); }))
{}

TrayIconHandler::~TrayIconHandler()
{
    window_->dispose();
}

void TrayIconHandler::HandleTrayMessage(quint32 message, quint32 iconId, quint32 event)
{
    if (message != TrayCallbackMessage)
        return;
    // An id that names no live icon is ignored.
    auto found = icons_.find(iconId);
    if (found != icons_.end())
        found->second->HandleIconMessage(event);
}

TrayIcon::TrayIcon(QObject *owner) : QObject(owner)
{
    TrayIconHandler &handler = shared.acquire();
    data_.uID = nextFreeId(lastIconId, handler.icons_);
    handler.icons_[data_.uID] = this;
    data_.hWnd = handler.window();
    data_.uFlags = PlainFlags;
    data_.uCallbackMessage = TrayCallbackMessage;

    cycleTimer_ = std::make_unique<SimpleTimer>(1000, [this](SimpleTimer *) { cycleTick(); });
    clickTimer_ = std::make_unique<SimpleTimer>(1000, [this](SimpleTimer *) { clickTimerTick(); });
    exitTimer_ = std::make_unique<SimpleTimer>(20, [this](SimpleTimer *) { exitTimerTick(); });

    connect(&shell(), &TrayShell::taskbarCreated, this, &TrayIcon::taskbarCreated);
    // Minimising the owner window is seen here before anyone else acts on it.
    if (auto *widget = qobject_cast<QWidget *>(owner)) {
        ownerForm_ = widget->window();
        ownerForm_->installEventFilter(this);
    }
}

TrayIcon::~TrayIcon()
{
    destroying_ = true;
    RemoveTrayIcon();
    cycleTimer_.reset();
    clickTimer_.reset();
    exitTimer_.reset();
    if (ownerForm_)
        ownerForm_->removeEventFilter(this);
    shared.get()->icons_.erase(data_.uID);
    shared.release();
}

void TrayIcon::Loaded()
{
    if (ownerForm_) {
        bool showMainForm = true;
        fire(OnStartup, this, showMainForm);
        if (!showMainForm)
            HideMainWindow();
    }
    UpdateTrayIcon();
    setIconVisible(iconVisible_);
    setCycleIcons(cycleIcons_);
    setWantEnterExitEvents(wantEnterExitEvents_);
    // The classic notification protocol (version 0).
    data_.uTimeout = 0;
    notify(NIM_SETVERSION);
}

void TrayIcon::setIconList(ImageList *value)
{
    if (iconList_)
        disconnect(iconList_, &QObject::destroyed, this, nullptr);
    iconList_ = value;
    if (value) {
        connect(value, &QObject::destroyed, this, [this] {
            iconList_ = nullptr;
            setIconIndex(0);
        });
    }
    setIconIndex(0);
}

void TrayIcon::setCycleIcons(bool value)
{
    cycleIcons_ = value;
    if (value) {
        setIconIndex(0);
        cycleTimer_->setInterval(static_cast<int>(std::min<quint32>(cycleInterval_, INT_MAX)));
        cycleTimer_->setEnabled(true);
    } else {
        cycleTimer_->setEnabled(false);
    }
}

void TrayIcon::setCycleInterval(quint32 value)
{
    if (value == cycleInterval_)
        return;
    cycleInterval_ = value;
    setCycleIcons(cycleIcons_);
}

void TrayIcon::setHint(const std::string &value)
{
    hint_ = value;
    UpdateTrayIcon();
}

void TrayIcon::setShowHint(bool value)
{
    showHint_ = value;
    UpdateTrayIcon();
}

void TrayIcon::setIcon(const QIcon &value)
{
    icon_ = value;
    UpdateTrayIcon();
}

void TrayIcon::setIconVisible(bool value)
{
    if (value)
        AddTrayIcon();
    else
        RemoveTrayIcon();
}

void TrayIcon::setIconIndex(int value)
{
    if (iconList_) {
        // Only the upper end is clamped: a negative index shows no image.
        iconIndex_ = std::min(value, iconList_->count() - 1);
        icon_ = iconList_->icon(iconIndex_);
    } else {
        iconIndex_ = 0;
    }
    UpdateTrayIcon();
}

void TrayIcon::setPopupMenu(QMenu *value)
{
    if (popupMenu_)
        disconnect(popupMenu_, &QObject::destroyed, this, nullptr);
    popupMenu_ = value;
    if (value)
        connect(value, &QObject::destroyed, this, [this] { popupMenu_ = nullptr; });
}

void TrayIcon::setWantEnterExitEvents(bool value)
{
    wantEnterExitEvents_ = value;
    exitTimer_->setEnabled(value);
}

bool TrayIcon::FillIconData()
{
    data_.hIcon = icon_;
    if (!hint_.empty() && showHint_)
        setField(data_.szTip, hint_);
    else
        setField(data_.szTip, {});
    return true;
}

bool TrayIcon::notify(TrayRequest request)
{
    data_.menu = popupMenu_;
    return FillIconData() && shell().notifyIcon(request, data_);
}

bool TrayIcon::AddTrayIcon()
{
    iconVisible_ = true;
    return notify(NIM_ADD);
}

bool TrayIcon::RemoveTrayIcon()
{
    iconVisible_ = false;
    return notify(NIM_DELETE);
}

bool TrayIcon::UpdateTrayIcon()
{
    // Whether the icon is in the tray is the notification area's business:
    // for an icon that is not there the request fails.
    return notify(NIM_MODIFY);
}

void TrayIcon::ClearBalloon()
{
    data_.uFlags |= NIF_INFO;
    setField(data_.szInfo, {});
    setField(data_.szInfoAction, {});
    UpdateTrayIcon();
}

bool TrayIcon::ShowBalloon(const std::string &Title, const std::string &Text, BalloonIconKind Kind,
                           unsigned char TimeoutSeconds, const std::string &Action)
{
    ClearBalloon();
    data_.uFlags |= NIF_INFO;
    setField(data_.szInfo, Text);
    setField(data_.szInfoTitle, Title);
    setField(data_.szInfoAction, Action);
    data_.uTimeout = TimeoutSeconds * 1000u;
    data_.dwInfoFlags = static_cast<quint32>(Kind);
    bool shown = UpdateTrayIcon();
    data_.uFlags = PlainFlags;
    return shown;
}

void TrayIcon::HandleIconMessage(quint32 event)
{
    QPointer<TrayIcon> alive(this);
    switch (event) {
    case NIN_BALLOONSHOW: return fire(OnBalloonHintShow, this);
    case NIN_BALLOONHIDE: return fire(OnBalloonHintHide, this);
    case NIN_BALLOONTIMEOUT: return fire(OnBalloonHintTimeout, this);
    case NIN_BALLOONUSERCLICK: return fire(OnBalloonHintClick, this);
    case NIN_BALLOONACTION: return fire(OnBalloonHintAction, this);
    }
    if (!enabled_)
        return;

    ShiftState shift = shiftNow();
    QPoint pos = shell().cursorPos();
    int x = pos.x(), y = pos.y();
    bool menuPops = popupMenu_ && autoPopup(popupMenu_);
    // Each step after an event handler first checks that the handler did
    // not free this icon.
    switch (event) {
    case WM_MOUSEMOVE:
        if (wantEnterExitEvents_ && CursorOutside) {
            DoMouseEnter();
            if (!alive)
                return;
            CursorOutside = false;
        }
        DoMouseMove(shift, x, y);
        if (alive)
            LastCursorPos = pos;
        break;
    case WM_LBUTTONDOWN:
        // With a double-click handler, a single click waits until a second
        // click can no longer come.
        if (OnDblClick) {
            clickTimer_->setInterval(shell().doubleClickTime());
            clickTimer_->setEnabled(true);
        }
        DoMouseDown(Qt::LeftButton, shift | ShiftFlag::Left, x, y);
        if (!alive)
            return;
        LeftDownOnIcon = true;
        if (leftPopup_ && menuPops)
            PopupAtCursor();
        break;
    case WM_LBUTTONUP:
        if (LeftDownOnIcon)
            ClickPending = true;
        if (LeftDownOnIcon && !clickTimer_->Enabled()) {
            LeftDownOnIcon = false;
            ClickPending = false;
            DoClick();
            if (!alive)
                return;
        }
        LeftDownOnIcon = false;
        DoMouseUp(Qt::LeftButton, shift | ShiftFlag::Left, x, y);
        break;
    case WM_LBUTTONDBLCLK:
        ClickPending = false;
        DoubleClicked = true;
        DoDblClick();
        if (alive && menuPops && !leftPopup_)
            clickDefaultItem();
        break;
    case WM_RBUTTONDOWN:
        DoMouseDown(Qt::RightButton, shift | ShiftFlag::Right, x, y);
        if (alive && menuPops)
            PopupAtCursor();
        break;
    case WM_RBUTTONUP: DoMouseUp(Qt::RightButton, shift | ShiftFlag::Right, x, y); break;
    case WM_MBUTTONDOWN: DoMouseDown(Qt::MiddleButton, shift | ShiftFlag::Middle, x, y); break;
    case WM_MBUTTONUP: DoMouseUp(Qt::MiddleButton, shift | ShiftFlag::Middle, x, y); break;
    default: break;
    }
}

void TrayIcon::clickDefaultItem()
{
    // The menu's default item, if it sits at the top level of the menu.
    QAction *item = popupMenu_ ? popupMenu_->defaultAction() : nullptr;
    if (item && popupMenu_->actions().contains(item))
        item->trigger();
}

void TrayIcon::clickTimerTick()
{
    clickTimer_->setEnabled(false);
    if (!DoubleClicked && ClickPending) {
        ClickPending = false;
        QPointer<TrayIcon> alive(this);
        DoClick();
        if (!alive)
            return;
    }
    DoubleClicked = false;
}

void TrayIcon::PopupAtCursor()
{
    QPoint pos = shell().cursorPos();
    PopupAt(pos.x(), pos.y());
}

void TrayIcon::PopupAt(int X, int Y)
{
    if (popupMenu_)
        shell().popupMenu(popupMenu_, QPoint(X, Y));
}

void TrayIcon::cycleTick()
{
    if (!iconList_)
        return;
    icon_ = iconList_->icon(iconIndex_);
    int next = iconIndex_ >= iconList_->count() - 1 ? 0 : iconIndex_ + 1;
    QPointer<TrayIcon> alive(this);
    DoCycle(next);
    if (alive)
        setIconIndex(next);
}

void TrayIcon::exitTimerTick()
{
    if (CursorOutside)
        return;
    if (shell().cursorPos() != LastCursorPos) {
        CursorOutside = true;
        DoMouseExit();
    }
}

void TrayIcon::taskbarCreated()
{
    // The notification area was restarted and has lost the icon.
    if (iconVisible_)
        AddTrayIcon();
}

bool TrayIcon::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != ownerForm_ || destroying_)
        return false;
    if (event->type() == QEvent::WindowStateChange) {
        auto *change = static_cast<QWindowStateChangeEvent *>(event);
        if (ownerForm_->isMinimized() && !(change->oldState() & Qt::WindowMinimized) && minimizeToTray_ &&
            shell().available()) {
            // Hidden once the minimising is over: a window minimised from code
            // is shown minimised right after this event.
            QMetaObject::invokeMethod(this, &TrayIcon::ownerMinimised, Qt::QueuedConnection);
        }
    } else if (event->type() == QEvent::Show && !event->spontaneous()) {
        // Workaround: a Qt window hidden while minimised keeps that state and
        // would come back iconified; clearing it while the window is hidden
        // would map it behind the widget's back, so it is cleared here.
        if (ownerForm_->isMinimized())
            ownerForm_->setWindowState(ownerForm_->windowState() & ~Qt::WindowMinimized);
        // A window coming back from the tray comes to the front.
        ownerForm_->activateWindow();
    }
    return false;
}

void TrayIcon::ownerMinimised()
{
    // Without a notification area the hidden window could not be reached
    // again: it stays minimised the ordinary way.
    if (!ownerForm_ || !ownerForm_->isMinimized() || !minimizeToTray_ || !shell().available())
        return;
    QPointer<TrayIcon> alive(this);
    fire(OnMinimizeToTray, this);
    if (alive)
        MinimizeIntoTray();
}

void TrayIcon::MinimizeIntoTray()
{
    HideMainWindow();
    setIconVisible(true);
}

void TrayIcon::HideMainWindow()
{
    if (!ownerForm_)
        return;
    ownerForm_->hide();
}

void TrayIcon::DoClick()
{
    fire(OnClick, this);
}

void TrayIcon::DoDblClick()
{
    fire(OnDblClick, this);
}

void TrayIcon::DoCycle(int NextIndex)
{
    fire(OnCycle, this, NextIndex);
}

void TrayIcon::DoMouseDown(Qt::MouseButton Button, ShiftState Shift, int X, int Y)
{
    fire(OnMouseDown, this, Button, Shift, X, Y);
}

void TrayIcon::DoMouseUp(Qt::MouseButton Button, ShiftState Shift, int X, int Y)
{
    fire(OnMouseUp, this, Button, Shift, X, Y);
}

void TrayIcon::DoMouseMove(ShiftState Shift, int X, int Y)
{
    fire(OnMouseMove, this, Shift, X, Y);
}

void TrayIcon::DoMouseEnter()
{
    fire(OnMouseEnter, this);
}

void TrayIcon::DoMouseExit()
{
    fire(OnMouseExit, this);
}

} // namespace lotfinch::desktop
