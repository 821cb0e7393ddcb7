#include "tests/media/MciFixture.h"
#include "tests/support/TestMedia.h"

#include "audio/Samples.h"
#include "media/MciDevice.h"
#include "tests/support/ManualClock.h"

#include <cmath>
#include <filesystem>
#include <future>

namespace {

class WaveDevice : public MciTest
{
protected:
    // A mono 16-bit 8 kHz tone of ms milliseconds, opened.
    MCIDEVICEID OpenTone(unsigned ms, double frequency = 500.0)
    {
        WavTone tone;
        tone.nRate = 8000;
        tone.nFrames = ms * 8;
        tone.frequency = frequency;
        return Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("tone.wav", MakeWav(tone)));
    }
};

TEST_F(WaveDevice, EveryWavFormatOpensWithItsLengthAndPlaysItsTone)
{
    const WavTone formats[] = {
        {8000, 1, 8, false, 12000, 400.0, 0.5},     {44100, 2, 16, false, 66150, 1000.0, 0.5},
        {96000, 1, 24, false, 144000, 3000.0, 0.5}, {48000, 2, 32, false, 72000, 750.0, 0.5},
        {22050, 1, 32, true, 33075, 441.0, 0.5},    {44100, 6, 64, true, 66150, 882.0, 0.5},
        {11025, 3, 16, false, 16538, 300.0, 0.5},
    };
    for (const WavTone& tone : formats) {
        SCOPED_TRACE(std::to_string(tone.nBits) + " bits, " + std::to_string(tone.nChannels) +
                     " channels, " + std::to_string(tone.nRate) + " Hz");
        const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("f.wav", MakeWav(tone)));
        ASSERT_NE(id, 0u);
        EXPECT_EQ(Status(id, MCI_STATUS_LENGTH),
                  static_cast<DWORD>(std::uint64_t{tone.nFrames} * 1000 /
                                     static_cast<std::uint64_t>(tone.nRate)));
        ASSERT_EQ(Play(id), 0u);
        std::vector<float> captured;
        Advance(500, &captured);
        EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 500u);
        EXPECT_EQ(captured.size(), static_cast<std::size_t>(tone.nRate / 2 * tone.nChannels));
        EXPECT_NEAR(ToneFrequency(captured, tone.nChannels, tone.nRate), tone.frequency,
                    tone.frequency * 0.01);
        EXPECT_NEAR(Rms(captured), 0.5 / std::sqrt(2.0), 0.02);
        mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    }
}

TEST_F(WaveDevice, ThePositionFollowsTheClockWhilePlaying)
{
    const MCIDEVICEID id = OpenTone(2000);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    ASSERT_EQ(Play(id), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
    Advance(250);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 250u);
    Advance(1);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 251u);
}

TEST_F(WaveDevice, StopKeepsThePositionAndPlayGoesOnFromIt)
{
    const MCIDEVICEID id = OpenTone(2000);
    Play(id);
    Advance(700);
    ASSERT_EQ(Stop(id), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    Advance(300);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 700u);
    ASSERT_EQ(Play(id), 0u);
    Advance(100);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 800u);
}

TEST_F(WaveDevice, SeekStopsAtTheTargetAndPlayWithoutFromGoesOnFromThere)
{
    const MCIDEVICEID id = OpenTone(100000);
    ASSERT_EQ(Status(id, MCI_STATUS_LENGTH), 100000u);
    Play(id);
    Advance(1000);
    ASSERT_EQ(Seek(id, 50000), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 50000u);
    Advance(500);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 50000u);
    ASSERT_EQ(Play(id), 0u);
    Advance(20);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 50020u);
}

TEST_F(WaveDevice, SeekingPastTheEndIsRefusedAndChangesNothing)
{
    const MCIDEVICEID id = OpenTone(1000);
    Play(id);
    Advance(100);
    EXPECT_EQ(Seek(id, 1001), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(Play(id, MCI_FROM, 5000), MCIERR_OUTOFRANGE);
    MCI_SEEK_PARMS seek;
    EXPECT_EQ(mciSendCommand(id, MCI_SEEK, MCI_SEEK_TO_END, &seek), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 1000u);
    EXPECT_EQ(mciSendCommand(id, MCI_SEEK, MCI_SEEK_TO_START | MCI_SEEK_TO_END, &seek),
              MCIERR_FLAGS_NOT_COMPATIBLE);
    EXPECT_EQ(mciSendCommand(id, MCI_SEEK, 0, &seek), MCIERR_MISSING_PARAMETER);
}

TEST_F(WaveDevice, TheEndOfAPlayIsNotifiedOnceAsSuccessful)
{
    const MCIDEVICEID id = OpenTone(1000);
    ASSERT_EQ(Play(id), 0u);
    Advance(999);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 0u);
    Advance(1);
    ASSERT_EQ(window.Count(MM_MCINOTIFY), 1u);
    EXPECT_EQ(window.messages[0].wParam, MCI_NOTIFY_SUCCESSFUL);
    EXPECT_EQ(window.messages[0].lParam, static_cast<LPARAM>(id));
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 1000u);
    Advance(500);
    Stop(id);
    window.Pump();
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 1u);
}

