#pragma once

#include "dialogs/WindowSystem.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "queue/SorvaneDoc.h"
#include "settings/PlayerSettings.h"
#include "ui/MainFrame.h"
#include "ui/SorvaneView.h"

#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"
#include "tests/ui/UiTestSupport.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The player view in its frame, over the real document and engine on the manual-clock
// output, with message boxes and file dialogs answered by a script.
class SorvaneViewTest : public ::testing::Test
{
protected:
    static constexpr int kWaveRate = 8000;
    static constexpr std::size_t kCdFramesPerSecond = 44100;

    void SetUp() override
    {
        EnsureQtApplication();
        ASSERT_TRUE(m_clock.Ok());
        MakeView();
    }

    void TearDown() override
    {
        m_frame.reset();
        ::unsetenv("SORVANE_CDROM");
    }

    // Frame and view as the document template makes them, from the current settings.
    void MakeView()
    {
        m_frame.reset();
        m_frame = std::make_unique<CMainFrame>(m_settings);
        m_view = new CSorvaneView(&m_doc, m_settings);
        ASSERT_EQ(m_view->Create(nullptr), 0);
        m_frame->SetView(m_view);
        ASSERT_TRUE(m_frame->Create());
        m_view->OnInitialUpdate();
    }

    // An X11 desktop with a tray, whatever desktop the test runs on; a test may put another
    // in front of it.
    CWindowSystemForTest m_windowSystem{true, true};

    // The engine itself, for waits on its CD monitor.
    CPlayEngine& Engine() { return m_doc.EngineForTests(); }

    // A WAV tone of whole seconds at 8 kHz.
    std::string Wav(const std::string& name, std::uint32_t seconds = 2)
    {
        WavTone tone;
        tone.nRate = kWaveRate;
        tone.nFrames = static_cast<std::uint32_t>(kWaveRate) * seconds;
        return m_dir.Write(name, MakeWav(tone));
    }

    // A disc of one-second tracks, named by SORVANE_CDROM.
    void InsertDisc(int nTracks)
    {
        std::vector<CdTrackTone> tracks(static_cast<std::size_t>(nTracks), CdTrackTone{75});
        ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", tracks).c_str(), 1);
    }

    std::vector<std::string> Queue() const
    {
        std::vector<std::string> all;
        for (int i = 0; i < m_doc.GetQueue().GetCount(); ++i)
            all.push_back(m_doc.GetQueue().GetAt(i));
        return all;
    }

    PlayPosition Position()
    {
        PlayPosition pos{};
        m_doc.GetPosition(&pos);
        return pos;
    }

    // Plays on, delivering the view's messages as they come, until done() or the medium
    // has had seconds of sound at rate.
    void PlayUntil(const std::function<bool()>& done, std::size_t seconds, std::size_t rate)
    {
        PlayFrames(seconds * rate, [&] {
            PumpMessages(0);
            return done();
        });
        PumpMessages(0);
    }

public:
    // Runs action (which opens a modal window or a menu) and, once that is up, check(widget)
    // on the active modal widget or pop-up; check must close it.
    static void WithModal(const std::function<void()>& action,
                          const std::function<void(QWidget*)>& check)
    {
        bool bChecked = false;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* pWidget = QApplication::activePopupWidget();
            if (pWidget == nullptr)
                pWidget = QApplication::activeModalWidget();
            if (pWidget != nullptr && !bChecked) {
                bChecked = true;
                check(pWidget);
            } else if (pWidget != nullptr) {
                // A check that failed before it closed the window must not hang the test.
                pWidget->close();
            }
        });
        timer.start();
        action();
        timer.stop();
        EXPECT_TRUE(bChecked) << "no modal window or menu came up";
    }

protected:
    CTempDir m_dir;
    CManualClockOutput m_clock;
    CRecordingPrompts m_prompts;
    CPlayerSettings m_settings;
    // The document with its engine in reach of the tests.
    class CTestDoc : public CSorvaneDoc
    {
    public:
        using CSorvaneDoc::EngineForTests;
    };

    CTestDoc m_doc;
    std::unique_ptr<CMainFrame> m_frame;
    CSorvaneView* m_view = nullptr;
};
