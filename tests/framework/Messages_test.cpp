#include "framework/Messages.h"

#include "tests/support/CoreApplication.h"
#include "tests/support/RecordingWindow.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

namespace {

// Catches messages delivered out of order, with their parameters mixed up, or at once on the
// posting thread.
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

// Catches a post to a handle whose window has gone being accepted or reaching another window.
TEST(Messages, PostToAHandleThatIsGoneFailsAndDeliversNothing)
{
    HWND gone = 0;
    {
        CRecordingWindow window;
        gone = window.Handle();
    }
    CRecordingWindow other;
    EXPECT_EQ(PostMessage(gone, WM_PLAYPOS, 1, 0), 0);
    EXPECT_EQ(PostMessage(0, WM_PLAYPOS, 1, 0), 0);
    EXPECT_EQ(other.Pump(), 0u);
}

// Catches a message posted before its window went being handled (or crashing) afterwards.
TEST(Messages, AMessageQueuedForAWindowThatWentIsDropped)
{
    CRecordingWindow keeper;
    int calls = 0;
    auto window = std::make_unique<CMessageWindow>([&](UINT, WPARAM, LPARAM) { ++calls; });
    PostMessage(window->GetSafeHwnd(), WM_USER, 0, 0);
    PostMessage(keeper.Handle(), WM_USER, 0, 0);
    window.reset();
    keeper.Pump();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(keeper.messages.size(), 1u);
}

// Catches a late message reaching a newer window that was given the same handle.
TEST(Messages, AHandleIsNotGivenOutAgainRightAfterItsWindowWent)
{
    HWND first = 0;
    {
        CMessageWindow window{MessageHandler{}};
        first = window.GetSafeHwnd();
    }
    CMessageWindow second{MessageHandler{}};
    EXPECT_NE(first, 0u);
    EXPECT_NE(second.GetSafeHwnd(), first);
    EXPECT_LE(second.GetSafeHwnd(), 0xFFFFu);
}

// Catches a handler run on the posting thread, or on the application's thread instead of the
// window's own, and a window thread's event loop that does not deliver.
TEST(Messages, AMessageFromAnotherThreadIsHandledOnTheWindowsThread)
{
    EnsureCoreApplication();
    std::promise<HWND> handle;
    std::thread::id handledOn;
    std::thread receiver([&] {
        QEventLoop loop;
        CMessageWindow window([&](UINT, WPARAM, LPARAM) {
            handledOn = std::this_thread::get_id();
            loop.quit();
        });
        QTimer giveUp;
        QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
        giveUp.start(5000);
        handle.set_value(window.GetSafeHwnd());
        loop.exec();
    });
    const std::thread::id receiverId = receiver.get_id();
    EXPECT_EQ(PostMessage(handle.get_future().get(), WM_USER, 0, 0), 1);
    receiver.join();
    EXPECT_EQ(handledOn, receiverId);
}

// Catches a pump that gives up before a message posted during its wait arrives.
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

// Catches a pump that leaves what a handler posts for a later pump.
TEST(Messages, MessagesPostedByAHandlerAreDeliveredInTheSamePump)
{
    EnsureCoreApplication();
    int second = 0;
    HWND hwnd = 0;
    CMessageWindow window([&](UINT message, WPARAM, LPARAM) {
        if (message == WM_USER)
            PostMessage(hwnd, WM_USER + 1, 0, 0);
        else
            ++second;
    });
    hwnd = window.GetSafeHwnd();
    PostMessage(hwnd, WM_USER, 0, 0);
    EXPECT_EQ(PumpMessages(), 2);
    EXPECT_EQ(second, 1);
}

} // namespace
