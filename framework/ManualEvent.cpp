#include "framework/ManualEvent.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

namespace {

struct Events
{
    std::mutex mutex;
    std::condition_variable changed;
    std::unordered_map<HANDLE, bool> signalled; // open events and their state
    HANDLE next = 1;
};

Events& TheEvents()
{
    static Events* events = new Events;
    return *events;
}

int Change(HANDLE hEvent, bool bSignalled)
{
    Events& e = TheEvents();
    {
        std::lock_guard lock(e.mutex);
        const auto it = e.signalled.find(hEvent);
        if (it == e.signalled.end())
            return 0;
        it->second = bSignalled;
    }
    if (bSignalled)
        e.changed.notify_all();
    return 1;
}

} // namespace

HANDLE CreateManualEvent(bool bSignalled)
{
    Events& e = TheEvents();
    std::lock_guard lock(e.mutex);
    const HANDLE h = e.next++;
    e.signalled[h] = bSignalled;
    return h;
}

int SetEvent(HANDLE hEvent)
{
    return Change(hEvent, true);
}

int ResetEvent(HANDLE hEvent)
{
    return Change(hEvent, false);
}

int WaitForEvent(HANDLE hEvent, DWORD timeoutMs)
{
    Events& e = TheEvents();
    std::unique_lock lock(e.mutex);
    bool bResult = false;
    e.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto it = e.signalled.find(hEvent);
        bResult = it != e.signalled.end() && it->second;
        return bResult || it == e.signalled.end();
    });
    return bResult ? 1 : 0;
}

int CloseEvent(HANDLE hEvent)
{
    Events& e = TheEvents();
    {
        std::lock_guard lock(e.mutex);
        if (e.signalled.erase(hEvent) == 0)
            return 0;
    }
    e.changed.notify_all();
    return 1;
}
