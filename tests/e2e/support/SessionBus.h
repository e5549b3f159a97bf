#pragma once

#include <QProcess>
#include <QRect>
#include <QString>

#include "support/LotfinchProgram.h"

// Looking at the session bus of a desktop that run-e2e started with one
// (LOTFINCH_E2E_DESKTOP statusnotifier or none): what the StatusNotifier
// watcher and the notification daemon were told, read back the way desktop
// tools read it.
namespace lotfinch::e2e {

// The StatusNotifier item that process pid registered with the watcher, as
// "bus name/object path"; empty if it has none.
QString statusNotifierItemOf(qint64 pid);
// The title of the item's tooltip.
QString statusNotifierToolTip(const QString &item);
// Activates the item as a host does when its user picks it, by pointer or
// keyboard; false if the item did not answer.
bool activateStatusNotifierItem(const QString &item);

// Picks the entry of the item's menu whose label (mnemonic marks left out)
// is label, as a host does over DBusMenu; false if there is none or the
// item did not answer.
bool clickStatusNotifierMenuEntry(const QString &item, const QString &label);

// The left half of the xfce4-panel, where its status tray (the panel holds
// nothing else) draws its items, away from notification popups at the right
// end of the screen; an empty rectangle without the panel.
QRect statusTrayArea();
// The notification daemon's (xfce4-notifyd's) popup on the screen, or an
// empty rectangle.
QRect notificationPopup();

// Where something other than the panel's background is drawn in the area of
// a saved screenshot: the panel's items. Empty if nothing is.
QRect drawnIn(QRect area, const QString &image);

// Records the calls to the desktop's notification service while it lives
// (dbus-monitor).
class NotificationMonitor
{
public:
    NotificationMonitor();
    ~NotificationMonitor();
    NotificationMonitor(const NotificationMonitor &) = delete;
    NotificationMonitor &operator=(const NotificationMonitor &) = delete;

    // Whether it listens (dbus-monitor tells when it does).
    bool started();
    // What dbus-monitor printed so far: one method call per Notify, its
    // strings as `string "..."`.
    QString output();

private:
    QProcess process_;
    QString output_;
};

// Waits until a balloon has reached the notification daemon (its title, a
// text its body holds and its standard icon in a Notify call) and the
// daemon's popup shows the title and popupText; gtest failures otherwise,
// the program's output among them. popup, when given, receives the popup's
// place. Call it through ASSERT_NO_FATAL_FAILURE.
void expectNotification(NotificationMonitor &notifications, LotfinchProgram &program, const QString &title,
                        const QString &text, const QString &icon, const QString &popupText, QRect *popup = nullptr);
// The same for the "FOUND" balloon of a search for "digital camera".
void expectFoundNotification(NotificationMonitor &notifications, LotfinchProgram &program);

} // namespace lotfinch::e2e
