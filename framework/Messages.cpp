#include "framework/Messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

constexpr HWND kLastHandle = 0xFFFF;

struct Receiver
{
    std::shared_ptr<MessageHandler> handler;
    std::thread::id thread;
    QThread* qthread = nullptr; // to tell whether Qt's event loop of that thread can pump
};

struct Registry
{
    std::mutex mutex;
    std::condition_variable posted;
    std::unordered_map<HWND, Receiver> receivers;
    std::unordered_map<std::thread::id, std::deque<MSG>> queues;
    HWND next = 1;
};

// Never destroyed: workers may still post while the process exits.
Registry& TheRegistry()
{
    static Registry* registry = new Registry;
    return *registry;
}

std::atomic<bool> g_bQtPumpScheduled{false};

void ScheduleQtPump(QThread* receiverThread)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || app->thread() != receiverThread)
        return;
    if (g_bQtPumpScheduled.exchange(true))
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            g_bQtPumpScheduled = false;
            PumpMessages(0);
        },
        Qt::QueuedConnection);
}

} // namespace

HWND RegisterWindow(MessageHandler handler)
{
    Registry& r = TheRegistry();
    QThread* qthread = QThread::currentThread();
    std::lock_guard lock(r.mutex);
    if (r.receivers.size() >= kLastHandle)
        return 0;
    while (r.receivers.contains(r.next))
        r.next = r.next == kLastHandle ? 1 : r.next + 1;
    const HWND hwnd = r.next;
    r.next = r.next == kLastHandle ? 1 : r.next + 1;
    r.receivers[hwnd] = Receiver{std::make_shared<MessageHandler>(std::move(handler)),
                                 std::this_thread::get_id(), qthread};
    return hwnd;
}

void UnregisterWindow(HWND hwnd)
{
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const auto it = r.receivers.find(hwnd);
    if (it == r.receivers.end())
        return;
    const auto queue = r.queues.find(it->second.thread);
    if (queue != r.queues.end())
        std::erase_if(queue->second, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    r.receivers.erase(it);
}

bool IsWindow(HWND hwnd)
{
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return hwnd != 0 && r.receivers.contains(hwnd);
}

int PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Registry& r = TheRegistry();
    QThread* qthread = nullptr;
    {
        std::lock_guard lock(r.mutex);
        const auto it = r.receivers.find(hwnd);
        if (hwnd == 0 || it == r.receivers.end())
            return 0;
        r.queues[it->second.thread].push_back(MSG{hwnd, message, wParam, lParam});
        qthread = it->second.qthread;
    }
    r.posted.notify_all();
    ScheduleQtPump(qthread);
    return 1;
}

int PumpMessages(DWORD waitMs)
{
    Registry& r = TheRegistry();
    const std::thread::id self = std::this_thread::get_id();
    int delivered = 0;
    std::unique_lock lock(r.mutex);
    if (waitMs > 0) {
        r.posted.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
            const auto q = r.queues.find(self);
            return q != r.queues.end() && !q->second.empty();
        });
    }
    for (;;) {
        const auto q = r.queues.find(self);
        if (q == r.queues.end())
            break;
        if (q->second.empty()) {
            r.queues.erase(q);
            break;
        }
        const MSG msg = q->second.front();
        q->second.pop_front();
        const auto it = r.receivers.find(msg.hwnd);
        if (it == r.receivers.end())
            continue;
        const std::shared_ptr<MessageHandler> handler = it->second.handler;
        lock.unlock();
        if (*handler)
            (*handler)(msg.message, msg.wParam, msg.lParam);
        ++delivered;
        lock.lock();
    }
    return delivered;
}
