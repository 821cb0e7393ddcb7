#include "tests/media/MciFixture.h"
#include "tests/support/TestMedia.h"

#include <atomic>
#include <cstring>
#include <set>
#include <thread>

namespace {

TEST(MciPacking, TmsfAndMsfPutEachFieldInItsByte)
{
    constexpr DWORD tmsf = MCI_MAKE_TMSF(3, 4, 5, 74);
    static_assert(tmsf == 0x4A050403);
    EXPECT_EQ(MCI_TMSF_TRACK(tmsf), 3u);
    EXPECT_EQ(MCI_TMSF_MINUTE(tmsf), 4u);
    EXPECT_EQ(MCI_TMSF_SECOND(tmsf), 5u);
    EXPECT_EQ(MCI_TMSF_FRAME(tmsf), 74u);
    constexpr DWORD msf = MCI_MAKE_MSF(59, 58, 57);
    static_assert(msf == 0x393A3B);
    EXPECT_EQ(MCI_MSF_MINUTE(msf), 59u);
    EXPECT_EQ(MCI_MSF_SECOND(msf), 58u);
    EXPECT_EQ(MCI_MSF_FRAME(msf), 57u);
    EXPECT_EQ(MCI_MAKE_TMSF(0x1FF, 0, 0, 0), 0xFFu) << "a field never spills into the next";
}

TEST(MciErrors, TheTextIsCutToTheBufferAndAlwaysTerminated)
{
    char full[256];
    ASSERT_EQ(mciGetErrorString(MCIERR_FILE_NOT_FOUND, full, sizeof full), 1);
    EXPECT_STREQ(full, "The file cannot be found.");
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(mciGetErrorString(MCIERR_FILE_NOT_FOUND, small, sizeof small), 1);
    EXPECT_STREQ(small, "The fil");
    char one[1] = {'x'};
    mciGetErrorString(MCIERR_FILE_NOT_FOUND, one, 1);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(mciGetErrorString(MCIERR_FILE_NOT_FOUND, nullptr, 0), 1);
}

TEST(MciErrors, EveryErrorCodeHasItsOwnTextAndUnknownCodesSaySo)
{
    const MCIERROR codes[] = {
        MCIERR_INVALID_DEVICE_ID,
        MCIERR_UNRECOGNIZED_COMMAND,
        MCIERR_HARDWARE,
        MCIERR_INVALID_DEVICE_NAME,
        MCIERR_OUT_OF_MEMORY,
        MCIERR_MISSING_PARAMETER,
        MCIERR_UNSUPPORTED_FUNCTION,
        MCIERR_FILE_NOT_FOUND,
        MCIERR_DEVICE_NOT_READY,
        MCIERR_INTERNAL,
        MCIERR_OUTOFRANGE,
        MCIERR_FLAGS_NOT_COMPATIBLE,
        MCIERR_DEVICE_TYPE_REQUIRED,
        MCIERR_MUST_USE_SHAREABLE,
        MCIERR_BAD_TIME_FORMAT,
        MCIERR_INVALID_FILE,
        MCIERR_NULL_PARAMETER_BLOCK,
        MCIERR_NO_ELEMENT_ALLOWED,
        MCIERR_FILENAME_REQUIRED,
        MCIERR_DEVICE_NOT_INSTALLED,
        MCIERR_WAVE_OUTPUTSUNSUITABLE,
        MCIERR_SEQ_DIV_INCOMPATIBLE,
        MCIERR_SEQ_PORT_INUSE,
        MCIERR_FILE_READ,
        MCIERR_SEQ_NO_SOUNDFONT,
        MCIERR_SEQ_SOUNDFONT_INVALID,
        MCIERR_CD_NO_DRIVE,
        MCIERR_CD_NO_DISC,
        MCIERR_CD_NO_AUDIO_TRACKS,
        MCIERR_CD_IMAGE_UNREADABLE,
        MCIERR_CD_READ,
    };
    std::set<std::string> texts;
    for (const MCIERROR code : codes) {
        char text[256];
        EXPECT_EQ(mciGetErrorString(code, text, sizeof text), 1) << code;
        EXPECT_GT(std::strlen(text), 10u) << code;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    char text[256];
    EXPECT_EQ(mciGetErrorString(12345, text, sizeof text), 0);
    EXPECT_NE(std::string(text).find("12345"), std::string::npos);
}

class MciCommands : public MciTest
{};

TEST_F(MciCommands, CommandsToADeviceThatIsNotOpenFail)
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_MODE;
    EXPECT_EQ(mciSendCommand(42, MCI_STATUS, MCI_STATUS_ITEM, &status), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommand(42, MCI_PLAY, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommand(42, MCI_CLOSE, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommand(0, MCI_STOP, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    MCI_OPEN_PARMS open;
    EXPECT_EQ(mciSendCommand(5, MCI_OPEN, MCI_OPEN_TYPE, &open), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(MciCommands, AnOpenNeedsATypeThatExistsAndAFileForFileDevices)
{
    MCIERROR error = 0;
    EXPECT_EQ(Open(777, "", &error), 0u);
    EXPECT_EQ(error, MCIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(Open(MCI_DEVTYPE_WAVEFORM_AUDIO, "", &error), 0u);
    EXPECT_EQ(error, MCIERR_FILENAME_REQUIRED);
    EXPECT_EQ(Open(MCI_DEVTYPE_SEQUENCER, "", &error), 0u);
    EXPECT_EQ(error, MCIERR_FILENAME_REQUIRED);
    MCI_OPEN_PARMS open;
    EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_ELEMENT, &open), MCIERR_DEVICE_TYPE_REQUIRED);
    EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    EXPECT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
        MCIERR_MISSING_PARAMETER);
}

TEST_F(MciCommands, ADeviceTypeMayBeNamed)
{
    const std::string path = dir.Write("a.wav", MakeWav(WavTone{}));
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = "WaveAudio";
    open.lpstrElementName = path.c_str();
    ASSERT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open), 0u);
    EXPECT_NE(open.wDeviceID, 0u);
    open.lpstrDeviceType = "videodisc";
    EXPECT_EQ(mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, &open),
              MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(MciCommands, AClosedDeviceAnswersNoMoreAndItsIdIsNotReusedAtOnce)
{
    const std::string path = dir.Write("a.wav", MakeWav(WavTone{}));
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr), 0u);
    EXPECT_EQ(mciSendCommand(id, MCI_PLAY, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    const MCIDEVICEID next = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    EXPECT_NE(next, id);
    EXPECT_NE(next, 0u);
}

TEST_F(MciCommands, MalformedCommandsAreErrorsNotCrashes)
{
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("a.wav", MakeWav({})));
    EXPECT_EQ(mciSendCommand(id, 0x0999, 0, nullptr), MCIERR_UNRECOGNIZED_COMMAND);
    EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, nullptr),
              MCIERR_NULL_PARAMETER_BLOCK);
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_MODE;
    status.dwReturn = 77;
    EXPECT_EQ(mciSendCommand(id, MCI_STATUS, 0, &status), MCIERR_MISSING_PARAMETER);
    status.dwItem = 999;
    EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status),
              MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(status.dwReturn, 77u) << "a failed status leaves the answer alone";
    EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_FROM, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(mciSendCommand(id, MCI_SEEK, MCI_TO, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, nullptr),
              MCIERR_NULL_PARAMETER_BLOCK);
    EXPECT_EQ(mciSendCommand(id, MCI_STOP, MCI_NOTIFY, nullptr), MCIERR_NULL_PARAMETER_BLOCK);
    MCI_SET_PARMS set;
    EXPECT_EQ(mciSendCommand(id, MCI_SET, 0, &set), MCIERR_MISSING_PARAMETER);
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_AUDIO, &set), MCIERR_UNSUPPORTED_FUNCTION);
    EXPECT_EQ(mciSendCommand(id, MCI_STOP, 0, nullptr), 0u);
}

