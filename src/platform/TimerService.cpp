#include "platform/TimerService.h"

#include <QTimerEvent>

namespace lotfinch::platform {

TimerService::TimerService(TickHandler onTick) : onTick_(std::move(onTick))
{}

bool TimerService::start(quint32 id, int intervalMs)
{
    stop(id);
    if (intervalMs <= 0)
        return false;
    int qtId = startTimer(intervalMs);
    if (qtId == 0)
        return false;
    qtIds_[id] = qtId;
    ids_[qtId] = id;
    return true;
}

bool TimerService::stop(quint32 id)
{
    auto found = qtIds_.find(id);
    if (found == qtIds_.end())
        return false;
    killTimer(found->second);
    ids_.erase(found->second);
    qtIds_.erase(found);
    return true;
}

void TimerService::timerEvent(QTimerEvent *event)
{
    // A tick that was already due when its timer stopped finds no id here.
    auto found = ids_.find(event->timerId());
    if (found == ids_.end())
        return;
    Delivery delivery(*this);
    onTick_(found->second);
}

void TimerService::shutDown()
{
    for (const auto &[qtId, id] : ids_)
        killTimer(qtId);
    ids_.clear();
    qtIds_.clear();
}

} // namespace lotfinch::platform
