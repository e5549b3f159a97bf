#include "platform/QtTrayShell.h"

#include <QApplication>
#include <QCursor>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QHelpEvent>
#include <QMenu>
#include <QPixmap>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>
#include <climits>
#include <span>

namespace lotfinch::platform {

namespace {

const QString WatcherService = "org.kde.StatusNotifierWatcher";
const QString WatcherPath = "/StatusNotifierWatcher";
const QString WatcherInterface = "org.kde.StatusNotifierWatcher";

// Qt warns about a tray icon without an image; an icon whose image is missing
// shows an empty square instead.
QIcon blankIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

QSystemTrayIcon::MessageIcon balloonIcon(quint32 infoFlags)
{
    switch (infoFlags & 0x0F) {
    case NIIF_INFO: return QSystemTrayIcon::Information;
    case NIIF_WARNING: return QSystemTrayIcon::Warning;
    case NIIF_ERROR: return QSystemTrayIcon::Critical;
    default: return QSystemTrayIcon::NoIcon;
    }
}

// Whether a StatusNotifier host is registered on bus, asked the way Qt asks
// when it chooses between such a host and the X11 tray.
bool statusNotifierHostRegistered(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(WatcherService, WatcherPath, "org.freedesktop.DBus.Properties", "Get");
    get << WatcherInterface << QString("IsStatusNotifierHostRegistered");
    QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

// The standard icons of the notification service for the balloon's icon.
QString balloonIconName(quint32 infoFlags)
{
    switch (infoFlags & 0x0F) {
    case NIIF_INFO: return "dialog-information";
    case NIIF_WARNING: return "dialog-warning";
    case NIIF_ERROR: return "dialog-error";
    default: return QString();
    }
}

// Qt reports a press on the icon as a whole; the program hears the button
// events it is made of.
struct Press
{
    QSystemTrayIcon::ActivationReason reason;
    quint32 events[4]; // up to the first 0
};
constexpr Press X11Presses[] = {
    {QSystemTrayIcon::Trigger, {WM_LBUTTONDOWN, WM_LBUTTONUP}},
    {QSystemTrayIcon::DoubleClick, {WM_LBUTTONDBLCLK, WM_LBUTTONUP}},
    {QSystemTrayIcon::Context, {WM_RBUTTONDOWN, WM_RBUTTONUP}},
    {QSystemTrayIcon::MiddleClick, {WM_MBUTTONDOWN, WM_MBUTTONUP}},
};
// A StatusNotifier host knows no double-click: it turns a click (mostly the
// left one) into "activate", the item's main action. Here that is what a
// double-click does, so an activation arrives as a whole double-click.
constexpr Press StatusNotifierPresses[] = {
    {QSystemTrayIcon::Trigger, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}},
    {QSystemTrayIcon::Context, {WM_RBUTTONDOWN, WM_RBUTTONUP}},
    {QSystemTrayIcon::MiddleClick, {WM_MBUTTONDOWN, WM_MBUTTONUP}},
};

// The shells we stand in for keep a balloon up for at least this long.
constexpr int MinimumBalloonMs = 10000;

} // namespace

QtTrayShell::QtTrayShell(QObject *parent, const QDBusConnection &bus) : bus_(bus)
{
    setParent(parent);
    // Qt chooses once, when first asked: a StatusNotifier host if one is
    // registered then, else the X11 tray. Asking right before gives its answer.
    statusNotifier_ = statusNotifierHostRegistered(bus_);
    // Asking once makes Qt start watching the X11 tray selection.
    QSystemTrayIcon::isSystemTrayAvailable();
    // Workaround: Qt tells of a tray host coming or going only through its
    // xcb native interface, whose class is private; the signal is found by
    // name and exists on xcb alone (elsewhere Qt re-adds its icons itself).
    auto *native = reinterpret_cast<QObject *>(QGuiApplication::platformNativeInterface());
    if (native && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0)
        connect(native, SIGNAL(systemTrayWindowChanged(QScreen *)), this, SLOT(trayHostChanged()));
    // A StatusNotifier host may come without an X11 tray.
    if (statusNotifier_)
        bus_.connect(WatcherService, WatcherPath, WatcherInterface, "StatusNotifierHostRegistered", this,
                     SLOT(trayHostCame()));
}

QtTrayShell::~QtTrayShell() = default;

void QtTrayShell::Icon::post(quint32 event) const
{
    if (receiver)
        receiver->post(callbackMessage, id, event);
}

bool QtTrayShell::notifyIcon(TrayRequest request, const NotifyIconData &data)
{
    auto found = icons_.find(Key(data.hWnd, data.uID));
    Icon *icon = found == icons_.end() ? nullptr : found->second.get();
    switch (request) {
    case NIM_ADD:
        if (!data.hWnd || (icon && icon->tray))
            return false;
        // Without a notification area the icon waits for one; its balloons
        // go to the notification service meanwhile.
        icon = &keep(data);
        if (!available())
            return false;
        show(*icon, data);
        return true;
    case NIM_MODIFY:
        if (!icon)
            return false;
        if (!icon->tray)
            return (data.uFlags & NIF_INFO) && applyBalloon(*icon, data);
        apply(*icon, data);
        return true;
    case NIM_DELETE: {
        if (!icon)
            return false;
        bool shown = icon->tray != nullptr;
        if (icon->balloonShowing)
            icon->post(NIN_BALLOONHIDE);
        icons_.erase(found);
        return shown;
    }
    case NIM_SETVERSION:
        // Qt speaks one protocol; the request only checks that the icon is there.
        return icon && icon->tray;
    }
    return false;
}

QtTrayShell::Icon &QtTrayShell::keep(const NotifyIconData &data)
{
    std::unique_ptr<Icon> &kept = icons_[Key(data.hWnd, data.uID)];
    if (kept)
        return *kept;
    kept = std::make_unique<Icon>();
    Icon *icon = kept.get();
    icon->receiver = data.hWnd;
    icon->id = data.uID;
    icon->callbackMessage = data.uCallbackMessage;
    icon->balloonTimer.setSingleShot(true);
    connect(&icon->balloonTimer, &QTimer::timeout, this, [this, icon] { balloonGone(*icon, NIN_BALLOONTIMEOUT); });
    icon->notification = std::make_unique<DesktopNotification>(bus_);
    DesktopNotification *notification = icon->notification.get();
    connect(notification, &DesktopNotification::shown, this, [icon] {
        icon->balloonShowing = true;
        icon->post(NIN_BALLOONSHOW);
    });
    connect(notification, &DesktopNotification::expired, this,
            [this, icon] { balloonGone(*icon, NIN_BALLOONTIMEOUT); });
    connect(notification, &DesktopNotification::closedElsewhere, this,
            [this, icon] { balloonGone(*icon, NIN_BALLOONHIDE); });
    connect(notification, &DesktopNotification::clicked, this,
            [this, icon] { balloonGone(*icon, NIN_BALLOONUSERCLICK); });
    connect(notification, &DesktopNotification::actionChosen, this,
            [this, icon] { balloonGone(*icon, NIN_BALLOONACTION); });
    connect(data.hWnd, &QObject::destroyed, this, &QtTrayShell::receiverDestroyed, Qt::UniqueConnection);
    return *icon;
}

void QtTrayShell::show(Icon &icon, const NotifyIconData &data)
{
    icon.tray = std::make_unique<QSystemTrayIcon>();
    Icon *raw = &icon;
    const bool statusNotifier = statusNotifier_;
    connect(icon.tray.get(), &QSystemTrayIcon::activated, this,
            [raw, statusNotifier](QSystemTrayIcon::ActivationReason reason) {
                std::span<const Press> presses(StatusNotifierPresses);
                if (!statusNotifier)
                    presses = X11Presses;
                for (const Press &press : presses)
                    if (press.reason == reason)
                        for (quint32 event : press.events)
                            if (event != 0)
                                raw->post(event);
            });
    connect(icon.tray.get(), &QSystemTrayIcon::messageClicked, this, [this, raw] {
        if (raw->balloonTimer.isActive())
            balloonGone(*raw, NIN_BALLOONUSERCLICK);
    });
    apply(icon, data);
    icon.tray->show();
    // Workaround: on an XEmbed tray Qt shows the icon's tooltip from a widget
    // of its own, as a tool tip that guesses whether the text is markup. The
    // tooltip is plain text (a phrase such as "B&W <film>"): it is shown here
    // as such. A StatusNotifier tray gets the text itself and has no widget.
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys"))
            widget->installEventFilter(this);
}

bool QtTrayShell::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->toolTip().isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           Qt::convertFromPlainText(widget->toolTip(), Qt::WhiteSpaceNoWrap), widget);
    return true;
}