// Catches a device whose play ended by itself and was then sought: its emptied stream ran
// on with nothing to write it, and the manual clock waited seconds at every step for it.
TEST_F(WaveDevice, ASeekAfterThePlayEndedLeavesTheStreamIdle)
{
    const MCIDEVICEID id = OpenTone(200);
    ASSERT_EQ(Play(id), 0u);
    Advance(400);
    ASSERT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    ASSERT_EQ(Seek(id, 0), 0u);
    const auto start = std::chrono::steady_clock::now();
    Advance(100);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kManualWait / 2);
    ASSERT_EQ(Play(id), 0u);
    Advance(50);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 50u);
}

TEST_F(WaveDevice, ANewNotifyingPlaySupersedesTheOldOneWhichIsNotReportedAgain)
{
    const MCIDEVICEID id = OpenTone(1000);
    CRecordingWindow first;
    Play(id, MCI_NOTIFY, 0, 0, first.Handle());
    Advance(100);
    Play(id, MCI_NOTIFY);
    Advance(2000);
    EXPECT_EQ(first.Count(MM_MCINOTIFY), 1u);
    EXPECT_EQ(first.Count(MM_MCINOTIFY, MCI_NOTIFY_SUPERSEDED), 1u);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
}

TEST_F(WaveDevice, StopSeekCloseAndAPlainPlayEachAbortAPendingNotificationOnce)
{
    MCIDEVICEID id = OpenTone(1000);
    Play(id);
    Stop(id);
    Play(id);
    Seek(id, 10);
    Play(id);
    Play(id, 0);
    Play(id);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    Advance(2000);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 4u);
    EXPECT_EQ(Notified(MCI_NOTIFY_ABORTED), 4u);
}

TEST_F(WaveDevice, APlayFromToEndsAtTo)
{
    const MCIDEVICEID id = OpenTone(2000);
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM | MCI_TO, 500, 800), 0u);
    Advance(299);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 0u);
    Advance(1);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 800u);
    EXPECT_EQ(Play(id, MCI_FROM | MCI_TO, 900, 800), MCIERR_OUTOFRANGE);
}

TEST_F(WaveDevice, APlayThatStartsAtTheEndIsSuccessfulAtOnce)
{
    const MCIDEVICEID id = OpenTone(500);
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, 500), 0u);
    window.Pump();
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
}

TEST_F(WaveDevice, AWaitingPlayReturnsWhenThePlayEnds)
{
    const MCIDEVICEID id = OpenTone(300);
    auto waiting = std::async(std::launch::async, [&] { return Play(id, MCI_WAIT); });
    for (int i = 0;
         i < 100000 && waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready;
         ++i)
        AdvanceManualAudioClock(10);
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 300u);
}

TEST_F(WaveDevice, OnlyMillisecondsIsATimeFormat)
{
    const MCIDEVICEID id = OpenTone(500);
    EXPECT_EQ(SetTimeFormat(id, MCI_FORMAT_TMSF), MCIERR_BAD_TIME_FORMAT);
    EXPECT_EQ(SetTimeFormat(id, MCI_FORMAT_MILLISECONDS), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_TIME_FORMAT), MCI_FORMAT_MILLISECONDS);
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 1u);
    MCI_SET_PARMS set;
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_DOOR_OPEN, &set), MCIERR_UNSUPPORTED_FUNCTION);
}

TEST_F(WaveDevice, BadFilesAreOpenErrors)
{
    WavTone tone;
    const std::string good = MakeWav(tone);
    WavTone nine;
    nine.nChannels = 9;
    struct Case
    {
        const char* name;
        std::string bytes;
        MCIERROR error;
    };
    const Case cases[] = {
        {"empty.wav", "", MCIERR_INVALID_FILE},
        {"garbage.wav", std::string(4000, '\x5A'), MCIERR_INVALID_FILE},
        {"header_cut_short.wav", good.substr(0, 30), MCIERR_INVALID_FILE},
        {"nine_channels.wav", MakeWav(nine), MCIERR_WAVE_OUTPUTSUNSUITABLE},
    };
    for (const Case& c : cases) {
        MCIERROR error = 0;
        EXPECT_EQ(Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write(c.name, c.bytes), &error), 0u)
            << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    MCIERROR error = 0;
    EXPECT_EQ(Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir / "missing.wav", &error), 0u);
    EXPECT_EQ(error, MCIERR_FILE_NOT_FOUND);
    EXPECT_EQ(Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Path(), &error), 0u);
    EXPECT_EQ(error, MCIERR_INVALID_FILE);
}

