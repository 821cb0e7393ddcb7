#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// A binary wake-up for a thread that also wakes on a time limit (the output's service
// thread). Any thread gives it, the real-time callback too: Release neither blocks nor
// allocates. The waiter sleeps in the kernel (a futex) until it is given or the time is up,
// where the standard library's timed semaphore spins and sleeps in steps for about 0.1 ms of
// processor time a wait, which at ten waits a second was most of what a playing output's
// service thread cost.
class CWakeSignal
{
public:
    // Any thread: wakes the waiter, or the next wait returns at once.
    void Release();
    // The one waiting thread: true when given (taking it), false at the time limit or on an
    // interruption by a signal.
    bool TryAcquireFor(std::chrono::milliseconds timeout);

private:
    std::atomic<std::uint32_t> m_nGiven{0};
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
};
