#include "queue/SorvaneDoc.h"

#include "audio/SoundOutput.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "res/Resource.h"
#include "tests/support/AvWriter.h"
#include "tests/support/CoreApplication.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr std::size_t kFramesPerSecond = 44100;

class CHintView : public CView
{
public:
    void OnUpdate(CView*, int nHint) override { hints.push_back(nHint); }
    std::vector<int> hints;
};

class CPlaylistHost : public IPlaylistWindowHost
{
public:
    bool IsPlaylistVisible() const override { return bVisible; }
    void HidePlaylist() override { bVisible = false; }
    void GetPlayerRect(int& nLeft, int& nTop, int& nRight) const override
    {
        nLeft = rcLeft;
        nTop = rcTop;
        nRight = rcRight;
    }
    void ShowPlaylistAt(int x, int y) override
    {
        bVisible = true;
        shownAt = CPoint{x, y};
    }
    bool bVisible = false;
    int rcLeft = 0, rcTop = 0, rcRight = 0;
    CPoint shownAt{-1, -1};
};

// The document, with its engine open to the tests.
class CEngineDoc : public CSorvaneDoc
{
public:
    using CSorvaneDoc::EngineForTests;
};

class SorvaneDocTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_clock.Ok());
        m_doc.AddView(&m_view);
    }
    void TearDown() override
    {
        m_doc.RemoveView(&m_view);
        ::unsetenv("SORVANE_CDROM");
    }

    // A one-second (or longer) WAV tone in the test directory.
    std::string Wav(const std::string& name, std::uint32_t seconds = 2)
    {
        WavTone tone;
        tone.nFrames = static_cast<std::uint32_t>(kFramesPerSecond) * seconds;
        return m_dir.Write(name, MakeWav(tone));
    }

    // A disc of n one-second tracks, named by SORVANE_CDROM.
    void InsertDisc(int nTracks, int nSectors = 75)
    {
        std::vector<CdTrackTone> tracks(static_cast<std::size_t>(nTracks), CdTrackTone{nSectors});
        ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", tracks).c_str(), 1);
    }

    void Open(std::vector<std::string> paths)
    {
        m_prompts.QueueFiles(std::move(paths));
        ASSERT_TRUE(m_doc.OnCmdMsg(IDC_BTN_OPEN));
    }

    std::vector<std::string> Queue() const
    {
        std::vector<std::string> all;
        for (int i = 0; i < m_doc.GetQueue().GetCount(); ++i)
            all.push_back(m_doc.GetQueue().GetAt(i));
        return all;
    }

    int Milliseconds()
    {
        PlayPosition pos{};
        m_doc.GetPosition(&pos);
        return pos.nMilliseconds;
    }

    PlayPosition Position()
    {
        PlayPosition pos{};
        m_doc.GetPosition(&pos);
        return pos;
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CRecordingPrompts m_prompts;
    CEngineDoc m_doc;
    CHintView m_view;
};

TEST_F(SorvaneDocTest, OpenAsksForSeveralAudioFilesWithTheDocumentsFilter)
{
    m_doc.OnCmdMsg(ID_MENU_OPEN);
    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    const FileDialogRequest& request = m_prompts.fileRequests[0];
    EXPECT_TRUE(request.bOpen);
    EXPECT_TRUE(request.bMultiSelect);
    EXPECT_EQ(request.strDefExt, ".mid");
    // The design's entry first and unchanged, then one entry of every playable extension.
    EXPECT_EQ(request.strFilter,
              "AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp|"
              "PlayableFiles|*.mid; *.wav; *.mp3; *.mp2; *.mp; *.flac; *.ogg; *.oga; *.opus; "
              "*.m4a; *.mp4; *.aac; *.wma; *.wv; *.ape; *.aif; *.aiff; *.mka; *.tta; *.m3u||");
    // Catches a dialog that opens on the design's entry, which hides FLAC, Ogg, Opus and M4A.
    EXPECT_EQ(request.nFilterIndex, 2);
}

