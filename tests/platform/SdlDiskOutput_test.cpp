#include "tests/platform/MciFixture.h"
#include "tests/support/TestMedia.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// Plays a WAV file through SDL's "disk" driver, which writes what it plays to a file of raw
// samples in the device's format (32-bit float stereo at 48 kHz, as the output asks for).
TEST(SdlDiskOutput, AWavFilePlayedThroughTheDeviceIsWrittenWithItsLengthAndTone)
{
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

    WavTone tone;
    tone.nRate = 22050;
    tone.nChannels = 1;
    tone.nFrames = 22050 * 6 / 10;
    tone.frequency = 1000.0;
    tone.amplitude = 0.5;
    MCI_OPEN_PARMS open;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    open.lpstrElementName = wav.c_str();
    ASSERT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
        0u);
    MCI_PLAY_PARMS play;
    ASSERT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)) << "closes the disk file";

    const std::string bytes = CTempDir::Read(out);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    std::size_t first = samples.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > 0.02f) {
            first = std::min(first, i);
            last = i;
        }
    }
    ASSERT_LT(first, last) << "the file holds sound";
    const double seconds = static_cast<double>(last - first) / 2.0 / 48000.0;
    EXPECT_NEAR(seconds, 0.6, 0.01);
    const std::vector<float> heard(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                   samples.begin() + static_cast<std::ptrdiff_t>(last));
    EXPECT_NEAR(ToneFrequency(heard, 2, 48000), 1000.0, 10.0);
    EXPECT_NEAR(Rms(heard), 0.5 / std::sqrt(2.0), 0.05);
}

// Plays a WAV to its end on a device output and returns how long the play took.
std::chrono::milliseconds PlayToTheEnd(const std::string& wav)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    open.lpstrElementName = wav.c_str();
    EXPECT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
        0u);
    MCI_PLAY_PARMS play;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    const auto took = std::chrono::steady_clock::now() - start;
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    return std::chrono::duration_cast<std::chrono::milliseconds>(took);
}

// The end of a play waits until its last frames have been heard, also on the first play,
// when the output opens only as the play starts.
TEST(SdlDiskOutput, TheFirstPlayOnAClosedOutputEndsNoSoonerThanLaterOnes)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    CloseAudioOutput();
    EXPECT_EQ(AudioOutputLatencyMs(), 0u) << "a closed output has no latency";
    CTempDir dir;
    WavTone tone;
    tone.nFrames = 44100 * 3 / 10;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));
    const auto first = PlayToTheEnd(wav);
    const auto second = PlayToTheEnd(wav);
    EXPECT_GT(AudioOutputLatencyMs(), 0u);
    SelectAudioOutput(AudioOutputKind::ManualClock);
    EXPECT_LT((second - first).count(), 40)
        << "first " << first.count() << " ms, second " << second.count() << " ms";
}

TEST(SdlDiskOutput, OpeningTheDeviceLeavesTheProcesssSignalHandlersAlone)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    OpenAudioOutput();
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction action
        {};
        sigaction(signal, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
    }
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

} // namespace
