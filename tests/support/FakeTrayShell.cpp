#include "FakeTrayShell.h"

namespace lotfinch::test {

using namespace lotfinch::platform;

bool FakeTrayShell::notifyIcon(TrayRequest request, const NotifyIconData &data)
{
    auto found = icons_.find(data.uID);
    bool result = false;
    switch (request) {
    case NIM_ADD:
        result = hasTray && found == icons_.end();
        if (result)
            icons_[data.uID] = data;
        break;
    case NIM_MODIFY:
        result = found != icons_.end();
        if (result)
            found->second = data;
        break;
    case NIM_DELETE:
        result = found != icons_.end();
        if (result)
            icons_.erase(found);
        break;
    case NIM_SETVERSION: result = found != icons_.end(); break;
    }
    calls.push_back({request, data, result});
    return result;
}

const NotifyIconData *FakeTrayShell::icon(quint32 id) const
{
    auto found = icons_.find(id);
    return found == icons_.end() ? nullptr : &found->second;
}

std::vector<FakeTrayShell::Call> FakeTrayShell::callsOf(TrayRequest request) const
{
    std::vector<Call> result;
    for (const Call &call : calls)
        if (call.request == request)
            result.push_back(call);
    return result;
}

void FakeTrayShell::send(quint32 id, quint32 event)
{
    auto found = icons_.find(id);
    if (found != icons_.end() && found->second.hWnd)
        found->second.hWnd->deliver(found->second.uCallbackMessage, id, event);
}

void FakeTrayShell::restart()
{
    icons_.clear();
    emit taskbarCreated();
}

} // namespace lotfinch::test
