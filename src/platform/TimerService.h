#pragma once

#include <QtGlobal>
#include <functional>
#include <unordered_map>

#include "platform/MessageWindow.h"

namespace lotfinch::platform {

// Periodic timers keyed by an id of the owner's choosing, delivered on the GUI
// thread through Qt's event loop. Between ticks nothing runs: the event loop
// sleeps until the next timer is due.
class TimerService : public MessageWindow
{
public:
    using TickHandler = std::function<void(quint32 id)>;

    explicit TimerService(TickHandler onTick);

    // Starts timer id with the given period in milliseconds; a running timer
    // of the same id is replaced and counts from now. False when the period
    // is not positive or the event loop refuses the timer.
    bool start(quint32 id, int intervalMs);
    // Stops timer id; false when it was not running.
    bool stop(quint32 id);
    bool running(quint32 id) const { return qtIds_.count(id) != 0; }
    int runningCount() const { return static_cast<int>(qtIds_.size()); }

protected:
    void timerEvent(QTimerEvent *event) override;
    void shutDown() override;

private:
    TickHandler onTick_;
    std::unordered_map<quint32, int> qtIds_; // id -> Qt's timer id
    std::unordered_map<int, quint32> ids_;   // Qt's timer id -> id
};

} // namespace lotfinch::platform