TEST_F(WaveDevice, AFileWhoseDataIsCutShortPlaysWhatItHolds)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000;
    const std::string whole = MakeWav(tone);
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO,
                                dir.Write("data_cut_short.wav", whole.substr(0, whole.size() / 2)));
    ASSERT_NE(id, 0u);
    const DWORD length = Status(id, MCI_STATUS_LENGTH);
    EXPECT_GT(length, 400u);
    EXPECT_LT(length, 600u);
    Play(id);
    Advance(2000);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), length);
}

// A file cut short while it plays: what was read is heard, then the play ends with a failure
// (a waiting play returns the read error), and one line on standard error says why. Also
// catches the end heard before the failure was recorded (a decode thread slow there), which
// was told as a success.
TEST_F(WaveDevice, AFileCutShortWhileItPlaysEndsWithAFailure)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000 * 5;
    const std::string path = dir.Write("cut.wav", MakeWav(tone));
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    ASSERT_EQ(Play(id), 0u);
    Advance(100);
    CMciDevice::StallAfterFailedReadForTest(500);
    std::filesystem::resize_file(path, 44 + 2 * 8000 * 2); // 2 s are left
    testing::internal::CaptureStderr();
    auto waiting = std::async(std::launch::async, [&] {
        MCI_PLAY_PARMS play;
        play.dwCallback = window.Handle();
        return mciSendCommand(id, MCI_PLAY, MCI_NOTIFY | MCI_WAIT, &play);
    });
    for (int i = 0;
         i < 600 && waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready;
         ++i)
        AdvanceManualAudioClock(10);
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), MCIERR_FILE_READ);
    const std::string said = testing::internal::GetCapturedStderr();
    window.Pump();
    EXPECT_EQ(Notified(MCI_NOTIFY_FAILURE), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 2000u) << "everything that was read was heard";
    EXPECT_NE(said.find(path), std::string::npos) << said;
    EXPECT_NE(said.find("ends before its length"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// Catches a removed file that plays on from the open descriptor as if nothing happened.
TEST_F(WaveDevice, AFileRemovedWhileItPlaysEndsWithAFailure)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000 * 5;
    const std::string path = dir.Write("gone.wav", MakeWav(tone));
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    ASSERT_EQ(Play(id), 0u);
    Advance(100);
    testing::internal::CaptureStderr();
    std::filesystem::remove(path);
    for (int i = 0; i < 60 && Notified(MCI_NOTIFY_FAILURE) == 0; ++i)
        Advance(100);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Notified(MCI_NOTIFY_FAILURE), 1u);
    EXPECT_LT(Status(id, MCI_STATUS_POSITION), 5000u);
    EXPECT_NE(said.find("removed"), std::string::npos) << said;
}

// A read that blocks for 2 s (a drive spinning up) holds up no status query and no stop, and
// playing goes on once the read returns.
TEST_F(WaveDevice, AReadThatBlocksHoldsUpNoQueryAndPlayingRecovers)
{
    const MCIDEVICEID id = OpenTone(3000);
    CMciDevice::StallNextReadForTest(2000);
    ASSERT_EQ(Play(id), 0u);
    ASSERT_TRUE(WaitUntil([] { return CMciDevice::ReadStalledForTest(); }));
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 0u);
        EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    }
    ASSERT_EQ(Stop(id), 0u);
    ASSERT_EQ(Play(id), 0u);
    EXPECT_TRUE(CMciDevice::ReadStalledForTest()) << "none of it waited for the read";
    Advance(500);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 500u);
    Advance(2500);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
}

// Catches a close that waits for a read that never returns (a hung network file froze the
// window), and a read that, returning after the close, still sounds or notifies.
TEST_F(WaveDevice, CloseLeavesAHangingReadBehindAndDropsWhatItReadLate)
{
    const MCIDEVICEID id = OpenTone(3000);
    CMciDevice::BlockReadsForTest(true);
    ASSERT_EQ(Play(id), 0u);
    ASSERT_TRUE(WaitUntil([] { return CMciDevice::ReadStalledForTest(); }));
    auto closing =
        std::async(std::launch::async, [id] { return mciSendCommand(id, MCI_CLOSE, 0, nullptr); });
    const bool bReturned = closing.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(CMciDevice::ReadStalledForTest()) << "the read was not still hanging";
    CMciDevice::BlockReadsForTest(false);
    ASSERT_TRUE(bReturned) << "the close waited for the read";
    EXPECT_EQ(closing.get(), 0u);
    ASSERT_TRUE(WaitUntil([] { return !CMciDevice::ReadStalledForTest(); }));
    std::vector<float> heard;
    Advance(1000, &heard);
    EXPECT_EQ(Rms(heard), 0.0);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL) + Notified(MCI_NOTIFY_FAILURE), 0u);
}

} // namespace