TEST_F(SorvaneDocTest, OpenWithThreeFilesQueuesThemAndPlaysTheFirst)
{
    const std::vector<std::string> files = {Wav("a.wav"), Wav("b.wav"), Wav("c.wav")};
    Open(files);
    EXPECT_EQ(Queue(), files);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneDocTest, OpenWithAPlaylistQueuesItsEntriesInItsPlace)
{
    Wav("x.wav");
    Wav("y.wav");
    Open({m_dir.Write("list.m3u", "x.wav\r\ny.wav\r\n")});
    EXPECT_EQ(Queue(), (std::vector<std::string>{m_dir / "x.wav", m_dir / "y.wav"}));
    EXPECT_EQ(m_doc.GetTitle(), "x.wav");
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
}

// Also catches boxes that do not say which file failed.
TEST_F(SorvaneDocTest, OpenWithAnUnplayableFirstFileShowsThreeBoxesInOrderNamingIt)
{
    const std::vector<std::string> files = {m_dir / "notes.txt", Wav("b.wav")};
    Open(files);
    const std::string named = files[0] + "\n";
    EXPECT_EQ(m_prompts.messages, (std::vector<std::string>{named + "無効なファイル",
                                                            named + "MCI機器の初期化に失敗しました",
                                                            named + "演奏に失敗しました"}));
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_EQ(Queue(), files);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
}

TEST_F(SorvaneDocTest, CancelledOpenLeavesWhatPlaysAlone)
{
    Open({Wav("a.wav")});
    m_view.hints.clear();
    m_prompts.QueueFiles(std::nullopt);
    m_doc.OnCmdMsg(IDC_BTN_OPEN);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(Queue().size(), 1u);
    EXPECT_TRUE(m_view.hints.empty());
}

// Catches a selection longer than the original platform's 2,048-byte name buffer being
// dropped without a word.
TEST_F(SorvaneDocTest, EveryChosenFileIsTakenHoweverLongTheSelection)
{
    Open({Wav("a.wav")});
    m_view.hints.clear();
    std::vector<std::string> many = {Wav("first.wav")};
    for (int i = 0; i < 300; ++i)
        many.push_back(m_dir / ("file" + std::to_string(i) + ".wav"));
    Open(many);
    EXPECT_EQ(Queue(), many);
    EXPECT_EQ(m_doc.GetTitle(), "first.wav");
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
}

TEST_F(SorvaneDocTest, OpenWithAnEmptyPlaylistClosesTheMediumSilently)
{
    Open({Wav("a.wav")});
    m_view.hints.clear();
    Open({m_dir.Write("empty.m3u", "")});
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(Queue().empty());
    EXPECT_TRUE(m_prompts.messages.empty());
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
}

TEST_F(SorvaneDocTest, CdPlayQueuesOneMarkerPerTrackAndPlaysTrackOne)
{
    InsertDisc(12);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    ASSERT_EQ(m_doc.GetQueue().GetCount(), 12);
    EXPECT_EQ(m_doc.GetQueue().GetAt(0), "\\track <1>");
    EXPECT_EQ(m_doc.GetQueue().GetAt(11), "\\track <12>");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_doc.GetKind(), DEVICE_CDAUDIO);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(Position().nTrack, 1);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
}

TEST_F(SorvaneDocTest, CdPlayWithoutADiscKeepsTheQueue)
{
    Open({Wav("a.wav")});
    m_view.hints.clear();
    ::setenv("SORVANE_CDROM", (m_dir / "no-disc.cue").c_str(), 1);
    m_doc.OnCmdMsg(ID_MENU_CDPLAY);
    ASSERT_EQ(m_prompts.messages.size(), 2u);
    EXPECT_FALSE(m_prompts.messages[0].empty());
    EXPECT_EQ(m_prompts.messages[1], "MCI Open Error");
    EXPECT_EQ(Queue(), std::vector<std::string>{m_dir / "a.wav"});
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(m_view.hints.empty());
}

TEST_F(SorvaneDocTest, StopReturnsAFileToItsStart)
{
    Open({Wav("a.wav", 3)});
    PlayFrames(kFramesPerSecond);
    m_view.hints.clear();
    m_doc.OnCmdMsg(IDC_BTN_STOP);
    EXPECT_EQ(Milliseconds(), 0);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_STOP);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_STATE_CHANGED});
    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
}

