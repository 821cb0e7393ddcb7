#include "tests/engine/EngineTest.h"

#include "media/Mci.h"
#include "tests/support/TestMedia.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

namespace {

constexpr int kSectorsPerSecond = 75;
constexpr std::size_t kFramesPerSector = 588;

class PlayEngineCdTest : public EngineTest
{
protected:
    // A disc of tracks of the given lengths in sectors, named by SORVANE_CDROM.
    void InsertDisc(const std::vector<int>& sectors)
    {
        std::vector<CdTrackTone> tracks;
        for (std::size_t i = 0; i < sectors.size(); ++i)
            tracks.push_back(CdTrackTone{sectors[i], 220.0 + 40.0 * static_cast<double>(i)});
        ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", tracks).c_str(), 1);
    }

    // Opens the disc and plays it from track 1, as the player's CD play command does.
    void OpenAndPlayDisc()
    {
        ASSERT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 1);
        ASSERT_EQ(m_engine.Play(1), 1);
        WaitForTheMonitorToSeeTheJump();
    }

    // The clock only moves when the test says so; before moving it on after a jump, the
    // test lets the monitor see where the jump landed, as it would at the pace of real play.
    void WaitForTheMonitorToSeeTheJump()
    {
        ASSERT_TRUE(WaitUntil([&] { return m_engine.GetSkipTrackMsg() == 0; }));
    }

    PlayPosition Position()
    {
        PlayPosition pos{};
        EXPECT_EQ(m_engine.GetPosition(&pos), 1);
        return pos;
    }

    // Plays on until the disc stands in the given track.
    void PlayIntoTrack(int track)
    {
        PlayFrames(kFramesPerSector * 75 * 600, [&] { return Position().nTrack >= track; });
        ASSERT_EQ(Position().nTrack, track);
    }

    // Gives the monitor time for a few polls without the disc moving.
    std::vector<WPARAM> TrackMessagesAfterAWhile()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return Received(WM_PLAYPOS);
    }
};

} // namespace

TEST_F(PlayEngineCdTest, ADiscOpensAsAudioCDWithItsTrackCount)
{
    InsertDisc({75, 75, 75});
    ASSERT_EQ(m_engine.OpenMedium("/ignored/path.wav", MEDIUM_CD), 1);
    EXPECT_EQ(m_engine.GetTitle(), "Audio CD");
    EXPECT_EQ(m_engine.GetKind(), DEVICE_CDAUDIO);
    EXPECT_EQ(m_engine.GetTrackCount(), 3);
}

TEST_F(PlayEngineCdTest, WithoutADiscTheOpenShowsTheDeviceError)
{
    ::setenv("SORVANE_CDROM", (m_dir / "absent.cue").c_str(), 1);
    EXPECT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 0);
    EXPECT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_EQ(m_engine.GetTitle(), "Audio CD");
    EXPECT_EQ(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineCdTest, ATrackLengthDropsItsFrames)
{
    InsertDisc({75, 59 * kSectorsPerSecond + 74});
    ASSERT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 1);
    EXPECT_EQ(m_engine.GetLengthSeconds(2), 59);
    EXPECT_EQ(m_engine.GetLengthSeconds(1), 1);
}

TEST_F(PlayEngineCdTest, PositionGivesTrackAndTimeWithinTheTrack)
{
    InsertDisc({2 * kSectorsPerSecond, 90 * kSectorsPerSecond});
    OpenAndPlayDisc();
    PlayFrames(kFramesPerSector * (2 * 75 + 65 * 75 + 30));
    const PlayPosition pos = Position();
    EXPECT_EQ(pos.nTrack, 2);
    EXPECT_EQ(pos.nMinutes, 1);
    EXPECT_EQ(pos.nSeconds, 5);
    EXPECT_EQ(pos.nMilliseconds, 0);
    EXPECT_EQ(pos.nFrames, 30);
}

