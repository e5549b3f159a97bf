#include "desktop/SimpleTimer.h"

#include "desktop/FireEvent.h"
#include "desktop/SharedHandler.h"
#include "platform/TimerService.h"

namespace lotfinch::desktop {

namespace {
SharedHandler<TSimpleTimerHandler> shared;
quint32 lastTimerId = 0;
} // namespace

TSimpleTimerHandler *SharedTimerHandler()
{
    return shared.get();
}

TSimpleTimerHandler::TSimpleTimerHandler() : window_(new platform::TimerService([this](quint32 id) { tick(id); }))
{}

TSimpleTimerHandler::~TSimpleTimerHandler()
{
    window_->dispose();
}

void TSimpleTimerHandler::tick(quint32 id)
{
    auto found = timers_.find(id);
    if (found == timers_.end())
        return;
    TSimpleTimer *timer = found->second;
    fire(timer->OnTick(), timer);
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr)
{}

TSimpleTimer::TSimpleTimer(int interval, TTimerEvent onTick) : interval_(interval)
{
    TSimpleTimerHandler &handler = shared.acquire();
    id_ = nextFreeId(lastTimerId, handler.timers_);
    handler.timers_[id_] = this;
    setOnTick(std::move(onTick));
}

TSimpleTimer::~TSimpleTimer()
{
    if (enabled_)
        Disarm(true);
    shared.get()->timers_.erase(id_);
    shared.release();
}

void TSimpleTimer::setEnabled(bool value)
{
    if (value)
        Arm();
    else
        Disarm(true);
}

void TSimpleTimer::setInterval(int value)
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

void TSimpleTimer::setOnTick(TTimerEvent value)
{
    onTick_ = std::move(value);
    if (!onTick_ && enabled_)
        Disarm(false);
}

bool TSimpleTimer::ticking() const
{
    return shared.get()->window().running(id_);
}

bool TSimpleTimer::Arm()
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

bool TSimpleTimer::Disarm(bool clearEnabled)
{
    if (clearEnabled)
        enabled_ = false;
    return shared.get()->window().stop(id_);
}

} // namespace lotfinch::desktop
