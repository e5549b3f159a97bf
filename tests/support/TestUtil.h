#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace lotfinch::test {

// Runs the event loop for at most ms milliseconds, sleeping while nothing happens.
inline void runEventsOnce(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(std::max(1, ms), &loop, &QEventLoop::quit);
    loop.exec();
    // A nested loop leaves objects deleted later by the caller's level alone.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Runs the event loop until condition holds or the bound passes; returns
// whether it held. The bound is generous: it only stops a broken test.
inline bool waitUntil(const std::function<bool()> &condition, int boundMs = 10000)
{
    QDeadlineTimer deadline(boundMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        runEventsOnce(10);
    }
    return true;
}

// Runs the event loop for a while, for checks that something does not happen.
inline void runEventsFor(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        runEventsOnce(static_cast<int>(std::min<qint64>(10, deadline.remainingTime())));
}

} // namespace lotfinch::test
