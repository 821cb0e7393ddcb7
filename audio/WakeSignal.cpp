#include "audio/WakeSignal.h"

#include <algorithm>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

long Futex(std::atomic<std::uint32_t>* word, int op, std::uint32_t value, const timespec* timeout)
{
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), op, value, timeout, nullptr,
                     0);
}

} // namespace

void CWakeSignal::Release()
{
    if (m_nGiven.exchange(1) == 0)
        (void)Futex(&m_nGiven, FUTEX_WAKE_PRIVATE, 1, nullptr);
}

bool CWakeSignal::TryAcquireFor(std::chrono::milliseconds timeout)
{
    if (m_nGiven.exchange(0) == 1)
        return true;
    const auto ms = std::max<std::chrono::milliseconds::rep>(timeout.count(), 0);
    const timespec limit{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    // Sleeps only while the word is still 0: a Release since the exchange above returns at
    // once.
    (void)Futex(&m_nGiven, FUTEX_WAIT_PRIVATE, 0, &limit);
    return m_nGiven.exchange(0) == 1;
}