TEST_F(SorvaneDocTest, StopOnACdReturnsToTheStartOfTheCurrentTrack)
{
    InsertDisc(3, 150);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    PlayFrames(kFramesPerSecond * 3, [&] { return Position().nTrack == 2; });
    PlayFrames(kFramesPerSecond / 2);
    ASSERT_EQ(Position().nTrack, 2);
    m_doc.OnCmdMsg(IDC_BTN_STOP);
    const PlayPosition pos = Position();
    EXPECT_EQ(pos.nTrack, 2);
    EXPECT_EQ(pos.nMinutes, 0);
    EXPECT_EQ(pos.nSeconds, 0);
    EXPECT_EQ(pos.nFrames, 0);
}

TEST_F(SorvaneDocTest, PauseThenPlayGoesOnFromThePause)
{
    Open({Wav("a.wav", 3)});
    PlayFrames(kFramesPerSecond);
    m_doc.OnCmdMsg(IDC_BTN_PAUSE);
    const int paused = Milliseconds();
    EXPECT_GE(paused, 900);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_STOP);
    m_doc.OnCmdMsg(ID_MENU_PLAY);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(Milliseconds(), paused);
}

// Catches a pause before the first second read as a stop, and a stop read as a pause.
TEST_F(SorvaneDocTest, ThePlaybackStateTellsAPauseFromAStopWhereverItStands)
{
    Open({Wav("a.wav", 3)});
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Playing);
    EXPECT_FALSE(m_doc.GetPlayback().bCanPlay) << "play is not offered while it sounds";
    m_doc.OnCmdMsg(IDC_BTN_PAUSE);
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Paused);
    EXPECT_TRUE(m_doc.GetPlayback().bCanPlay);
    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    PlayFrames(kFramesPerSecond);
    m_doc.OnCmdMsg(IDC_BTN_STOP);
    const PlaybackSnapshot stopped = m_doc.GetPlayback();
    EXPECT_EQ(stopped.nState, PlaybackState::Stopped);
    EXPECT_TRUE(stopped.bCanPlay);
    EXPECT_FALSE(stopped.bCanPause);
    EXPECT_EQ(stopped.nLengthMs, 3000);
}

// Catches a sheet's tracks played as one file (the file's title, position and length), a
// break or a reopen at a track's border, Next that plays the file from its start, a seek
// that is not the track's, and a track starting past its file's end that plays anyway.
TEST_F(SorvaneDocTest, ACueSheetsTracksPlayInTurnWithoutABreak)
{
    EnsureCoreApplication();
    Wav("album.wav", 3);
    const std::string sheet = m_dir.Write(
        "album.cue", "FILE album.wav WAVE\nTRACK 01 AUDIO\nTITLE First\nINDEX 01 00:00:00\n"
                     "TRACK 02 AUDIO\nTITLE Second\nINDEX 01 00:01:00\nTRACK 03 AUDIO\n"
                     "TITLE Third\nINDEX 01 00:02:00\nTRACK 04 AUDIO\nINDEX 01 00:09:00\n");
    Open({sheet});
    ASSERT_EQ(m_doc.GetQueue().GetCount(), 4);
    EXPECT_EQ(m_doc.GetTitle(), "First");
    EXPECT_EQ(m_doc.GetPlayback().nLengthMs, 1000);
    const UINT device = m_doc.IsOpen();
    PlayFrames(kFramesPerSecond * 3 / 2);
    // At the border the queue moves on while the file sounds on.
    ASSERT_TRUE(WaitUntil([&] {
        QCoreApplication::processEvents();
        return m_doc.GetTitle() == "Second";
    }));
    EXPECT_EQ(m_doc.IsOpen(), device) << "the file was reopened";
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_EQ(Milliseconds(), 500);
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Playing);

    m_doc.OnCmdNext();
    EXPECT_EQ(m_doc.GetTitle(), "Third");
    EXPECT_EQ(Milliseconds(), 0);
    PlayFrames(kFramesPerSecond / 4);
    EXPECT_EQ(Milliseconds(), 250) << "the file did not start at the track";
    m_doc.SeekToMilliseconds(400);
    EXPECT_EQ(m_doc.GetPlayback().nPositionMs, 400);
    EXPECT_TRUE(m_prompts.messages.empty());

    m_doc.OnCmdNext();
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_EQ(m_prompts.messages.front(),
              m_doc.GetQueue().GetAt(3) + "\n" + CPlayEngine::kTextInvalidFile);
}