void QtTrayShell::apply(Icon &icon, const NotifyIconData &data)
{
    if (data.uFlags & NIF_ICON) {
        static const QIcon blank = blankIcon();
        icon.tray->setIcon(data.hIcon.isNull() ? blank : data.hIcon);
    }
    if (data.uFlags & NIF_TIP)
        icon.tray->setToolTip(QString::fromStdString(fieldText(data.szTip)));
    // A StatusNotifier host shows the menu itself and never asks for it
    // otherwise; an X11 tray leaves it to the owner.
    if (statusNotifier_ && icon.tray->contextMenu() != data.menu)
        icon.tray->setContextMenu(data.menu);
    if (data.uFlags & NIF_INFO)
        applyBalloon(icon, data);
}

bool QtTrayShell::applyBalloon(Icon &icon, const NotifyIconData &data)
{
    std::string text = fieldText(data.szInfo);
    if (text.empty()) {
        icon.notification->close();
        if (icon.balloonShowing) {
            // Qt takes a message with neither title nor text as "hide the balloon".
            if (icon.tray && icon.balloonTimer.isActive())
                icon.tray->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon);
            balloonGone(icon, NIN_BALLOONHIDE);
        }
        return false;
    }
    int shownMs = static_cast<int>(std::clamp<quint32>(data.uTimeout, MinimumBalloonMs, INT_MAX));
    QString title = QString::fromStdString(fieldText(data.szInfoTitle));
    if (!icon.tray || statusNotifier_) {
        // Shown once the service has put it up. Without a tray the
        // notification is the one thing left to click.
        return icon.notification->show(title, QString::fromStdString(text), balloonIconName(data.dwInfoFlags), shownMs,
                                       !icon.tray, QString::fromStdString(fieldText(data.szInfoAction)));
    }
    // Qt's own balloons take no actions: the owner offers them in its menu.
    icon.tray->showMessage(title, QString::fromStdString(text), balloonIcon(data.dwInfoFlags), shownMs);
    icon.balloonShowing = true;
    icon.balloonTimer.start(shownMs);
    icon.post(NIN_BALLOONSHOW);
    return true;
}

