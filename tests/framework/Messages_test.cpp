#include "framework/Messages.h"

#include "tests/support/RecordingWindow.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Messages, PostedMessagesArriveInPostingOrderWhenPumped)
{
    CRecordingWindow window;
    ASSERT_NE(window.Handle(), 0u);
    EXPECT_EQ(PostMessage(window.Handle(), MM_MCINOTIFY, 1, 7), 1);
    EXPECT_EQ(PostMessage(window.Handle(), WM_PLAYPOS, 3, 0), 1);
    EXPECT_TRUE(window.messages.empty()) << "delivery happens only when the thread pumps";
    EXPECT_EQ(window.Pump(), 2u);
    EXPECT_EQ(window.messages[0].message, MM_MCINOTIFY);
    EXPECT_EQ(window.messages[0].wParam, 1u);
    EXPECT_EQ(window.messages[0].lParam, 7);
    EXPECT_EQ(window.messages[1].message, WM_PLAYPOS);
    EXPECT_EQ(window.messages[1].wParam, 3u);
}

TEST(Messages, PostToAHandleThatIsGoneFailsAndDeliversNothing)
{
    HWND gone = 0;
    {
        CRecordingWindow window;
        gone = window.Handle();
    }
    EXPECT_FALSE(IsWindow(gone));
    EXPECT_EQ(PostMessage(gone, WM_PLAYPOS, 1, 0), 0);
    EXPECT_EQ(PostMessage(0, WM_PLAYPOS, 1, 0), 0);
    CRecordingWindow other;
    EXPECT_EQ(other.Pump(), 0u);
}

TEST(Messages, UnregisteringDropsMessagesStillQueued)
{
    CRecordingWindow keeper;
    int calls = 0;
    const HWND hwnd = RegisterWindow([&](UINT, WPARAM, LPARAM) { ++calls; });
    PostMessage(hwnd, WM_USER, 0, 0);
    PostMessage(keeper.Handle(), WM_USER, 0, 0);
    UnregisterWindow(hwnd);
    PumpMessages();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(keeper.messages.size(), 1u);
}

TEST(Messages, AHandleIsNotGivenOutAgainRightAfterItsWindowWent)
{
    const HWND first = RegisterWindow({});
    UnregisterWindow(first);
    const HWND second = RegisterWindow({});
    EXPECT_NE(first, second);
    EXPECT_LE(second, 0xFFFFu);
    UnregisterWindow(second);
}

TEST(Messages, MessagesFromAnotherThreadAreHandledOnTheReceiversThread)
{
    std::thread::id handledOn;
    CMessageWindow window([&](UINT, WPARAM, LPARAM) { handledOn = std::this_thread::get_id(); });
    std::thread poster([&] { PostMessage(window.GetSafeHwnd(), WM_USER + 5, 0, 0); });
    poster.join();
    EXPECT_EQ(PumpMessages(2000), 1);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(Messages, PumpWaitsForAMessageThatIsPostedLater)
{
    CRecordingWindow window;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessage(window.Handle(), WM_USER, 9, 0);
    });
    EXPECT_EQ(window.Pump(5000), 1u);
    poster.join();
    EXPECT_EQ(window.messages[0].wParam, 9u);
}

TEST(Messages, MessagesPostedByAHandlerAreDeliveredInTheSamePump)
{
    int second = 0;
    HWND hwnd = 0;
    hwnd = RegisterWindow([&](UINT message, WPARAM, LPARAM) {
        if (message == WM_USER)
            PostMessage(hwnd, WM_USER + 1, 0, 0);
        else
            ++second;
    });
    PostMessage(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(PumpMessages(), 2);
    EXPECT_EQ(second, 1);
    UnregisterWindow(hwnd);
}

TEST(Messages, QtEventLoopDeliversPostsWithoutExplicitPumping)
{
    int argc = 1;
    char name[] = "framework_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    CRecordingWindow window;
    std::thread poster([&] { PostMessage(window.Handle(), MM_MCINOTIFY, 1, 2); });
    poster.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].message, MM_MCINOTIFY);
}

} // namespace
