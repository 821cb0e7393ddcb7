#include "plugins/MpegDecoder.h"
#include "plugins/PcmOutput.h"

#include "audio/SoundOutput.h"
#include "tests/plugins/CallbackLog.h"
#include "tests/support/ManualClock.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr std::size_t kRate = 44100;

class MpegDecoderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_clock.Ok());
        m_decoder.SetOutput(&m_output);
        m_decoder.SetCallback(&CCallbackLog::Record, CCallbackLog::kUser);
    }

    std::string WriteTone(const std::string& name, const Mp3Tone& tone)
    {
        const std::string path = m_dir / name;
        EXPECT_TRUE(WriteMp3(path, tone));
        return path;
    }

    // Opens a stereo 44.1 kHz tone of the given length.
    void OpenTone(double seconds)
    {
        Mp3Tone tone;
        tone.dSeconds = seconds;
        ASSERT_EQ(m_decoder.Open(WriteTone("tone.mp3", tone).c_str(), &m_info), 1);
    }

    // Waits until the decoder has told that many whole seconds heard. It tells the time when a
    // write gives it control back, which a full stream does only as it plays: while the news
    // does not come, the clock moves on 10 ms at a time, as a device would go on playing.
    bool WaitForElapsed(int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const auto told = [&] { return m_log.LastElapsed() == seconds; };
        while (!WaitUntil(told, std::chrono::milliseconds(100))) {
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            PlayFrames(kRate / 100, {}, std::chrono::milliseconds(20));
        }
        return true;
    }

    // Plays until the end is reported (or the file has long run out).
    void PlayToTheEnd()
    {
        PlayFrames(
            kRate * 600, [&] { return m_log.Ends() > 0 || !m_log.Failures().empty(); });
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CCallbackLog m_log;
    CPcmOutput m_output;
    CMpegDecoder m_decoder;
    PluginMediaInfo m_info{};
};

std::int32_t LastWord(const PluginMediaInfo& info)
{
    std::int32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&info) + 268, sizeof(word));
    return word;
}

} // namespace

TEST_F(MpegDecoderTest, OpenWritesTheLengthInWholeSecondsIntoTheLastWord)
{
    Mp3Tone tone;
    tone.dSeconds = 10.0;
    ASSERT_EQ(m_decoder.Open(WriteTone("cbr.mp3", tone).c_str(), &m_info), 1);
    EXPECT_EQ(LastWord(m_info), 10);
    EXPECT_EQ(m_info.nLayer, 3);
    EXPECT_EQ(m_info.nSampleRate, 44100);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_STOPPED);
}

