#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>
#include <optional>

class QGuiApplication;

namespace lotfinch::platform {

// The name of the program's desktop entry (without ".desktop"): docks and
// task bars find the program's icon and name by it.
inline constexpr char DesktopEntryName[] = "com.pellory.Lotfinch";

// The Qt platform the program asks for, given the environment (read through
// env): in a Wayland session with Xwayland, X11 first and Wayland as the
// fallback; nothing where the user chose one or the session is X11 only.
std::optional<QByteArray> PreferredPlatform(const std::function<QByteArray(const char *)> &env);

// Before the application object exists: asks for the preferred platform.
// Returns whether it did, for SettleDesktopSession.
bool ChoosePlatform();

// Once the application object exists: programs started from here choose
// their own platform again, and the windows carry the desktop entry's name
// (desktop file name, Wayland app id, X11 class).
void SettleDesktopSession(QGuiApplication &app, bool platformChosen);

// Runs the event loop without user input (and with flags, such as
// QEventLoop::X11ExcludeTimers) until done() holds or the deadline passes:
// the window system hears the program answer (a desktop calls one that does
// not "not responding") while the user cannot act. Commands given to
// RunOutsideWaits meanwhile wait for its end.
void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done = {},
                               QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

// Runs a command of the user's now, or, if it arrives during a wait that
// answers the window system (a tray menu entry or a notification click comes
// over D-Bus, not as user input), once the last wait has ended, from the event
// loop. The command is dropped if context is deleted first.
void RunOutsideWaits(QObject *context, std::function<void()> command);

} // namespace lotfinch::platform
