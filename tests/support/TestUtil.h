#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <functional>

namespace lotfinch::test {

// Runs the event loop until condition holds or the bound passes; returns
// whether it held. The bound is generous: it only stops a broken test.
inline bool waitUntil(const std::function<bool()> &condition, int boundMs = 10000)
{
    QDeadlineTimer deadline(boundMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// Runs the event loop for a while, for checks that something does not happen.
inline void runEventsFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
}

} // namespace lotfinch::test
