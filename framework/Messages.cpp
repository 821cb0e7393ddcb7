#include "framework/Messages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <mutex>
#include <unordered_map>

namespace {

constexpr HWND kLastHandle = 0xFFFF;

QEvent::Type PostedMessageType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

struct PostedMessage : QEvent
{
    explicit PostedMessage(const MSG& m)
        : QEvent(PostedMessageType())
        , msg(m)
    {}
    MSG msg;
};

// Qt hands a posted event to the receiving thread under its own futex-based lock, which
// ThreadSanitizer cannot see inside the uninstrumented library; these tell it. A message
// dropped undelivered is freed after the window's destructor took the table's lock, which
// orders it after the post.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
void HandOver(QEvent* pEvent)
{
    __tsan_release(pEvent);
}
void TakeOver(QEvent* pEvent)
{
    __tsan_acquire(pEvent);
}
#else
void HandOver(QEvent*) {}
void TakeOver(QEvent*) {}
#endif

// The windows by handle. A window leaves the table in its destructor under the lock that
// PostMessage holds from the lookup to the post, so nothing is posted to a window that is
// being destroyed; Qt drops what was posted before.
struct WindowTable
{
    std::mutex mutex;
    std::unordered_map<HWND, CMessageWindow*> windows;
    HWND next = 1;
};

// Never destroyed: workers may still post while the process exits.
WindowTable& Windows()
{
    static WindowTable* table = new WindowTable;
    return *table;
}

HWND Following(HWND hwnd)
{
    return hwnd == kLastHandle ? 1 : hwnd + 1;
}

HWND Register(CMessageWindow* pWindow)
{
    WindowTable& t = Windows();
    std::lock_guard lock(t.mutex);
    if (t.windows.size() >= kLastHandle)
        return 0;
    while (t.windows.contains(t.next))
        t.next = Following(t.next);
    const HWND hwnd = t.next;
    t.next = Following(hwnd);
    t.windows.emplace(hwnd, pWindow);
    return hwnd;
}

// Messages delivered on this thread, so that PumpMessages can tell whether one came.
thread_local int t_nDelivered = 0;

} // namespace

CMessageWindow::CMessageWindow(MessageHandler handler)
    : m_handler(std::move(handler))
    , m_hWnd(Register(this))
{}

CMessageWindow::~CMessageWindow()
{
    WindowTable& t = Windows();
    std::lock_guard lock(t.mutex);
    t.windows.erase(m_hWnd);
}

void CMessageWindow::customEvent(QEvent* pEvent)
{
    TakeOver(pEvent);
    if (pEvent->type() != PostedMessageType()) {
        QObject::customEvent(pEvent);
        return;
    }
    const MSG& msg = static_cast<const PostedMessage*>(pEvent)->msg;
    ++t_nDelivered;
    if (m_handler)
        m_handler(msg.message, msg.wParam, msg.lParam);
}

int PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowTable& t = Windows();
    std::lock_guard lock(t.mutex);
    const auto it = t.windows.find(hwnd);
    if (it == t.windows.end())
        return 0;
    auto* pEvent = new PostedMessage(MSG{hwnd, message, wParam, lParam});
    HandOver(pEvent);
    QCoreApplication::postEvent(it->second, pEvent);
    return 1;
}

int PumpMessages(DWORD waitMs)
{
    if (QCoreApplication::instance() == nullptr)
        return 0;
    const int before = t_nDelivered;
    const QDeadlineTimer deadline(std::chrono::milliseconds(waitMs), Qt::PreciseTimer);
    for (;;) {
        // Qt leaves what a handler posts during a delivery for the next one.
        for (int seen = -1; seen != t_nDelivered;) {
            seen = t_nDelivered;
            QCoreApplication::sendPostedEvents(nullptr, PostedMessageType());
        }
        if (t_nDelivered != before || deadline.hasExpired())
            return t_nDelivered - before;
        // The loop gives a thread that Qt did not start an event dispatcher to wait in; the
        // timer ends the wait at the deadline.
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(deadline.remainingTime()));
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}
