#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include <QMenu>

#include "desktop/ImageList.h"
#include "platform/TrayShell.h"

class QWidget;

namespace lotfinch::desktop {

class SimpleTimer;

// The keys and buttons held during a mouse event.
enum ShiftFlag : unsigned { Shift = 1, Alt = 2, Ctrl = 4, Left = 8, Right = 16, Middle = 32 };
using ShiftState = unsigned;

enum class BalloonIconKind { None, Info, Warning, Error };

using NotifyEvent = std::function<void(QObject *Sender)>;
using MouseButtonEvent = std::function<void(QObject *Sender, Qt::MouseButton Button, ShiftState Shift, int X, int Y)>;
using MouseMoveEvent = std::function<void(QObject *Sender, ShiftState Shift, int X, int Y)>;
using CycleEvent = std::function<void(QObject *Sender, int NextIndex)>;
using StartupEvent = std::function<void(QObject *Sender, bool &ShowMainForm)>;

// The message the notification area sends back for our icons.
constexpr quint32 TrayCallbackMessage = 0x0800;

// One icon in the desktop's notification area: it keeps the icon's image and
// tooltip in step with its properties, turns the area's mouse notifications
// into events, pops up its menu, shows balloons, and can stand in for the
// owner window while that is minimised.
//
// The owner sets the properties, then calls Loaded() once.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QObject *owner);
    ~TrayIcon() override;

    // Applies the properties as set so far; run once after setting them.
    virtual void Loaded();

    // Published properties
    bool DesignPreview() const { return designPreview_; }
    // There is no form designer here, so this has no effect.
    void setDesignPreview(bool value) { designPreview_ = value; }
    desktop::ImageList *IconList() const { return iconList_; }
    void setIconList(desktop::ImageList *value);
    bool CycleIcons() const { return cycleIcons_; }
    void setCycleIcons(bool value);
    quint32 CycleInterval() const { return cycleInterval_; }
    void setCycleInterval(quint32 value);
    bool Enabled() const { return enabled_; }
    void setEnabled(bool value) { enabled_ = value; }
    // The icon's tooltip in UTF-8; the tray shows its first 127 bytes.
    const std::string &Hint() const { return hint_; }
    void setHint(const std::string &value);
    bool ShowHint() const { return showHint_; }
    void setShowHint(bool value);
    const QIcon &Icon() const { return icon_; }
    void setIcon(const QIcon &value);
    bool IconVisible() const { return iconVisible_; }
    void setIconVisible(bool value);
    int IconIndex() const { return iconIndex_; }
    void setIconIndex(int value);
    QMenu *PopupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu *value);
    bool LeftPopup() const { return leftPopup_; }
    void setLeftPopup(bool value) { leftPopup_ = value; }
    bool WantEnterExitEvents() const { return wantEnterExitEvents_; }
    void setWantEnterExitEvents(bool value);
    bool MinimizeToTray() const { return minimizeToTray_; }
    void setMinimizeToTray(bool value) { minimizeToTray_ = value; }

    // Events, raised only when assigned
    NotifyEvent OnClick, OnDblClick;
    MouseButtonEvent OnMouseDown, OnMouseUp;
    MouseMoveEvent OnMouseMove;
    NotifyEvent OnMouseEnter, OnMouseExit;
    CycleEvent OnCycle;
    NotifyEvent OnBalloonHintShow, OnBalloonHintHide, OnBalloonHintTimeout, OnBalloonHintClick;
    // The user chose the balloon's action.
    NotifyEvent OnBalloonHintAction;
    NotifyEvent OnMinimizeToTray;
    StartupEvent OnStartup;

    // Shows a balloon by the icon; false when the icon is not in the tray.
    // The texts are UTF-8: Text is cut to 255 bytes, Title and Action to 63,
    // between two characters. Action, when
    // given, labels the balloon's one action where the desktop's
    // notifications offer actions; choosing it raises OnBalloonHintAction.
    bool ShowBalloon(const std::string &Title, const std::string &Text, BalloonIconKind Kind,
                     unsigned char TimeoutSeconds, const std::string &Action = {});
    void ClearBalloon();

    // Each reports whether the notification area accepted the request.
    virtual bool AddTrayIcon();
    virtual bool RemoveTrayIcon();
    virtual bool UpdateTrayIcon();

    // Shows the popup menu at screen position (X, Y); returns when it closes.
    void PopupAt(int X, int Y);
    void PopupAtCursor();

    // The icon's identity towards the notification area, unique among live icons.
    quint32 iconId() const { return data_.uID; }
    // The record as it was last handed to the notification area.
    const platform::NotifyIconData &iconData() const { return data_; }

    // The internal timers, for those who need to see their state.
    const SimpleTimer &CycleTimer() const { return *cycleTimer_; }
    const SimpleTimer &ClickTimer() const { return *clickTimer_; }
    const SimpleTimer &ExitTimer() const { return *exitTimer_; }

protected:
    // Dispatchers: each raises its event if one is assigned.
    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoCycle(int NextIndex);
    virtual void DoMouseDown(Qt::MouseButton Button, ShiftState Shift, int X, int Y);
    virtual void DoMouseUp(Qt::MouseButton Button, ShiftState Shift, int X, int Y);
    virtual void DoMouseMove(ShiftState Shift, int X, int Y);
    virtual void DoMouseEnter();
    virtual void DoMouseExit();
    // Hides the owner window and shows the icon in its place.
    virtual void MinimizeIntoTray();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    friend class TrayIconHandler;

    void HandleIconMessage(quint32 event);
    bool FillIconData();
    bool notify(platform::TrayRequest request);
    void HideMainWindow();
    QWidget *ownerForm() const;
    void cycleTick();
    void clickTimerTick();
    void exitTimerTick();
    void taskbarCreated();
    void ownerMinimised();
    void clickDefaultItem();

    bool destroying_ = false;
    bool designPreview_ = false;
    QPointer<desktop::ImageList> iconList_;
    bool cycleIcons_ = false;
    quint32 cycleInterval_ = 0;
    bool enabled_ = true;
    std::string hint_;
    bool showHint_ = true;
    QIcon icon_;
    bool iconVisible_ = false;
    int iconIndex_ = 0;
    QPointer<QMenu> popupMenu_;
    bool leftPopup_ = false;
    bool wantEnterExitEvents_ = false;
    bool minimizeToTray_ = false;

    platform::NotifyIconData data_;
    std::unique_ptr<SimpleTimer> cycleTimer_, clickTimer_, exitTimer_;
    QPoint LastCursorPos;
    bool LeftDownOnIcon = false, ClickPending = false, DoubleClicked = false;
    bool CursorOutside = true;
    QPointer<QWidget> ownerForm_;
};

// The hidden window that all live tray icons share: the notification area
// sends every icon's notifications there, and it hands each to its icon.
class TrayIconHandler
{
public:
    TrayIconHandler();
    ~TrayIconHandler();
    TrayIconHandler(const TrayIconHandler &) = delete;
    TrayIconHandler &operator=(const TrayIconHandler &) = delete;

    quint32 UserCount = 0;
    platform::TrayReceiver *window() const { return window_; }

private:
    friend class TrayIcon;
    void HandleTrayMessage(quint32 message, quint32 iconId, quint32 event);

    platform::TrayReceiver *window_;
    std::unordered_map<quint32, TrayIcon *> icons_;
};

// The shared handler, or nullptr while no tray icon exists.
TrayIconHandler *SharedTrayHandler();

} // namespace lotfinch::desktop
