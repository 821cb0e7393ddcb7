#pragma once

#include "engine/PlayEngine.h"

#include "framework/Messages.h"
#include "tests/support/CoreApplication.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

// An engine on the manual-clock output, its message boxes recorded and its notifications
// collected by a window on the test's thread.
class EngineTest : public ::testing::Test
{
protected:
    static constexpr std::size_t kCdRate = 44100;

    void SetUp() override
    {
        EnsureCoreApplication();
        ASSERT_TRUE(m_clock.Ok());
        ASSERT_NE(m_window.GetSafeHwnd(), 0u);
        m_engine.SetNotifyWindow(m_window.GetSafeHwnd());
    }

    void TearDown() override { ::unsetenv("SORVANE_CDROM"); }

    // Delivers what has been posted so far (waiting up to waitMs for the first message) and
    // returns the wParams of every message numbered message received until now.
    std::vector<WPARAM> Received(UINT message, DWORD waitMs = 0)
    {
        PumpMessages(waitMs);
        std::vector<WPARAM> params;
        for (const MSG& msg : m_messages)
            if (msg.message == message)
                params.push_back(msg.wParam);
        return params;
    }

    // Pumps messages until one numbered message with wParam arrives, or timeout passes.
    bool WaitForMessage(UINT message, WPARAM wParam, DWORD timeoutMs = 20000)
    {
        return WaitUntil(
            [&] {
                for (WPARAM w : Received(message))
                    if (w == wParam)
                        return true;
                return false;
            },
            std::chrono::milliseconds(timeoutMs));
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CRecordingPrompts m_prompts;
    std::vector<MSG> m_messages;
    CMessageWindow m_window{[this](UINT message, WPARAM wParam, LPARAM lParam) {
        m_messages.push_back(MSG{0, message, wParam, lParam});
    }};
    CPlayEngine m_engine;
};
