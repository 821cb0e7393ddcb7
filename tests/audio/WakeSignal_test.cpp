#include "audio/WakeSignal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A fault here shows as a false at the long limit (a wake-up lost) or a true without a
// Release; a correct signal returns long before any limit below.
constexpr auto kLong = std::chrono::milliseconds(30000);

// Catches a Release given before the wait being lost, or taken twice.
TEST(WakeSignal, AReleaseBeforeTheWaitIsTakenOnce)
{
    CWakeSignal wake;
    wake.Release();
    wake.Release();
    EXPECT_TRUE(wake.TryAcquireFor(kLong));
    EXPECT_FALSE(wake.TryAcquireFor(std::chrono::milliseconds(1)));
}

// Catches a waiter that sleeps through a Release from another thread until its time limit.
TEST(WakeSignal, AReleaseFromAnotherThreadWakesTheWaiter)
{
    CWakeSignal wake;
    std::jthread giver([&] { wake.Release(); });
    EXPECT_TRUE(wake.TryAcquireFor(kLong));
}

} // namespace
