#include "desktop/SimpleTimer.h"

#include "desktop/FireEvent.h"
#include "desktop/SharedHandler.h"
#include "platform/TimerService.h"

namespace lotfinch::desktop {

namespace {
SharedHandler<SimpleTimerHandler> shared;
quint32 lastTimerId = 0;
} // namespace

SimpleTimerHandler *SharedTimerHandler()
{
    return shared.get();
}

SimpleTimerHandler::SimpleTimerHandler() : window_(new platform::TimerService([this](quint32 id) { tick(id); }))
{}

SimpleTimerHandler::~SimpleTimerHandler()
{
    window_->dispose();
}

void SimpleTimerHandler::tick(quint32 id)
{
    auto found = timers_.find(id);
    if (found == timers_.end())
        return;
    SimpleTimer *timer = found->second;
    fire(timer->OnTick(), timer);
}

SimpleTimer::SimpleTimer() : SimpleTimer(1000, nullptr)
{}

SimpleTimer::SimpleTimer(int interval, TickEvent onTick) : interval_(interval)
{
    SimpleTimerHandler &handler = shared.acquire();
    id_ = nextFreeId(lastTimerId, handler.timers_);
    handler.timers_[id_] = this;
    setOnTick(std::move(onTick));
}

SimpleTimer::~SimpleTimer()
{
    if (enabled_)
        Disarm(true);
    shared.get()->timers_.erase(id_);
    shared.release();
}

void SimpleTimer::setEnabled(bool value)
{
    if (value)
        Arm();
    else
        Disarm(true);
}

void SimpleTimer::setInterval(int value)
{
    if (value == interval_)
        return;
    interval_ = value;
    if (!enabled_)
        return;
    if (value != 0)
        Arm();
    else
        Disarm(false);
}

void SimpleTimer::setOnTick(TickEvent value)
{
    onTick_ = std::move(value);
    if (!onTick_ && enabled_)
        Disarm(false);
}

bool SimpleTimer::ticking() const
{
    return shared.get()->window().running(id_);
}

bool SimpleTimer::Arm()
{
    if (interval_ == 0)
        return false;
    if (enabled_)
        Disarm(true);
    if (!shared.get()->window().start(id_, interval_))
        return false;
    enabled_ = true;
    return true;
}

bool SimpleTimer::Disarm(bool clearEnabled)
{
    if (clearEnabled)
        enabled_ = false;
    return shared.get()->window().stop(id_);
}

} // namespace lotfinch::desktop
