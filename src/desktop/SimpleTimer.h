#pragma once

#include <QtGlobal>
#include <functional>
#include <unordered_map>

namespace lotfinch::platform {
class TimerService;
}

namespace lotfinch::desktop {

class TSimpleTimer;

// The tick event: Sender is the timer that ticked.
using TTimerEvent = std::function<void(TSimpleTimer *Sender)>;

// A periodic timer for the GUI thread. It is a plain object: whoever creates
// it frees it. A timer is Disabled, Running, or Paused (Enabled but without
// ticks, after its Interval went to 0 or its OnTick was cleared).
class TSimpleTimer
{
public:
    TSimpleTimer();
    TSimpleTimer(int interval, TTimerEvent onTick);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer &) = delete;
    TSimpleTimer &operator=(const TSimpleTimer &) = delete;

    bool Enabled() const { return enabled_; }
    // True arms the timer (restarting a running countdown), false stops it.
    void setEnabled(bool value);

    int Interval() const { return interval_; }
    // A new non-zero value restarts a running countdown with that period;
    // 0 pauses an enabled timer. The value it already has changes nothing.
    void setInterval(int value);

    const TTimerEvent &OnTick() const { return onTick_; }
    // Clearing the handler pauses an enabled timer; assigning one does not
    // resume it by itself.
    void setOnTick(TTimerEvent value);

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
    TTimerEvent onTick_;
};

// The hidden window that all live timers share: it receives every tick and
// hands it to the timer it belongs to.
class TSimpleTimerHandler
{
public:
    TSimpleTimerHandler();
    ~TSimpleTimerHandler();
    TSimpleTimerHandler(const TSimpleTimerHandler &) = delete;
    TSimpleTimerHandler &operator=(const TSimpleTimerHandler &) = delete;

    quint32 UserCount = 0;
    platform::TimerService &window() { return *window_; }

private:
    friend class TSimpleTimer;
    void tick(quint32 id);

    platform::TimerService *window_;
    std::unordered_map<quint32, TSimpleTimer *> timers_;
};

// The shared handler, or nullptr while no timer exists.
TSimpleTimerHandler *SharedTimerHandler();

} // namespace lotfinch::desktop
