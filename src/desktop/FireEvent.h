#pragma once

#include <utility>

namespace lotfinch::desktop {

// Raises an event through a copy of its handler, so that a handler that frees
// the sender (and with it the event member) does not free the function it is
// running in. Callers check that the sender is still alive before going on.
template <class Event, class... Args> void fire(Event event, Args &&...args)
{
    if (event)
        event(std::forward<Args>(args)...);
}

} // namespace lotfinch::desktop