// Catches a file whose clock runs on, shown as playing, while no sound device plays: it
// stands paused by the system at its position, the window is told once, and again when the
// device is back.
TEST_F(SorvaneDocTest, WithoutASoundDeviceAMediumStandsPausedByTheSystemAndIsToldOnce)
{
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    Open({Wav("a.wav", 3)});
    const PlaybackSnapshot held = m_doc.GetPlayback();
    EXPECT_EQ(held.nState, PlaybackState::Paused);
    EXPECT_TRUE(held.bHeldBySystem);
    EXPECT_TRUE(held.bCanPause);
    EXPECT_EQ(held.nPositionMs, 0);
    EXPECT_STREQ(m_doc.TakeDeviceNews(), CSorvaneDoc::kDeviceLostText);
    EXPECT_EQ(m_doc.TakeDeviceNews(), nullptr) << "told once";
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(WaitUntil([] { return !AudioOutputHeld(); }));
    EXPECT_STREQ(m_doc.TakeDeviceNews(), CSorvaneDoc::kDeviceBackText);
    EXPECT_EQ(m_doc.TakeDeviceNews(), nullptr);
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Playing);
    m_doc.OnCmdMsg(IDC_BTN_STOP);
}

// Catches a seek by time that lands on a whole percent or second, and play refused at the
// end of a file where the play button offers it (its end notice moves the queue on).
TEST_F(SorvaneDocTest, ASeekByTimeLandsToTheMillisecondAndTheEndOffersPlay)
{
    Open({Wav("a.wav", 3)});
    m_doc.SeekToMilliseconds(1234);
    EXPECT_EQ(m_doc.GetPlayback().nPositionMs, 1234);
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Playing);
    m_doc.SeekToMilliseconds(99999);
    PlayFrames(kFramesPerSecond,
               [&] { return m_doc.GetMode() != static_cast<int>(MCI_MODE_PLAY); });
    const PlaybackSnapshot end = m_doc.GetPlayback();
    EXPECT_EQ(end.nState, PlaybackState::Stopped);
    EXPECT_EQ(end.nPositionMs, 3000);
    EXPECT_TRUE(end.bCanPlay);
}

TEST_F(SorvaneDocTest, PlayAndStopWithNothingOpenDoNothingButPlayUpdates)
{
    m_doc.OnCmdMsg(IDC_BTN_STOP);
    m_doc.OnCmdMsg(IDC_BTN_PAUSE);
    EXPECT_TRUE(m_view.hints.empty());
    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_STATE_CHANGED});
    EXPECT_EQ(m_doc.IsOpen(), 0u);
}

TEST_F(SorvaneDocTest, NextOnTheLastEntryPlaysTheFirst)
{
    Open({Wav("a.wav"), Wav("b.wav")});
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    m_view.hints.clear();
    m_doc.OnCmdMsg(ID_MENU_NEXT);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_view.hints, (std::vector<int>{HINT_STATE_CHANGED, HINT_STATE_CHANGED}));
}

// Also catches the next entry, prepared to follow on, left sounding after the command.
TEST_F(SorvaneDocTest, PreviousOnTheFirstEntryPlaysItAgainFromItsStart)
{
    Open({Wav("a.wav", 3), Wav("b.wav")});
    PlayFrames(kFramesPerSecond);
    m_doc.OnCmdMsg(IDC_BTN_PREV);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_LT(Milliseconds(), 100);
    EXPECT_EQ(AdvanceManualAudioClock(100), kFramesPerSecond / 10) << "one file sounds";
}