TEST_F(MpegDecoderTest, VariableRateWithoutInfoFrameHasItsTrueLength)
{
    Mp3Tone tone;
    tone.dSeconds = 12.0;
    tone.bitrate = Mp3Bitrate::Variable;
    tone.bInfoTag = false;
    ASSERT_EQ(m_decoder.Open(WriteTone("vbr.mp3", tone).c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nLengthSeconds, 12);
}

// Catches a corrupt Info frame count being trusted (a length of 649 days, or the length of
// a file since cut short), in a short file (scanned) and in a long one (estimated from its
// size instead of scanned when opened).
TEST_F(MpegDecoderTest, ACorruptInfoCountGivesAPlausibleLength)
{
    Mp3Tone tone;
    tone.dSeconds = 10.0;
    std::string head = EncodeMp3(tone);
    ASSERT_EQ(m_decoder.Open(m_dir.Write("cut.mp3", head.substr(0, head.size() * 45 / 100)).c_str(),
                             &m_info),
              1);
    EXPECT_EQ(m_info.nLengthSeconds, 4);
    const std::size_t tag = head.find("Info");
    ASSERT_NE(tag, std::string::npos);
    head.replace(tag + 8, 4, "\x7F\x7F\x7F\x7F");
    ASSERT_EQ(m_decoder.Open(m_dir.Write("short.mp3", head).c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nLengthSeconds, 10);

    tone.bInfoTag = false;
    const std::string stretch = EncodeMp3(tone);
    std::string longer = head;
    while (longer.size() < 9u << 20)
        longer += stretch;
    const int seconds = 10 + static_cast<int>((longer.size() - head.size()) / stretch.size()) * 10;
    ASSERT_EQ(m_decoder.Open(m_dir.Write("long.mp3", longer).c_str(), &m_info), 1);
    EXPECT_NEAR(m_info.nLengthSeconds, seconds, seconds / 50);
}

TEST_F(MpegDecoderTest, FreeFormatHasItsTrueLength)
{
    Mp3Tone tone;
    tone.dSeconds = 7.0;
    tone.bitrate = Mp3Bitrate::FreeFormat;
    tone.nBitrateKbps = 200;
    tone.bInfoTag = false;
    ASSERT_EQ(m_decoder.Open(WriteTone("free.mp3", tone).c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nLengthSeconds, 7);
    EXPECT_EQ(m_info.nBitrateKbps, 0);
}

TEST_F(MpegDecoderTest, LayersOneAndTwoOpenWithTheirLength)
{
    const std::string layer1 = m_dir / "silence.mp1";
    const std::string layer2 = m_dir / "silence.mp2";
    ASSERT_TRUE(WriteSilentMpeg(layer1, 1, 10.5, 192));
    ASSERT_TRUE(WriteSilentMpeg(layer2, 2, 10.5, 192));
    ASSERT_EQ(m_decoder.Open(layer1.c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nLayer, 1);
    EXPECT_EQ(m_info.nLengthSeconds, 10);
    ASSERT_EQ(m_decoder.Open(layer2.c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nLayer, 2);
    EXPECT_EQ(m_info.nLengthSeconds, 10);
}

TEST_F(MpegDecoderTest, LayerTwoPlaysToItsEnd)
{
    const std::string path = m_dir / "short.mp2";
    ASSERT_TRUE(WriteSilentMpeg(path, 2, 1.5, 128));
    ASSERT_EQ(m_decoder.Open(path.c_str(), &m_info), 1);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayToTheEnd();
    EXPECT_EQ(m_log.Ends(), 1);
}

// Files that are not MPEG audio, or hold no complete frame, named after their defect.
class MpegDecoderRefusesTest : public MpegDecoderTest,
                               public ::testing::WithParamInterface<const char*>
{};

TEST_P(MpegDecoderRefusesTest, OpenFailsAndLeavesNothingToPlay)
{
    const std::string defect = GetParam();
    std::string path = m_dir / (defect + ".mp3");
    Mp3Tone tone;
    tone.dSeconds = 1.0;
    const std::string good = EncodeMp3(tone);
    if (defect == "TextNotMpeg") {
        m_dir.Write(defect + ".mp3", "#EXTM3U\n/music/a.mp3\n");
    } else if (defect == "RandomBytes") {
        std::string bytes(64 * 1024, '\0');
        unsigned state = 12345;
        for (char& c : bytes) {
            state = state * 1103515245u + 12345u;
            c = static_cast<char>(state >> 24);
        }
        m_dir.Write(defect + ".mp3", bytes);
    } else if (defect == "Empty") {
        m_dir.Write(defect + ".mp3", "");
    } else if (defect == "TruncatedInsideFirstFrame") {
        m_dir.Write(defect + ".mp3", good.substr(0, 300));
    } else if (defect == "Id3TagWithoutAudio") {
        std::string tag("ID3\x03\x00\x00\x00\x00\x00\x20", 10);
        tag.append(32, '\0');
        m_dir.Write(defect + ".mp3", tag);
    } else if (defect == "Missing") {
        path = m_dir / "nowhere.mp3";
    } else if (defect == "Directory") {
        path = m_dir.Path();
    } else if (defect == "FifoWithoutWriter") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    EXPECT_EQ(m_decoder.Open(path.c_str(), &m_info), 0);
    EXPECT_EQ(m_decoder.Play(), 0);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_STOPPED);
}

INSTANTIATE_TEST_SUITE_P(Defects, MpegDecoderRefusesTest,
                         ::testing::Values("TextNotMpeg", "RandomBytes", "Empty",
                                           "TruncatedInsideFirstFrame", "Id3TagWithoutAudio",
                                           "Missing", "Directory", "FifoWithoutWriter"),
                         [](const auto& param) { return std::string(param.param); });

TEST_F(MpegDecoderTest, NullArgumentsFailToOpen)
{
    EXPECT_EQ(m_decoder.Open(nullptr, &m_info), 0);
    Mp3Tone tone;
    EXPECT_EQ(m_decoder.Open(WriteTone("a.mp3", tone).c_str(), nullptr), 0);
}

TEST_F(MpegDecoderTest, AFailedOpenClosesTheFileOpenBefore)
{
    OpenTone(2.0);
    const std::string bad = m_dir.Write("bad.mp3", "not audio");
    EXPECT_EQ(m_decoder.Open(bad.c_str(), &m_info), 0);
    EXPECT_EQ(m_decoder.Play(), 0);
}

// Also catches a kilobyte of damage ending the play there as if the file were complete.
TEST_F(MpegDecoderTest, DamagedFramesInTheMiddleArePlayedPast)
{
    Mp3Tone tone;
    tone.dSeconds = 3.0;
    std::string bytes = EncodeMp3(tone);
    ASSERT_GT(bytes.size(), 30000u);
    for (std::size_t i = 20000; i < 21000; ++i)
        bytes[i] = static_cast<char>(i * 7);
    const std::string path = m_dir.Write("DamagedMiddle.mp3", bytes);
    ASSERT_EQ(m_decoder.Open(path.c_str(), &m_info), 1);
    EXPECT_GE(m_info.nLengthSeconds, 2);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayToTheEnd();
    EXPECT_EQ(m_log.Ends(), 1);
    EXPECT_GE(m_log.LastElapsed(), 2);
}

// A file that cannot be read on ends, once what was decoded has been heard, with a failure
// instead of an end, and one line on standard error names the file and the reason.
TEST_F(MpegDecoderTest, AFileThatCannotBeReadOnEndsWithAFailure)
{
    Mp3Tone tone;
    tone.dSeconds = 10.0;
    const std::string whole = EncodeMp3(tone);
    std::string junk = whole;
    for (std::size_t i = whole.size() / 3; i < whole.size() / 3 + 70000; ++i)
        junk[i] = static_cast<char>(i * 7);
    struct Case
    {
        const char* name;
        std::function<void(const std::string&)> spoil; // done after the first second
        const char* reason;
        int nFailure; // the PLUGIN_FAILURE_ reason reported
    };
    const Case cases[] = {
        {"cut.mp3",
         [&](const std::string& path) { std::filesystem::resize_file(path, whole.size() / 2); },
         "cut short", PLUGIN_FAILURE_READ},
        {"removed.mp3", [](const std::string& path) { std::filesystem::remove(path); }, "removed",
         PLUGIN_FAILURE_READ},
        {"junk.mp3", [](const std::string&) {}, "damaged", PLUGIN_FAILURE_DECODE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCallbackLog log;
        const std::string path =
            m_dir.Write(c.name, std::string(c.name) == "junk.mp3" ? junk : whole);
        ASSERT_EQ(m_decoder.Open(path.c_str(), &m_info), 1);
        ASSERT_EQ(m_decoder.Play(), 1);
        PlayFrames(kRate);
        testing::internal::CaptureStderr();
        c.spoil(path);
        PlayFrames(kRate * 600, [&] { return log.Ends() > 0 || !log.Failures().empty(); });
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(log.Failures(), std::vector<int>{c.nFailure});
        EXPECT_EQ(log.Ends(), 0);
        EXPECT_NE(said.find(path), std::string::npos) << said;
        EXPECT_NE(said.find(c.reason), std::string::npos) << said;
        m_decoder.Close();
    }
}

TEST_F(MpegDecoderTest, PlayTurnsThePlayingStateAtOnceAndReportsZero)
{
    OpenTone(3.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PLAYING);
    EXPECT_TRUE(WaitForElapsed(0));
    EXPECT_TRUE(m_log.AllUsersMatched());
}

TEST_F(MpegDecoderTest, ElapsedWholeSecondsFollowWhatHasBeenHeard)
{
    OpenTone(5.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_GE(PlayFrames(3 * kRate), 3 * kRate);
    EXPECT_TRUE(WaitForElapsed(3));
    const std::vector<int> values = m_log.ElapsedValues();
    for (int second : {0, 1, 2, 3})
        EXPECT_NE(std::find(values.begin(), values.end(), second), values.end()) << second;
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

TEST_F(MpegDecoderTest, TheDecodedToneReachesTheSoundOutput)
{
    OpenTone(2.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    std::vector<float> captured;
    PlayFrames(kRate, {}, std::chrono::seconds(20), &captured);
    ASSERT_GE(captured.size(), kRate);
    double sum = 0;
    for (std::size_t i = captured.size() / 2; i < captured.size(); ++i)
        sum += static_cast<double>(captured[i]) * captured[i];
    const double rms = std::sqrt(sum / static_cast<double>(captured.size() - captured.size() / 2));
    EXPECT_NEAR(rms, 0.4 / std::sqrt(2.0), 0.05);
}

TEST_F(MpegDecoderTest, TheNaturalEndIsReportedExactlyOnce)
{
    OpenTone(2.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayToTheEnd();
    EXPECT_TRUE(WaitUntil([&] { return m_decoder.GetState() == PLUGIN_STATE_STOPPED; }));
    PlayFrames(kRate / 2, {}, std::chrono::milliseconds(200));
    EXPECT_EQ(m_log.Ends(), 1);
    EXPECT_EQ(m_log.LastElapsed(), 2);
}

TEST_F(MpegDecoderTest, PlayAfterTheEndStartsFromTheBeginning)
{
    OpenTone(1.5);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayToTheEnd();
    ASSERT_TRUE(WaitUntil([&] { return m_decoder.GetState() == PLUGIN_STATE_STOPPED; }));
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_TRUE(WaitForElapsed(0));
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(1));
}

TEST_F(MpegDecoderTest, PlayIsRefusedWithoutAFileAndWhilePlaying)
{
    EXPECT_EQ(m_decoder.Play(), 0);
    OpenTone(2.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_EQ(m_decoder.Play(), 0);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PLAYING);
}

TEST_F(MpegDecoderTest, PauseHoldsThePositionUntilResume)
{
    OpenTone(5.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayFrames(2 * kRate);
    ASSERT_TRUE(WaitForElapsed(2));
    m_decoder.Pause();
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PAUSED);
    EXPECT_EQ(PlayFrames(kRate, {}, std::chrono::milliseconds(300)), 0u);
    EXPECT_EQ(m_log.LastElapsed(), 2);
    ASSERT_EQ(m_decoder.Resume(), 1);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PLAYING);
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(3));
}

TEST_F(MpegDecoderTest, ResumeOutsidePauseIsRefused)
{
    OpenTone(2.0);
    EXPECT_EQ(m_decoder.Resume(), 0);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_EQ(m_decoder.Resume(), 0);
}

TEST_F(MpegDecoderTest, SeekWhilePlayingGoesOnFromTheNewSecond)
{
    OpenTone(10.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayFrames(kRate);
    m_decoder.Seek(6);
    EXPECT_TRUE(WaitForElapsed(6));
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PLAYING);
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(7));
}

TEST_F(MpegDecoderTest, SeekWhilePausedStaysPaused)
{
    OpenTone(10.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayFrames(kRate);
    m_decoder.Pause();
    m_decoder.Seek(4);
    EXPECT_TRUE(WaitForElapsed(4));
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_PAUSED);
    ASSERT_EQ(m_decoder.Resume(), 1);
    PlayFrames(kRate);
    EXPECT_TRUE(WaitForElapsed(5));
}

TEST_F(MpegDecoderTest, SeekPastTheEndEndsThePlay)
{
    OpenTone(3.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    m_decoder.Seek(100);
    PlayToTheEnd();
    EXPECT_EQ(m_log.Ends(), 1);
    EXPECT_EQ(m_log.LastElapsed(), 3);
}

TEST_F(MpegDecoderTest, SeekWhileStoppedDoesNothing)
{
    OpenTone(3.0);
    m_decoder.Seek(2);
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_STOPPED);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_TRUE(WaitForElapsed(0));
}

TEST_F(MpegDecoderTest, CloseWhilePlayingEndsWithoutTheEndReport)
{
    OpenTone(5.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayFrames(kRate);
    m_decoder.Close();
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_STOPPED);
    EXPECT_EQ(m_log.Ends(), 0);
    EXPECT_EQ(m_decoder.Play(), 0);
}

TEST_F(MpegDecoderTest, CloseWhilePausedEnds)
{
    OpenTone(5.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    m_decoder.Pause();
    m_decoder.Close();
    EXPECT_EQ(m_decoder.GetState(), PLUGIN_STATE_STOPPED);
    EXPECT_EQ(m_log.Ends(), 0);
}

TEST_F(MpegDecoderTest, CloseReleasesTheSoundOutputAtOnce)
{
    OpenTone(5.0);
    ASSERT_EQ(m_decoder.Play(), 1);
    EXPECT_FALSE(SelectAudioOutput(AudioOutputKind::ManualClock));
    m_decoder.Close();
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock));
}

// Catches a close that waits for a read that never returns (a hung network file froze the
// window), and a read returning after the close that still reports or plays.
TEST_F(MpegDecoderTest, CloseLeavesAHangingReadBehindAndDropsWhatItReadLate)
{
    OpenTone(5.0);
    CMpegDecoder::BlockReadsForTest(true);
    ASSERT_EQ(m_decoder.Play(), 1);
    ASSERT_TRUE(WaitUntil([] { return CMpegDecoder::ReadBlockedForTest(); }));
    // A close that waited for the read would never return: after a generous limit the read is
    // let go, so that the test fails instead of hanging.
    std::atomic<bool> bClosed{false};
    std::thread watchdog([&] {
        WaitUntil([&] { return bClosed.load(); }, std::chrono::seconds(30));
        CMpegDecoder::BlockReadsForTest(false);
    });
    m_decoder.Close();
    const bool bReturned = CMpegDecoder::ReadBlockedForTest();
    const std::size_t reports = m_log.ElapsedValues().size();
    bClosed.store(true);
    watchdog.join();
    ASSERT_TRUE(bReturned) << "the close waited for the read";
    ASSERT_TRUE(WaitUntil([] { return !CMpegDecoder::ReadBlockedForTest(); }));
    std::vector<float> heard;
    PlayFrames(kRate / 2, {}, std::chrono::milliseconds(500), &heard);
    EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(m_log.ElapsedValues().size(), reports);
    EXPECT_EQ(m_log.Ends(), 0);
    EXPECT_TRUE(m_log.Failures().empty());
}

TEST_F(MpegDecoderTest, MonoAtHalfRatePlaysAtItsOwnPace)
{
    Mp3Tone tone;
    tone.dSeconds = 4.0;
    tone.nChannels = 1;
    tone.nSampleRate = 22050;
    tone.nBitrateKbps = 64;
    ASSERT_EQ(m_decoder.Open(WriteTone("mono.mp3", tone).c_str(), &m_info), 1);
    EXPECT_EQ(m_info.nChannels, 1);
    EXPECT_EQ(m_info.nLengthSeconds, 4);
    ASSERT_EQ(m_decoder.Play(), 1);
    PlayFrames(2 * 22050);
    EXPECT_TRUE(WaitForElapsed(2));
}

TEST(MpegDecoderRealTime, AFileEndsOnAnOutputThatKeepsRealTime)
{
    // The silent output plays in real time and has a latency of its own, as a device has.
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
    CTempDir dir;
    CCallbackLog log;
    CPcmOutput output;
    CMpegDecoder decoder;
    decoder.SetOutput(&output);
    decoder.SetCallback(&CCallbackLog::Record, CCallbackLog::kUser);
    Mp3Tone tone;
    tone.dSeconds = 0.5;
    const std::string path = dir / "short.mp3";
    ASSERT_TRUE(WriteMp3(path, tone));
    PluginMediaInfo info{};
    ASSERT_EQ(decoder.Open(path.c_str(), &info), 1);
    ASSERT_EQ(decoder.Play(), 1);
    EXPECT_TRUE(WaitUntil([&] { return log.Ends() == 1; }));
    EXPECT_EQ(decoder.GetState(), PLUGIN_STATE_STOPPED);
}

// On SDL's disk driver, an MP3 at any rate is heard to its last sample: what is heard (without
// silence) is exactly what libmpg123 decodes from the file.
TEST(MpegDecoderOnDisk, EveryDecodedSampleIsHeard)
{
    for (const int rate : {44100, 22050}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        CTempDir dir;
        const std::string out = dir / "played.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        const bool bSelected = SelectAudioOutput(AudioOutputKind::Device);
        const AudioOutputKind kind = OpenAudioOutput();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(bSelected);
        if (kind != AudioOutputKind::Device)
            GTEST_SKIP() << "SDL's disk audio driver is not available";
        Mp3Tone tone;
        tone.dSeconds = 1.5;
        tone.nSampleRate = rate;
        tone.nBitrateKbps = rate == 44100 ? 128 : 64;
        const std::string path = dir / "tone.mp3";
        ASSERT_TRUE(WriteMp3(path, tone));

        // What the library decodes, the reference.
        std::vector<std::int16_t> decoded;
        mpg123_handle* handle = mpg123_new(nullptr, nullptr);
        ASSERT_EQ(mpg123_open_fixed(handle, path.c_str(), 2, MPG123_ENC_SIGNED_16), MPG123_OK);
        mpg123_seek(handle, 0, SEEK_SET); // as the decoder does before it plays
        std::vector<std::int16_t> block(4096);
        std::size_t done = 0;
        while (mpg123_read(handle, block.data(), block.size() * 2, &done) == MPG123_OK ||
               done > 0) {
            decoded.insert(decoded.end(), block.begin(),
                           block.begin() + static_cast<std::ptrdiff_t>(done / 2));
            if (done == 0)
                break;
        }
        mpg123_delete(handle);

        CCallbackLog log;
        CPcmOutput output;
        CMpegDecoder decoder;
        decoder.SetOutput(&output);
        decoder.SetCallback(&CCallbackLog::Record, CCallbackLog::kUser);
        PluginMediaInfo info{};
        ASSERT_EQ(decoder.Open(path.c_str(), &info), 1);
        ASSERT_EQ(decoder.Play(), 1);
        ASSERT_TRUE(WaitUntil([&] { return log.Ends() == 1; }, std::chrono::seconds(30)));
        decoder.Close();
        EXPECT_EQ(AudioOutputFormat().nRate, rate) << "the device runs at the file's rate";
        ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock));

        const std::string bytes = CTempDir::Read(out);
        std::vector<std::int16_t> heard;
        for (std::size_t at = 0; at + 2 <= bytes.size(); at += 2) {
            std::int16_t s = 0;
            std::memcpy(&s, bytes.data() + at, 2);
            if (s != 0)
                heard.push_back(s);
        }
        std::vector<std::int16_t> expected;
        for (const std::int16_t s : decoded)
            if (s != 0)
                expected.push_back(s);
        ASSERT_EQ(heard.size(), expected.size());
        for (std::size_t i = 0; i < heard.size(); ++i)
            ASSERT_EQ(heard[i], expected[i]) << "sample " << i << " of " << heard.size();
    }
}