TEST_F(MciCommands, OtherCommandsWithNotifyAreReportedSuccessfulWhenDone)
{
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("a.wav", MakeWav({})));
    MCI_SEEK_PARMS seek;
    seek.dwCallback = window.Handle();
    seek.dwTo = 100;
    ASSERT_EQ(mciSendCommand(id, MCI_SEEK, MCI_TO | MCI_NOTIFY, &seek), 0u);
    MCI_GENERIC_PARMS close;
    close.dwCallback = window.Handle();
    ASSERT_EQ(mciSendCommand(id, MCI_CLOSE, MCI_NOTIFY, &close), 0u);
    window.Pump();
    ASSERT_EQ(window.Count(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL), 2u);
    EXPECT_EQ(window.messages[1].lParam, static_cast<LPARAM>(id));
}

TEST_F(MciCommands, CloseAllClosesEveryDevice)
{
    const std::string path = dir.Write("a.wav", MakeWav(WavTone{}));
    const MCIDEVICEID a = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    const MCIDEVICEID b = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    Play(a);
    EXPECT_EQ(mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, nullptr), 0u);
    EXPECT_EQ(mciSendCommand(a, MCI_STOP, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    EXPECT_EQ(mciSendCommand(b, MCI_STOP, 0, nullptr), MCIERR_INVALID_DEVICE_ID);
    window.Pump();
    EXPECT_EQ(Notified(MCI_NOTIFY_ABORTED), 1u);
}

TEST_F(MciCommands, TwoDevicesPlayAtOnceEachWithItsOwnPosition)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 16000;
    const std::string path = dir.Write("a.wav", MakeWav(tone));
    const MCIDEVICEID a = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    const MCIDEVICEID b = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    Play(a);
    Advance(300);
    Play(b);
    Advance(200);
    EXPECT_EQ(Status(a, MCI_STATUS_POSITION), 500u);
    EXPECT_EQ(Status(b, MCI_STATUS_POSITION), 200u);
}

} // namespace

namespace {

TEST_F(MciCommands, StatusQueriesFromAnotherThreadRunBesideCommandsAndPlaying)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 80000;
    const MCIDEVICEID id = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("a.wav", MakeWav(tone)));
    std::atomic<bool> bDone{false};
    std::atomic<int> failures{0};
    std::thread poller([&] {
        while (!bDone) {
            MCI_STATUS_PARMS status;
            status.dwItem = MCI_STATUS_POSITION;
            if (mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status) != 0 ||
                status.dwReturn > 10000)
                ++failures;
        }
    });
    for (int i = 0; i < 200; ++i) {
        Play(id, i % 2 == 0 ? MCI_NOTIFY : 0);
        AdvanceManualAudioClock(7);
        if (i % 3 == 0)
            Stop(id);
        if (i % 5 == 0)
            Seek(id, static_cast<DWORD>(i * 10));
    }
    bDone = true;
    poller.join();
    EXPECT_EQ(failures.load(), 0);
    window.Pump();
    EXPECT_EQ(window.Count(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL), 0u);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 100u) << "every notifying play is reported once";
}

} // namespace