TEST_F(SorvaneDocTest, NextAndPreviousOnAnEmptyQueueDoNothingAtAll)
{
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    m_doc.OnCmdMsg(IDC_BTN_PREV);
    EXPECT_TRUE(m_view.hints.empty());
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneDocTest, AMarkerPlaysItsTrackOnTheOpenCdWithoutReopening)
{
    InsertDisc(4);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    const UINT device = m_doc.IsOpen();
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    EXPECT_EQ(m_doc.IsOpen(), device);
    EXPECT_EQ(Position().nTrack, 3);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
}

TEST_F(SorvaneDocTest, AfterAnEjectAMarkerPlaysNothing)
{
    InsertDisc(4);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    m_doc.OnCmdMsg(IDC_BTN_EJECT);
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneDocTest, AMarkerReachedWhileAFileIsOpenGoesOnWithTheFile)
{
    const std::string file = Wav("a.wav", 3);
    m_doc.EnqueueFiles({file, "\\track <2>"});
    m_doc.PlayAt(0);
    PlayFrames(kFramesPerSecond / 2);
    m_doc.OnCmdMsg(IDC_BTN_PAUSE);
    const int paused = Milliseconds();
    m_doc.OnCmdMsg(IDC_BTN_NEXT);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(Milliseconds(), paused);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
}

TEST_F(SorvaneDocTest, AnEntryBeginningWithTwoBackslashesIsAMarkerWithoutANumber)
{
    m_doc.EnqueueFiles({"\\\\server\\share\\a.wav"});
    m_view.hints.clear();
    m_doc.PlayAt(0);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(m_prompts.messages.empty());
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_STATE_CHANGED});
}

TEST_F(SorvaneDocTest, AnEntryBeginningWithTwoSeparatorsIsAFile)
{
    const std::string file = Wav("a.wav");
    m_doc.EnqueueFiles({"/" + file});
    m_doc.PlayAt(0);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
}

TEST_F(SorvaneDocTest, PlayAtMakesTheEntryCurrentEvenWhenItFails)
{
    m_doc.EnqueueFiles({Wav("a.wav"), m_dir / "missing.wav"});
    m_doc.PlayAt(1);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_EQ(m_prompts.messages.size(), 2u);
    m_view.hints.clear();
    m_doc.PlayAt(2);
    m_doc.PlayAt(-1);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_TRUE(m_view.hints.empty());
}

// Catches an enqueue into an idle player after which every Play is refused.
TEST_F(SorvaneDocTest, AnEnqueueWithNothingOpenOpensTheFirstNewEntryStoppedSoPlayStartsIt)
{
    m_doc.EnqueueFiles({Wav("a.wav"), Wav("b.wav")});
    EXPECT_NE(m_doc.IsOpen(), 0u);
    EXPECT_EQ(m_doc.GetPlayback().nState, PlaybackState::Stopped);
    EXPECT_TRUE(m_doc.GetPlayback().bCanPlay);
    m_doc.EnqueueFiles({Wav("c.wav")});
    EXPECT_EQ(m_doc.GetTitle(), "a.wav") << "an enqueue into an open player opens nothing";
    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_TRUE(m_prompts.messages.empty());
}

