#include "platform/QtTrayShell.h"

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMenu>
#include <QPixmap>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>
#include <climits>

#include "platform/AnsiText.h"

namespace lotfinch::platform {

namespace {

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

// Qt reports a press on the icon as a whole; the program hears a button
// going down and up again.
struct Press
{
    QSystemTrayIcon::ActivationReason reason;
    quint32 down, up;
};
constexpr Press Presses[] = {
    {QSystemTrayIcon::Trigger, WM_LBUTTONDOWN, WM_LBUTTONUP},
    {QSystemTrayIcon::DoubleClick, WM_LBUTTONDBLCLK, WM_LBUTTONUP},
    {QSystemTrayIcon::Context, WM_RBUTTONDOWN, WM_RBUTTONUP},
    {QSystemTrayIcon::MiddleClick, WM_MBUTTONDOWN, WM_MBUTTONUP},
};

// The shells we stand in for keep a balloon up for at least this long.
constexpr int MinimumBalloonMs = 10000;

} // namespace

QtTrayShell::QtTrayShell(QObject *parent)
{
    setParent(parent);
    // Asking once makes Qt start watching the X11 tray selection.
    QSystemTrayIcon::isSystemTrayAvailable();
    // Workaround: Qt tells of a tray host coming or going only through its
    // xcb native interface, whose class is private; the signal is found by
    // name and exists on xcb alone (elsewhere Qt re-adds its icons itself).
    auto *native = reinterpret_cast<QObject *>(QGuiApplication::platformNativeInterface());
    if (native && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0)
        connect(native, SIGNAL(systemTrayWindowChanged(QScreen *)), this, SLOT(trayHostChanged()));
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
    switch (request) {
    case NIM_ADD:
        if (!data.hWnd || found != icons_.end() || !available())
            return false;
        add(data);
        return true;
    case NIM_MODIFY:
        if (found == icons_.end())
            return false;
        apply(*found->second, data);
        return true;
    case NIM_DELETE:
        if (found == icons_.end())
            return false;
        if (found->second->balloonShowing)
            found->second->post(NIN_BALLOONHIDE);
        icons_.erase(found);
        return true;
    case NIM_SETVERSION:
        // Qt speaks one protocol; the request only checks that the icon is there.
        return found != icons_.end();
    }
    return false;
}

void QtTrayShell::add(const NotifyIconData &data)
{
    auto icon = std::make_unique<Icon>();
    icon->tray = std::make_unique<QSystemTrayIcon>();
    icon->receiver = data.hWnd;
    icon->id = data.uID;
    icon->callbackMessage = data.uCallbackMessage;
    icon->balloonTimer.setSingleShot(true);

    Icon *raw = icon.get();
    connect(icon->tray.get(), &QSystemTrayIcon::activated, this, [raw](QSystemTrayIcon::ActivationReason reason) {
        for (const Press &press : Presses) {
            if (press.reason == reason) {
                raw->post(press.down);
                raw->post(press.up);
            }
        }
    });
    connect(icon->tray.get(), &QSystemTrayIcon::messageClicked, this, [raw] {
        if (!raw->balloonShowing)
            return;
        raw->balloonShowing = false;
        raw->balloonTimer.stop();
        raw->post(NIN_BALLOONUSERCLICK);
    });
    connect(&icon->balloonTimer, &QTimer::timeout, this, [raw] {
        if (!raw->balloonShowing)
            return;
        raw->balloonShowing = false;
        raw->post(NIN_BALLOONTIMEOUT);
    });
    connect(data.hWnd, &QObject::destroyed, this, &QtTrayShell::receiverDestroyed, Qt::UniqueConnection);

    Icon &added = *icon;
    icons_[Key(data.hWnd, data.uID)] = std::move(icon);
    apply(added, data);
    added.tray->show();
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
        icon.tray->setToolTip(fromAnsi(fieldText(data.szTip)));
    if (data.uFlags & NIF_INFO)
        applyBalloon(icon, data);
}

void QtTrayShell::applyBalloon(Icon &icon, const NotifyIconData &data)
{
    std::string text = fieldText(data.szInfo);
    if (text.empty()) {
        if (icon.balloonShowing) {
            icon.balloonShowing = false;
            icon.balloonTimer.stop();
            // Qt takes a message with neither title nor text as "hide the balloon".
            icon.tray->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon);
            icon.post(NIN_BALLOONHIDE);
        }
        return;
    }
    int shownMs = static_cast<int>(std::clamp<quint32>(data.uTimeout, MinimumBalloonMs, INT_MAX));
    icon.tray->showMessage(fromAnsi(fieldText(data.szInfoTitle)), fromAnsi(text), balloonIcon(data.dwInfoFlags),
                           shownMs);
    icon.balloonShowing = true;
    icon.balloonTimer.start(shownMs);
    icon.post(NIN_BALLOONSHOW);
}

void QtTrayShell::receiverDestroyed(QObject *receiver)
{
    for (auto it = icons_.begin(); it != icons_.end();)
        it = it->first.first == receiver ? icons_.erase(it) : std::next(it);
}

void QtTrayShell::trayHostChanged()
{
    // The host that went took our icons with it, and a new one starts empty:
    // the owners of icons that should be shown add them again.
    icons_.clear();
    if (available())
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
