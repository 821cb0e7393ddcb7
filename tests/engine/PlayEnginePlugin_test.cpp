#include "tests/engine/EngineTest.h"

#include "audio/SoundOutput.h"
#include "media/Mci.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"

#include <memory>

namespace {

constexpr std::size_t kRate = 44100;

class PlayEnginePluginTest : public EngineTest
{
protected:
    std::string WriteTone(const std::string& name, double seconds)
    {
        Mp3Tone tone;
        tone.dSeconds = seconds;
        const std::string path = m_dir / name;
        EXPECT_TRUE(WriteMp3(path, tone));
        return path;
    }

    PlayPosition Position()
    {
        PlayPosition pos{};
        EXPECT_EQ(m_engine.GetPosition(&pos), 1);
        return pos;
    }

    bool WaitForElapsed(int seconds)
    {
        return WaitUntil([&] { return g_nPluginElapsed.load() == seconds; });
    }
};

} // namespace

TEST_F(PlayEnginePluginTest, ACompressedFileOpensThroughThePlugIns)
{
    ASSERT_EQ(m_engine.OpenMedium(WriteTone("a.mp3", 5.0), MEDIUM_FILE), 1);
    EXPECT_NE(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetKind(), DEVICE_PLUGIN);
    EXPECT_EQ(m_engine.GetTitle(), "a.mp3");
    EXPECT_EQ(m_engine.GetLengthSeconds(3), 5);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
}

TEST_F(PlayEnginePluginTest, LoadingThePlugInsAgainWhilePlayingKeepsThemInUse)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 5.0)), 1);
    EXPECT_EQ(m_engine.LoadPlugins(), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_engine.GetLengthSeconds(0), 5);
    EXPECT_EQ(m_engine.Stop(), 1);
    EXPECT_EQ(m_engine.Play(0), 1);
}

TEST_F(PlayEnginePluginTest, StopPausesAndPlayZeroResumes)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 5.0)), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayFrames(2 * kRate);
    ASSERT_TRUE(WaitForElapsed(2));
    ASSERT_EQ(m_engine.Stop(), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(PlayFrames(kRate, {}, std::chrono::milliseconds(200)), 0u);
    ASSERT_EQ(m_engine.Play(0), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(3));
}

TEST_F(PlayEnginePluginTest, PlayWhilePlayingChangesNothing)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 5.0)), 1);
    PlayFrames(kRate);
    ASSERT_TRUE(WaitForElapsed(1));
    EXPECT_EQ(m_engine.Play(4), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(2));
}

TEST_F(PlayEnginePluginTest, TheEndIsNotifiedAsSuccessfulWithTheMediumsSerial)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 1.0)), 1);
    const auto serial = static_cast<LPARAM>(m_engine.IsOpen());
    PlayFrames(10 * kRate, [&] { return !Received(MM_MCINOTIFY).empty(); });
    ASSERT_EQ(Received(MM_MCINOTIFY), (std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL}));
    for (const MSG& msg : m_messages)
        if (msg.message == MM_MCINOTIFY)
            EXPECT_EQ(msg.lParam, serial);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(m_engine.NoticeTarget(serial), CPlayEngine::Notice::Current);
}

// Catches an end told by the plug-in slot it came from rather than by its medium: the end of
// a file, handled late, taken for the end of the next file played on the same decoder library
// while that one stands paused (the queue would skip it).
TEST_F(PlayEnginePluginTest, AnEndOfAnEarlierFileIsStaleWhileTheNextOneIsPaused)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 1.0)), 1);
    const auto first = static_cast<LPARAM>(m_engine.IsOpen());
    PlayFrames(10 * kRate, [&] { return !Received(MM_MCINOTIFY).empty(); });
    ASSERT_EQ(m_messages.back().lParam, first);
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("b.mp3", 2.0)), 1);
    PlayFrames(kRate / 4);
    ASSERT_EQ(m_engine.Stop(), 1);
    EXPECT_NE(static_cast<LPARAM>(m_engine.IsOpen()), first);
    EXPECT_EQ(m_engine.NoticeTarget(first), CPlayEngine::Notice::Stale);
}

// Catches a position that moves only when the decoder reports whole seconds, so that a seek
// or a pause reads seconds late, or one left over from the file played before.
TEST_F(PlayEnginePluginTest, PositionComesFromTheSoundHeardToTheMillisecond)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("first.mp3", 5.0)), 1);
    PlayFrames(3 * kRate + kRate / 4);
    PluginCallback(PLUGIN_CALLBACK_ELAPSED, 125, m_window.GetSafeHwnd());
    PlayPosition pos = Position();
    EXPECT_EQ(pos.nTrack, 0);
    EXPECT_EQ(pos.nMinutes, 0);
    EXPECT_EQ(pos.nSeconds, 3);
    EXPECT_EQ(pos.nMilliseconds, 3250);
    EXPECT_EQ(pos.nFrames, 0);
    EXPECT_EQ(m_engine.SeekMilliseconds(1234), 1);
    EXPECT_EQ(Position().nMilliseconds, 1234) << "a seek on its way reads as its target";
    m_engine.CloseMedium();
    ASSERT_EQ(m_engine.OpenMedium(WriteTone("second.mp3", 5.0), MEDIUM_FILE), 1);
    EXPECT_EQ(Position().nMilliseconds, 0);
}

TEST_F(PlayEnginePluginTest, SeekPercentBeforePlayingDoesNothing)
{
    ASSERT_EQ(m_engine.OpenMedium(WriteTone("a.mp3", 10.0), MEDIUM_FILE), 1);
    PluginCallback(PLUGIN_CALLBACK_ELAPSED, 0, 0);
    EXPECT_EQ(m_engine.SeekPercent(50), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(1));
}