void QtTrayShell::balloonGone(Icon &icon, quint32 event)
{
    if (!icon.balloonShowing)
        return;
    icon.balloonShowing = false;
    icon.balloonTimer.stop();
    icon.post(event);
}

void QtTrayShell::receiverDestroyed(QObject *receiver)
{
    for (auto it = icons_.begin(); it != icons_.end();)
        it = it->first.first == receiver ? icons_.erase(it) : std::next(it);
}

void QtTrayShell::trayHostChanged()
{
    // The host that went took our icons with it, and a new one starts empty:
    // the icons wait for the owners of those that should be shown to add them again.
    for (auto &[key, icon] : icons_)
        icon->tray.reset();
    trayHostCame();
}

void QtTrayShell::trayHostCame()
{
    bool waiting = std::any_of(icons_.begin(), icons_.end(), [](const auto &entry) { return !entry.second->tray; });
    if (waiting && available())
        emit taskbarCreated();
}

bool QtTrayShell::available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QPoint QtTrayShell::cursorPos() const
{
    return QCursor::pos();
}

Qt::KeyboardModifiers QtTrayShell::keyboardModifiers() const
{
    return QGuiApplication::queryKeyboardModifiers();
}

int QtTrayShell::doubleClickTime() const
{
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

void QtTrayShell::popupMenu(QMenu *menu, QPoint pos)
{
    menu->exec(pos);
}

} // namespace lotfinch::platform
