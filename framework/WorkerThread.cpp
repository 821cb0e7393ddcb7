#include "framework/WorkerThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

struct Workers
{
    std::mutex mutex;
    std::condition_variable changed; // a message arrived or a worker ended
    std::unordered_map<DWORD, std::deque<MSG>> mailboxes;
    DWORD next = 1;
};

// Never destroyed: a detached worker may still be ending while the process exits.
Workers& TheWorkers()
{
    static Workers* workers = new Workers;
    return *workers;
}

thread_local DWORD t_workerId = 0;

} // namespace

DWORD BeginWorkerThread(std::function<unsigned()> body)
{
    Workers& w = TheWorkers();
    DWORD id = 0;
    {
        std::lock_guard lock(w.mutex);
        while (w.next == 0 || w.mailboxes.contains(w.next))
            ++w.next;
        id = w.next++;
        w.mailboxes[id];
    }
    try {
        std::thread([id, body = std::move(body)] {
            t_workerId = id;
            if (body)
                body();
            Workers& ww = TheWorkers();
            {
                std::lock_guard lock(ww.mutex);
                ww.mailboxes.erase(id);
            }
            ww.changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(w.mutex);
        w.mailboxes.erase(id);
        return 0;
    }
    return id;
}

DWORD BeginWorkerThread(ThreadProc proc, void* param)
{
    if (proc == nullptr)
        return 0;
    return BeginWorkerThread([proc, param] { return proc(param); });
}

int PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    Workers& w = TheWorkers();
    {
        std::lock_guard lock(w.mutex);
        const auto it = w.mailboxes.find(threadId);
        if (threadId == 0 || it == w.mailboxes.end())
            return 0;
        it->second.push_back(MSG{0, message, wParam, lParam});
    }
    w.changed.notify_all();
    return 1;
}

int WaitMessage(MSG& msg, DWORD timeoutMs)
{
    if (t_workerId == 0)
        return 0;
    Workers& w = TheWorkers();
    std::unique_lock lock(w.mutex);
    std::deque<MSG>& box = w.mailboxes[t_workerId];
    if (box.empty() && timeoutMs > 0)
        w.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return !box.empty(); });
    if (box.empty())
        return 0;
    msg = box.front();
    box.pop_front();
    return 1;
}

int PeekMessage(MSG& msg)
{
    return WaitMessage(msg, 0);
}

DWORD GetCurrentWorkerThreadId()
{
    return t_workerId;
}

int WaitForThreadEnd(DWORD threadId, DWORD timeoutMs)
{
    Workers& w = TheWorkers();
    std::unique_lock lock(w.mutex);
    return w.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return !w.mailboxes.contains(threadId); })
               ? 1
               : 0;
}

void Sleep(DWORD ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
