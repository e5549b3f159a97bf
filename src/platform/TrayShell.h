#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "platform/MessageWindow.h"
#include "text/Utf8Text.h"

class QMenu;

namespace lotfinch::platform {

// Requests to the notification area, with the numbers the shell uses for them.
enum TrayRequest : quint32 { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2, NIM_SETVERSION = 4 };

// Which parts of the record a request carries.
constexpr quint32 NIF_MESSAGE = 0x01;
constexpr quint32 NIF_ICON = 0x02;
constexpr quint32 NIF_TIP = 0x04;
constexpr quint32 NIF_INFO = 0x10;

// The balloon's icon.
constexpr quint32 NIIF_NONE = 0, NIIF_INFO = 1, NIIF_WARNING = 2, NIIF_ERROR = 3;

// The events that come back with an icon's callback message.
constexpr quint32 WM_MOUSEMOVE = 0x0200;
constexpr quint32 WM_LBUTTONDOWN = 0x0201;
constexpr quint32 WM_LBUTTONUP = 0x0202;
constexpr quint32 WM_LBUTTONDBLCLK = 0x0203;
constexpr quint32 WM_RBUTTONDOWN = 0x0204;
constexpr quint32 WM_RBUTTONUP = 0x0205;
constexpr quint32 WM_RBUTTONDBLCLK = 0x0206;
constexpr quint32 WM_MBUTTONDOWN = 0x0207;
constexpr quint32 WM_MBUTTONUP = 0x0208;
constexpr quint32 NIN_BALLOONSHOW = 0x0402;
constexpr quint32 NIN_BALLOONHIDE = 0x0403;
constexpr quint32 NIN_BALLOONTIMEOUT = 0x0404;
constexpr quint32 NIN_BALLOONUSERCLICK = 0x0405;
// Ours: the user chose the balloon's action (szInfoAction) in a notification.
constexpr quint32 NIN_BALLOONACTION = 0x0480;

// Receives the notifications of the icons whose record names it, from the
// event loop. It stands in for the hidden window of the icons' handler.
class TrayReceiver : public MessageWindow
{
public:
    using Handler = std::function<void(quint32 message, quint32 iconId, quint32 event)>;
    explicit TrayReceiver(Handler handler) : handler_(std::move(handler)) {}

    // Queues a notification; it is dropped if the receiver goes first.
    void post(quint32 message, quint32 iconId, quint32 event);
    // Hands a notification over at once.
    void deliver(quint32 message, quint32 iconId, quint32 event);

protected:
    void shutDown() override { handler_ = nullptr; }

private:
    Handler handler_;
};

// One icon as the notification area sees it. Texts are UTF-8, cut to the
// room they have between two characters and always terminated.
struct NotifyIconData
{
    TrayReceiver *hWnd = nullptr;
    quint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[128] = {};
    char szInfo[256] = {};
    quint32 uTimeout = 0; // balloon time in ms; the protocol version for NIM_SETVERSION
    char szInfoTitle[64] = {};
    quint32 dwInfoFlags = 0;
    // The label of the balloon's one action, offered where the desktop's
    // notifications take actions; empty for none.
    char szInfoAction[64] = {};
    // The icon's menu, for trays that show it themselves (StatusNotifier
    // hosts); elsewhere its owner pops it up.
    QMenu *menu = nullptr;
};

// Copies at most N - 1 bytes of UTF-8 text into field, whole characters
// only, and terminates it.
template <size_t N> void setField(char (&field)[N], std::string_view text)
{
    size_t length = text::utf8Prefix(text, N - 1).size();
    if (length > 0)
        std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, N - length);
}

template <size_t N> std::string fieldText(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

// The desktop's notification area and the few desktop services its icons
// need. One instance serves the process; tests install a fake.
class TrayShell : public QObject
{
    Q_OBJECT
public:
    // The installed shell, or the real one.
    static TrayShell &instance();
    // Test seam: shell replaces the real one until reset with nullptr.
    static void install(TrayShell *shell);

    // Adds, changes or removes the icon (data.hWnd, data.uID); reports success.
    virtual bool notifyIcon(TrayRequest request, const NotifyIconData &data) = 0;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;

    virtual QPoint cursorPos() const = 0;
    // The Shift, Ctrl and Alt keys as they are down right now.
    virtual Qt::KeyboardModifiers keyboardModifiers() const = 0;
    // Milliseconds within which a second click makes a double-click.
    virtual int doubleClickTime() const = 0;
    // Shows menu at pos and returns when it has closed.
    virtual void popupMenu(QMenu *menu, QPoint pos) = 0;

signals:
    // The notification area came (back): icons that should be in it must be
    // added again.
    void taskbarCreated();
};

} // namespace lotfinch::platform