TEST_F(PlayEnginePluginTest, SeekPercentWhilePlayingMovesToThatShareInSeconds)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 10.0)), 1);
    PlayFrames(kRate);
    EXPECT_EQ(m_engine.SeekPercent(50), 1);
    EXPECT_TRUE(WaitForElapsed(5));
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
}

TEST_F(PlayEnginePluginTest, SeekPercentWhilePausedKeepsItPaused)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("a.mp3", 10.0)), 1);
    PlayFrames(kRate);
    ASSERT_EQ(m_engine.Stop(), 1);
    EXPECT_EQ(m_engine.SeekPercent(80), 1);
    EXPECT_TRUE(WaitForElapsed(8));
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
}

TEST_F(PlayEnginePluginTest, DestroyingTheEngineWhilePlayingClosesEverything)
{
    auto engine = std::make_unique<CPlayEngine>();
    engine->SetNotifyWindow(m_window.GetSafeHwnd());
    ASSERT_EQ(engine->OpenAndPlay(WriteTone("a.mp3", 5.0)), 1);
    PlayFrames(kRate / 2);
    engine.reset();
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock));
    EXPECT_TRUE(Received(MM_MCINOTIFY).empty());
}

// Catches a decoder failure reaching the player as nothing, or as a normal end, and a notice
// that does not carry its medium's serial.
TEST(PluginCallback, TheEndAndAFailurePostTheirNotifications)
{
    EnsureCoreApplication();
    std::vector<MSG> received;
    CMessageWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        received.push_back(MSG{0, message, wParam, lParam});
    });
    auto watch = std::make_shared<TrackWatch>();
    watch->hNotifyWnd.store(window.GetSafeHwnd());
    constexpr std::uint32_t kSerial = 0x7ffffff0;
    RoutePluginNotices(kSerial, watch);
    EXPECT_EQ(PluginCallback(PLUGIN_CALLBACK_END, 99, kSerial), 0);
    EXPECT_EQ(PluginCallback(PLUGIN_CALLBACK_FAILED, PLUGIN_FAILURE_READ, kSerial), 0);
    ForgetPluginRoute(kSerial);
    EXPECT_EQ(PluginCallback(PLUGIN_CALLBACK_END, 0, kSerial), 0) << "no route: dropped";
    PumpMessages(1000);
    PumpMessages(50);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, MM_MCINOTIFY);
    EXPECT_EQ(received[0].wParam, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(received[0].lParam, static_cast<LPARAM>(kSerial));
    EXPECT_EQ(received[1].message, MM_MCINOTIFY);
    EXPECT_EQ(received[1].wParam, MCI_NOTIFY_FAILURE);
    EXPECT_EQ(received[1].lParam, static_cast<LPARAM>(kSerial));
}

TEST(PluginCallback, ElapsedIsStoredAndOtherTypesAreIgnored)
{
    EnsureCoreApplication();
    std::vector<MSG> received;
    CMessageWindow window([&](UINT message, WPARAM wParam, LPARAM lParam) {
        received.push_back(MSG{0, message, wParam, lParam});
    });
    EXPECT_EQ(PluginCallback(PLUGIN_CALLBACK_ELAPSED, 42, window.GetSafeHwnd()), 0);
    EXPECT_EQ(g_nPluginElapsed.load(), 42);
    EXPECT_EQ(PluginCallback(5, 7, window.GetSafeHwnd()), 0);
    EXPECT_EQ(PluginCallback(0, 7, window.GetSafeHwnd()), 0);
    EXPECT_EQ(g_nPluginElapsed.load(), 42);
    PumpMessages(50);
    EXPECT_TRUE(received.empty());
}

TEST(PluginCallback, AnEndForAWindowThatHasGoneIsDropped)
{
    auto watch = std::make_shared<TrackWatch>();
    {
        CMessageWindow window([](UINT, WPARAM, LPARAM) {});
        watch->hNotifyWnd.store(window.GetSafeHwnd());
    }
    RoutePluginNotices(0x7ffffff1, watch);
    EXPECT_EQ(PluginCallback(PLUGIN_CALLBACK_END, 0, 0x7ffffff1), 0);
    ForgetPluginRoute(0x7ffffff1);
}

// Catches a medium's gain lost on the way to its stream, a prepared file sounding in the open
// file's stream (where it would sound at the open file's gain), and a gain change that
// reaches only the next file.
TEST_F(PlayEnginePluginTest, EachMediumSoundsAtItsOwnGainAndFollowsOnInAStreamOfItsOwn)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("full.mp3", 1.0)), 1);
    std::vector<float> full;
    PlayFrames(kRate / 4, {}, std::chrono::seconds(20), &full);
    m_engine.CloseMedium();

    ASSERT_EQ(m_engine.OpenAndPlay(WriteTone("half.mp3", 1.0), 0.5f), 1);
    const AudioStreamRef open = m_engine.Stream();
    std::vector<float> half;
    PlayFrames(kRate / 4, {}, std::chrono::seconds(20), &half);
    EXPECT_NEAR(Rms(half), Rms(full) / 2, Rms(full) * 0.01);

    ASSERT_EQ(m_engine.PrepareNext(WriteTone("next.mp3", 1.0), 0.25f), 1);
    const AudioStreamRef prepared = m_engine.Stream(true);
    ASSERT_FALSE(prepared.expired());
    EXPECT_TRUE(open.owner_before(prepared) || prepared.owner_before(open))
        << "held in a stream of its own";
    EXPECT_EQ(AudioStreamGain(prepared), 0.25f);
    m_engine.SetGain(0.75f);
    EXPECT_EQ(AudioStreamGain(open), 0.75f) << "at once, while it plays";
    EXPECT_EQ(AudioStreamGain(prepared), 0.25f);
}