// Catches a kept queue that opens its entry at start (a cost for a huge or damaged file), or
// that Play starts from the top instead of the kept place.
TEST_F(SorvaneDocTest, AKeptQueueStandsPausedAtItsPlaceAndPlayCarriesOnFromThere)
{
    const std::vector<std::string> files = {Wav("a.wav"), Wav("b.wav"), Wav("c.wav")};
    m_doc.RestoreQueue({files, 2, 1500, 2000});
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_EQ(Queue(), files);
    PlaybackSnapshot snap = m_doc.GetPlayback();
    EXPECT_EQ(snap.nState, PlaybackState::Paused);
    EXPECT_EQ(snap.nPositionMs, 1500);
    EXPECT_EQ(snap.nLengthMs, 2000);
    EXPECT_EQ(m_doc.GetTitle(), "c.wav");
    EXPECT_EQ(m_doc.GetStatusText(), "c.wav  0: 2");
    EXPECT_EQ(m_doc.KeepQueue().nPositionMs, 1500) << "a run that never played keeps the place";

    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    EXPECT_EQ(m_doc.GetTitle(), "c.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_GE(Milliseconds(), 1500);
    EXPECT_LT(Milliseconds(), 1600);
    const KeptQueue kept = m_doc.KeepQueue();
    EXPECT_EQ(kept.entries, files);
    EXPECT_EQ(kept.nCurrent, 2);
    EXPECT_GE(kept.nPositionMs, 1500);
    EXPECT_EQ(kept.nLengthMs, 2000);
    EXPECT_TRUE(m_prompts.messages.empty());
}

// Catches a kept entry whose file has gone stopping the player with boxes.
TEST_F(SorvaneDocTest, AKeptEntryWhoseFileHasGoneIsPassedOverQuietly)
{
    m_doc.RestoreQueue({{m_dir / "gone.wav", Wav("b.wav")}, 0, 700, 2000});
    m_doc.OnCmdMsg(IDC_BTN_PLAY);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneDocTest, StatusTextGivesTheLengthRightAlignedWithoutZeros)
{
    EXPECT_EQ(m_doc.GetStatusText(), "");
    WavTone tone;
    tone.nRate = 8000;
    tone.nBits = 8;
    tone.nFrames = 8000 * 187;
    Open({m_dir.Write("song.wav", MakeWav(tone))});
    EXPECT_EQ(m_doc.GetStatusText(), "song.wav  3: 7");
}

TEST_F(SorvaneDocTest, StatusTextOfACdNamesTheCurrentTrack)
{
    std::vector<CdTrackTone> tracks = {{75}, {75}, {75 * 65}};
    ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", tracks).c_str(), 1);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    m_doc.PlayAt(2);
    EXPECT_EQ(m_doc.GetStatusText(), "Audio CD < 3>  1: 5");
}

TEST_F(SorvaneDocTest, EjectWithTheCdOpenClosesItAndKeepsTheMarkers)
{
    InsertDisc(3);
    m_doc.OnCmdMsg(IDC_BTN_CDPLAY);
    m_view.hints.clear();
    m_doc.OnCmdMsg(ID_MENU_EJECT);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_EQ(m_doc.GetKind(), DEVICE_CDAUDIO);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 3);
    EXPECT_EQ(m_view.hints, std::vector<int>{HINT_QUEUE_CHANGED});
}

TEST_F(SorvaneDocTest, EjectWithAFileOpenChangesNothingElse)
{
    InsertDisc(3);
    Open({Wav("a.wav")});
    m_view.hints.clear();
    m_doc.OnCmdMsg(IDC_BTN_EJECT);
    EXPECT_EQ(m_doc.GetMode(), MCI_MODE_PLAY);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_TRUE(m_view.hints.empty());
}

TEST_F(SorvaneDocTest, PlaylistCommandShowsThePlaylistBesideThePlayerOrHidesIt)
{
    CPlaylistHost host;
    m_doc.OnCmdMsg(IDC_BTN_PLAYLIST);
    m_doc.SetPlaylistHost(&host);
    host.rcLeft = 500;
    host.rcTop = 40;
    host.rcRight = 640;
    m_doc.OnCmdMsg(ID_MENU_PLAYLIST);
    EXPECT_TRUE(host.bVisible);
    EXPECT_EQ(host.shownAt, (CPoint{275, 40}));
    m_doc.OnCmdMsg(IDC_BTN_PLAYLIST);
    EXPECT_FALSE(host.bVisible);
    m_doc.SetPlaylistHost(nullptr);
}

TEST_F(SorvaneDocTest, CommandsOfOtherTargetsTravelOn)
{
    EXPECT_FALSE(m_doc.OnCmdMsg(ID_MENU_SETTINGS));
    EXPECT_FALSE(m_doc.OnCmdMsg(ID_MENU_HIDE));
}

TEST(PlaylistPlacement, OpensLeftOfThePlayerOrRightOfItNearTheScreenEdge)
{
    EXPECT_EQ(PlaylistPlacement(500, 10, 640), (CPoint{275, 10}));
    EXPECT_EQ(PlaylistPlacement(100, 0, 180), (CPoint{185, 0}));
    EXPECT_EQ(PlaylistPlacement(300, 5, 400), (CPoint{75, 5}));
    EXPECT_EQ(PlaylistPlacement(299, 5, 400), (CPoint{405, 5}));
    EXPECT_EQ(PlaylistPlacement(-50, -20, 90), (CPoint{95, -20}));
}

