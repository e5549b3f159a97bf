#pragma once

#include <QDeadlineTimer>
#include <functional>

namespace lotfinch::platform {

// Runs the event loop without user input until done() holds or the deadline
// passes: the window system hears the program answer (a desktop calls one
// that does not "not responding") while the user cannot act.
void WaitAnsweringWindowSystem(QDeadlineTimer deadline, const std::function<bool()> &done = {});

} // namespace lotfinch::platform
