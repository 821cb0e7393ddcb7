#include "framework/WorkerThread.h"

#include "framework/ManualEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

TEST(WorkerThread, AMessagePostedRightAfterTheStartIsNeverLost)
{
    const HANDLE started = CreateManualEvent();
    std::atomic<UINT> received{0};
    const DWORD id = BeginWorkerThread([&]() -> unsigned {
        WaitForEvent(started, 5000);
        MSG msg;
        if (WaitMessage(msg, 5000) != 0)
            received = msg.message;
        return 0;
    });
    ASSERT_NE(id, 0u);
    EXPECT_EQ(PostThreadMessage(id, WM_MONITOR_STOP, 42, 0), 1);
    SetEvent(started);
    EXPECT_EQ(WaitForThreadEnd(id, 5000), 1);
    EXPECT_EQ(received.load(), WM_MONITOR_STOP);
    CloseEvent(started);
}

TEST(WorkerThread, PeekTakesMessagesInOrderAndRemovesThem)
{
    const HANDLE posted = CreateManualEvent();
    std::vector<WPARAM> taken;
    int emptyAfter = -1;
    const DWORD id = BeginWorkerThread([&]() -> unsigned {
        WaitForEvent(posted, 5000);
        MSG msg;
        while (PeekMessage(msg) != 0)
            taken.push_back(msg.wParam);
        emptyAfter = PeekMessage(msg);
        return 0;
    });
    PostThreadMessage(id, WM_USER, 1, 0);
    PostThreadMessage(id, WM_USER, 2, 0);
    PostThreadMessage(id, WM_USER, 3, 0);
    SetEvent(posted);
    ASSERT_EQ(WaitForThreadEnd(id, 5000), 1);
    EXPECT_EQ(taken, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(emptyAfter, 0);
    CloseEvent(posted);
}

TEST(WorkerThread, PostingToAWorkerThatEndedFails)
{
    const DWORD id = BeginWorkerThread([]() -> unsigned { return 0; });
    ASSERT_EQ(WaitForThreadEnd(id, 5000), 1);
    EXPECT_EQ(PostThreadMessage(id, WM_USER, 0, 0), 0);
    EXPECT_EQ(PostThreadMessage(0, WM_USER, 0, 0), 0);
}

TEST(WorkerThread, TheMailboxBelongsToWorkersOnly)
{
    MSG msg;
    EXPECT_EQ(GetCurrentWorkerThreadId(), 0u);
    EXPECT_EQ(PeekMessage(msg), 0);
    std::atomic<DWORD> seen{0};
    const DWORD id = BeginWorkerThread([&]() -> unsigned {
        seen = GetCurrentWorkerThreadId();
        return 0;
    });
    ASSERT_EQ(WaitForThreadEnd(id, 5000), 1);
    EXPECT_EQ(seen.load(), id);
}

TEST(WorkerThread, WaitingForAWorkerThatRunsOnTimesOut)
{
    const HANDLE release = CreateManualEvent();
    const DWORD id = BeginWorkerThread([release]() -> unsigned {
        WaitForEvent(release, 10000);
        return 0;
    });
    EXPECT_EQ(WaitForThreadEnd(id, 10), 0);
    SetEvent(release);
    EXPECT_EQ(WaitForThreadEnd(id, 5000), 1);
    CloseEvent(release);
}

unsigned ProcWithParam(void* param)
{
    *static_cast<int*>(param) = 7;
    return 0;
}

TEST(WorkerThread, AThreadProcReceivesItsParameter)
{
    int value = 0;
    const DWORD id = BeginWorkerThread(ProcWithParam, &value);
    ASSERT_EQ(WaitForThreadEnd(id, 5000), 1);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(BeginWorkerThread(nullptr, nullptr), 0u);
}

} // namespace
