#include "platform/HttpLibrary.h"

namespace lotfinch::platform {

void HttpCancel::cancel()
{
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    if (waker_)
        waker_();
}

void HttpCancel::setWaker(std::function<void()> waker)
{
    std::lock_guard lock(mutex_);
    waker_ = std::move(waker);
}

} // namespace lotfinch::platform
