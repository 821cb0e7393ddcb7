#include "framework/ManualEvent.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

TEST(ManualEvent, AnEventThatIsNotSignalledTimesOut)
{
    const HANDLE h = CreateManualEvent();
    EXPECT_EQ(WaitForEvent(h, 0), 0);
    EXPECT_EQ(WaitForEvent(h, 10), 0);
    CloseEvent(h);
}

TEST(ManualEvent, SetWakesAWaiterOnAnotherThread)
{
    const HANDLE h = CreateManualEvent();
    std::thread setter([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        SetEvent(h);
    });
    EXPECT_EQ(WaitForEvent(h, 5000), 1);
    setter.join();
    CloseEvent(h);
}

TEST(ManualEvent, ItStaysSignalledUntilReset)
{
    const HANDLE h = CreateManualEvent(true);
    EXPECT_EQ(WaitForEvent(h, 0), 1);
    EXPECT_EQ(WaitForEvent(h, 0), 1);
    EXPECT_EQ(ResetEvent(h), 1);
    EXPECT_EQ(WaitForEvent(h, 0), 0);
    CloseEvent(h);
}

TEST(ManualEvent, AClosedHandleFailsEveryCallAndIsNotReused)
{
    const HANDLE h = CreateManualEvent();
    EXPECT_EQ(CloseEvent(h), 1);
    EXPECT_EQ(SetEvent(h), 0);
    EXPECT_EQ(ResetEvent(h), 0);
    EXPECT_EQ(WaitForEvent(h, 10), 0);
    EXPECT_EQ(CloseEvent(h), 0);
    const HANDLE next = CreateManualEvent();
    EXPECT_NE(next, h);
    CloseEvent(next);
}

TEST(ManualEvent, ClosingReleasesAWaiter)
{
    const HANDLE h = CreateManualEvent();
    auto waiter = std::async(std::launch::async, [h] { return WaitForEvent(h, 600000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CloseEvent(h);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), 0);
}

} // namespace