TEST(ParseTrackNumber, ReadsTheNumberBetweenTheFirstAngleBrackets)
{
    EXPECT_EQ(ParseTrackNumber("\\track <12>"), 12);
    EXPECT_EQ(ParseTrackNumber("\\track <>"), 0);
    EXPECT_EQ(ParseTrackNumber("\\track"), -1);
    EXPECT_EQ(ParseTrackNumber("\\track <3"), -1);
    EXPECT_EQ(ParseTrackNumber("\\track < 7x>"), 7);
    EXPECT_EQ(ParseTrackNumber("\\track <-2>"), -2);
    EXPECT_LE(ParseTrackNumber("\\x>5<"), 0);
    EXPECT_LE(ParseTrackNumber("\\x> <9>"), 0);
    EXPECT_EQ(ParseTrackNumber("\\track <99999999999999>"), 2147483647);
}

} // namespace

namespace {

// A short FLAC tone of album with the given track and album gains.
std::string GainFlac(CTempDir& dir, const std::string& name, const std::string& album,
                     const std::string& trackGain, const std::string& albumGain)
{
    EncodedTone tone;
    tone.dSeconds = 1.0;
    tone.tags = {{"album", album},
                 {"REPLAYGAIN_TRACK_GAIN", trackGain},
                 {"REPLAYGAIN_ALBUM_GAIN", albumGain}};
    const std::string path = dir / name;
    EXPECT_TRUE(WriteEncodedTone(path, tone)) << name;
    return path;
}

float Db(double db)
{
    return static_cast<float>(std::pow(10.0, db / 20.0));
}

} // namespace

// Catches the automatic mode deciding without the neighbouring entries (album gain for an
// album's lone track, or track gain inside a run of one album), a mode or the untagged gain
// ignored, and an entry prepared to follow on at the wrong gain or not prepared again when the
// mode changes.
TEST_F(SorvaneDocTest, EachEntryPlaysAtTheGainOfTheModeAndItsNeighbours)
{
    ReplayGainSettings settings;
    settings.dUntaggedDb = -1.0;
    m_doc.SetReplayGainQuery([&] { return settings; });
    m_doc.EnqueueFiles({GainFlac(m_dir, "a1.flac", "X", "-6 dB", "-3 dB"),
                        GainFlac(m_dir, "a2.flac", "X", "-8 dB", "-3 dB"),
                        GainFlac(m_dir, "b.flac", "Y", "-2 dB", "-4 dB"), Wav("u.wav")});
    const std::vector<float> automatic = {Db(-3), Db(-3), Db(-2), Db(-1)};
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(m_doc.EntryGain(i), automatic[static_cast<std::size_t>(i)]) << i;
    settings.mode = ReplayGainMode::Track;
    EXPECT_FLOAT_EQ(m_doc.EntryGain(0), Db(-6));
    settings.mode = ReplayGainMode::Album;
    EXPECT_FLOAT_EQ(m_doc.EntryGain(2), Db(-4));
    settings.mode = ReplayGainMode::Off;
    EXPECT_EQ(m_doc.EntryGain(3), 1.0f);
    settings.mode = ReplayGainMode::Track;
    const auto before = std::filesystem::last_write_time(m_dir / "b.flac");
    GainFlac(m_dir, "b.flac", "Y", "-10 dB", "-4 dB");
    std::filesystem::last_write_time(m_dir / "b.flac", before + std::chrono::seconds(2));
    EXPECT_FLOAT_EQ(m_doc.EntryGain(2), Db(-10)) << "a file tagged anew is read again";

    settings.mode = ReplayGainMode::Auto;
    m_doc.PlayAt(1);
    EXPECT_FLOAT_EQ(m_doc.EngineForTests().PreparedGain(), Db(-10))
        << "b prepared behind a2 at its track gain";
    settings.mode = ReplayGainMode::Album;
    m_doc.ReplayGainSettingChanged();
    EXPECT_FLOAT_EQ(m_doc.EngineForTests().PreparedGain(), Db(-4))
        << "b prepared again at its album gain";
}
