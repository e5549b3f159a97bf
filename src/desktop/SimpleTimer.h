#pragma once

#include <QtGlobal>
#include <functional>
#include <unordered_map>

namespace lotfinch::platform {
class TimerService;
}

namespace lotfinch::desktop {

class SimpleTimer;

// The tick event: Sender is the timer that ticked.
using TickEvent = std::function<void(SimpleTimer *Sender)>;

// A periodic timer for the GUI thread. It is a plain object: whoever creates
// it frees it. A timer is Disabled, Running, or Paused (Enabled but without
// ticks, after its Interval went to 0 or its OnTick was cleared).
class SimpleTimer
{
public:
    SimpleTimer();
    SimpleTimer(int interval, TickEvent onTick);
    ~SimpleTimer();
    SimpleTimer(const SimpleTimer &) = delete;
    SimpleTimer &operator=(const SimpleTimer &) = delete;

    bool Enabled() const { return enabled_; }
    // True arms the timer (restarting a running countdown), false stops it.
    void setEnabled(bool value);

    int Interval() const { return interval_; }
    // A new non-zero value restarts a running countdown with that period;
    // 0 pauses an enabled timer. The value it already has changes nothing.
    void setInterval(int value);

    const TickEvent &OnTick() const { return onTick_; }
    // Clearing the handler pauses an enabled timer; assigning one does not
    // resume it by itself.
    void setOnTick(TickEvent value);

    // The timer's identity towards the timer service, unique among live timers.
    quint32 id() const { return id_; }
    // Whether the timer service is producing ticks for this timer.
    bool ticking() const;

private:
    bool Arm();
    bool Disarm(bool clearEnabled);

    quint32 id_ = 0;
    bool enabled_ = false;
    int interval_ = 1000;
    TickEvent onTick_;
};

// The hidden window that all live timers share: it receives every tick and
// hands it to the timer it belongs to.
class SimpleTimerHandler
{
public:
    SimpleTimerHandler();
    ~SimpleTimerHandler();
    SimpleTimerHandler(const SimpleTimerHandler &) = delete;
    SimpleTimerHandler &operator=(const SimpleTimerHandler &) = delete;

    quint32 UserCount = 0;
    platform::TimerService &window() { return *window_; }

private:
    friend class SimpleTimer;
    void tick(quint32 id);

    platform::TimerService *window_;
    std::unordered_map<quint32, SimpleTimer *> timers_;
};

// The shared handler, or nullptr while no timer exists.
SimpleTimerHandler *SharedTimerHandler();

} // namespace lotfinch::desktop