TEST_F(PlayEngineCdTest, PlayingFromTrackOneReportsEveryLaterTrackOnce)
{
    InsertDisc(std::vector<int>(10, 2 * kSectorsPerSecond));
    OpenAndPlayDisc();
    EXPECT_TRUE(TrackMessagesAfterAWhile().empty());
    for (int track = 2; track <= 10; ++track) {
        PlayIntoTrack(track);
        EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, static_cast<WPARAM>(track))) << track;
    }
    std::vector<WPARAM> expected;
    for (WPARAM track = 2; track <= 10; ++track)
        expected.push_back(track);
    EXPECT_EQ(Received(WM_PLAYPOS), expected);
}

TEST_F(PlayEngineCdTest, PlayOfATrackPlaysToTheEndOfTheDiscWithoutReportingTheJump)
{
    InsertDisc(std::vector<int>(5, kSectorsPerSecond));
    ASSERT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 1);
    ASSERT_EQ(m_engine.Play(3), 1);
    EXPECT_EQ(m_engine.GetSkipTrackMsg(), 3);
    EXPECT_EQ(Position().nTrack, 3);
    WaitForTheMonitorToSeeTheJump();
    EXPECT_TRUE(TrackMessagesAfterAWhile().empty());
    PlayIntoTrack(4);
    EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, 4));
    PlayIntoTrack(5);
    EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, 5));
    PlayFrames(kFramesPerSector * 75 * 3, [&] { return !Received(MM_MCINOTIFY).empty(); });
    EXPECT_EQ(Received(MM_MCINOTIFY), (std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL}));
    EXPECT_EQ(Received(WM_PLAYPOS), (std::vector<WPARAM>{4, 5}));
}

TEST_F(PlayEngineCdTest, AJumpWhileATrackPlaysIsNotReportedButTheNextTrackIs)
{
    InsertDisc(std::vector<int>(10, 2 * kSectorsPerSecond));
    OpenAndPlayDisc();
    for (int track = 2; track <= 3; ++track) {
        PlayIntoTrack(track);
        ASSERT_TRUE(WaitForMessage(WM_PLAYPOS, static_cast<WPARAM>(track)));
    }
    ASSERT_EQ(m_engine.Play(7), 1);
    EXPECT_EQ(Position().nTrack, 7);
    WaitForTheMonitorToSeeTheJump();
    EXPECT_EQ(TrackMessagesAfterAWhile(), (std::vector<WPARAM>{2, 3}));
    PlayIntoTrack(8);
    EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, 8));
    EXPECT_EQ(Received(WM_PLAYPOS), (std::vector<WPARAM>{2, 3, 8}));
}

// Catches a play of the track already playing leaving the skip flag set, so that the next
// natural change went unreported and that track was played twice.
TEST_F(PlayEngineCdTest, APlayOfTheTrackPlayingLetsTheNextChangeBeReported)
{
    InsertDisc(std::vector<int>(3, 2 * kSectorsPerSecond));
    OpenAndPlayDisc();
    PlayIntoTrack(2);
    ASSERT_TRUE(WaitForMessage(WM_PLAYPOS, 2));
    ASSERT_EQ(m_engine.Play(2), 1);
    WaitForTheMonitorToSeeTheJump();
    PlayIntoTrack(3);
    EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, 3));
    EXPECT_EQ(Received(WM_PLAYPOS), (std::vector<WPARAM>{2, 3}));
}

// Catches the monitor's first reading counting as a change from no track: when it came
// before Play(1) (a loaded machine), track 1 was reported and the player skipped it.
TEST_F(PlayEngineCdTest, TheFirstReadingBeforeThePlayIsNoChange)
{
    InsertDisc(std::vector<int>(3, 2 * kSectorsPerSecond));
    ASSERT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 1);
    EXPECT_TRUE(TrackMessagesAfterAWhile().empty());
    ASSERT_EQ(m_engine.Play(1), 1);
    WaitForTheMonitorToSeeTheJump();
    PlayIntoTrack(2);
    EXPECT_TRUE(WaitForMessage(WM_PLAYPOS, 2));
    EXPECT_EQ(Received(WM_PLAYPOS), (std::vector<WPARAM>{2}));
}

