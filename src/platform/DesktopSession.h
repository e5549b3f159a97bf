#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>

class QGuiApplication;

namespace lotfinch::platform {

// The name of the program's desktop entry (without ".desktop"): docks and
// task bars find the program's icon and name by it.
inline constexpr char DesktopEntryName[] = "com.pellory.Lotfinch";

// Once the application object exists: the windows carry the desktop
// entry's name (desktop file name, Wayland app id, X11 class).
void SettleDesktopSession(QGuiApplication &app);

// Runs the event loop without user input (and with flags, such as
// QEventLoop::X11ExcludeTimers) until done() holds or the deadline passes:
// the window system hears the program answer (a desktop calls one that does
// not "not responding") while the user cannot act.
void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done = {},
                               QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

} // namespace lotfinch::platform