TEST_F(PlayEngineCdTest, SeekStopAndResumeInsideATrackAreNotReported)
{
    InsertDisc({10 * kSectorsPerSecond, 10 * kSectorsPerSecond});
    OpenAndPlayDisc();
    PlayFrames(kFramesPerSector * 75 * 2);
    EXPECT_EQ(m_engine.SeekPercent(50), 1);
    EXPECT_EQ(Position().nSeconds, 5);
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(kFramesPerSector * 75);
    ASSERT_EQ(m_engine.Stop(), 1);
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(kFramesPerSector * 75);
    EXPECT_TRUE(TrackMessagesAfterAWhile().empty());
}

TEST_F(PlayEngineCdTest, SeekPercentStaysInTheCurrentTrack)
{
    InsertDisc({3 * kSectorsPerSecond, 20 * kSectorsPerSecond, 3 * kSectorsPerSecond});
    OpenAndPlayDisc();
    PlayIntoTrack(2);
    EXPECT_EQ(m_engine.SeekPercent(0), 1);
    PlayPosition pos = Position();
    EXPECT_EQ(pos.nTrack, 2);
    EXPECT_EQ(pos.nMinutes * 60 + pos.nSeconds, 0);
    EXPECT_EQ(m_engine.SeekPercent(50), 1);
    pos = Position();
    EXPECT_EQ(pos.nTrack, 2);
    EXPECT_EQ(pos.nSeconds, 10);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
}

TEST_F(PlayEngineCdTest, PlayZeroAfterStopGoesOnFromTheStop)
{
    InsertDisc({10 * kSectorsPerSecond});
    OpenAndPlayDisc();
    PlayFrames(kFramesPerSector * 75 * 3);
    ASSERT_EQ(m_engine.Stop(), 1);
    EXPECT_EQ(Position().nSeconds, 3);
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(kFramesPerSector * 75);
    EXPECT_EQ(Position().nSeconds, 4);
}

TEST_F(PlayEngineCdTest, ClosingWhilePlayingEndsTheMonitorWithoutFurtherMessages)
{
    InsertDisc({kSectorsPerSecond, kSectorsPerSecond, kSectorsPerSecond});
    OpenAndPlayDisc();
    PlayIntoTrack(2);
    ASSERT_TRUE(WaitForMessage(WM_PLAYPOS, 2));
    m_engine.CloseMedium();
    EXPECT_EQ(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetTrackCount(), 0);
    EXPECT_EQ(TrackMessagesAfterAWhile(), (std::vector<WPARAM>{2}));
}

// Catches a close that waits without end for a monitor stuck in a reading, that leaves the
// device open when the monitor does not answer, or a forgotten monitor that reports a track
// once its reading returns or never ends.
TEST_F(PlayEngineCdTest, AMonitorThatDoesNotAcknowledgeIsForgottenAndTheDiscStillCloses)
{
    InsertDisc({kSectorsPerSecond, kSectorsPerSecond});
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    const auto readings = std::make_shared<std::atomic<int>>(0);
    // The first reading is the starting point; the second hangs until released and then
    // finds the disc moved on.
    m_engine.SetMonitorReader(
        [released, readings] {
            if (readings->fetch_add(1) == 0) {
                return 1;
            }
            released.wait();
            return 2;
        },
        std::chrono::milliseconds(1));
    ASSERT_EQ(m_engine.OpenMedium({}, MEDIUM_CD), 1);
    ASSERT_TRUE(WaitUntil([&] { return readings->load() == 2; }));

    m_engine.CloseMedium();
    EXPECT_EQ(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetTrackCount(), 0);

    // Only the forgotten thread holds the reader now; it lets go of it when it ends.
    m_engine.SetMonitorReader({}, CPositionMonitor::kMonitorStopTimeoutMs);
    release.set_value();
    EXPECT_TRUE(WaitUntil([&] { return readings.use_count() == 1; }));
    EXPECT_TRUE(Received(WM_PLAYPOS).empty());
}

TEST_F(PlayEngineCdTest, EjectWithTheDiscOpenLeavesNothingOpen)
{
    InsertDisc({kSectorsPerSecond, kSectorsPerSecond});
    OpenAndPlayDisc();
    EXPECT_EQ(m_engine.Eject(), 1);
    EXPECT_EQ(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetTrackCount(), 0);
    EXPECT_EQ(m_engine.GetKind(), DEVICE_CDAUDIO);
    EXPECT_TRUE(TrackMessagesAfterAWhile().empty());
}
