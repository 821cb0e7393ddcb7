#include "tests/media/MciFixture.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestMedia.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numbers>
#include <thread>

namespace {

// A mono 16-bit WAV of a -6 dBFS 1 kHz tone (no sample is 0, so where it starts and ends can
// be seen in what is heard), and its samples.
struct Tone
{
    std::string path;
    std::vector<std::int16_t> samples;
};

Tone WriteTone(const CTempDir& dir, int rate, double seconds, int channels = 1)
{
    Tone tone;
    const auto frames = static_cast<std::size_t>(std::lround(rate * seconds));
    for (std::size_t i = 0; i < frames; ++i) {
        const double v =
            0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / rate + 0.3);
        auto s = static_cast<std::int16_t>(std::lround(v * 32768.0));
        if (s == 0)
            s = 1;
        for (int c = 0; c < channels; ++c)
            tone.samples.push_back(s);
    }
    std::string wav = "RIFF";
    auto put = [&wav](std::uint32_t v, int bytes) {
        for (int b = 0; b < bytes; ++b)
            wav.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
    };
    const auto dataBytes = static_cast<std::uint32_t>(tone.samples.size() * 2);
    put(36 + dataBytes, 4);
    wav += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(static_cast<std::uint32_t>(channels), 2);
    put(static_cast<std::uint32_t>(rate), 4);
    put(static_cast<std::uint32_t>(rate * channels * 2), 4);
    put(static_cast<std::uint32_t>(channels * 2), 2);
    put(16, 2);
    wav += "data";
    put(dataBytes, 4);
    for (const std::int16_t s : tone.samples)
        put(static_cast<std::uint16_t>(s), 2);
    tone.path = dir.Write("tone" + std::to_string(rate) + ".wav", wav);
    return tone;
}

// The sound output on SDL's disk driver, which writes what it plays to a file of raw samples
// in the device's format, at the pace of real time.
class SdlDiskOutput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_out = m_dir / "played.raw";
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", m_out.c_str(), 1);
        const bool bSelected = SelectAudioOutput(AudioOutputKind::Device);
        const AudioOutputKind kind = OpenAudioOutput();
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(bSelected);
        if (kind != AudioOutputKind::Device)
            GTEST_SKIP() << "SDL's disk audio driver is not available";
    }
    void TearDown() override
    {
        mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, MCI_WAIT, nullptr);
        SelectAudioOutput(AudioOutputKind::ManualClock);
    }

    static MCIDEVICEID OpenWav(const std::string& path)
    {
        MCI_OPEN_PARMS open;
        open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
        open.lpstrElementName = path.c_str();
        EXPECT_EQ(
            mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
            0u);
        return open.wDeviceID;
    }

    static void PlayToTheEnd(const std::string& path)
    {
        const MCIDEVICEID id = OpenWav(path);
        MCI_PLAY_PARMS play;
        EXPECT_EQ(mciSendCommand(id, MCI_PLAY, MCI_WAIT, &play), 0u);
        mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    }

    // The samples of heard that are not silence: the tone as played, without the silence a
    // pause, a stall or the device's start adds around it.
    static std::vector<float> NonSilent(const std::vector<float>& heard)
    {
        std::vector<float> sound;
        std::copy_if(heard.begin(), heard.end(), std::back_inserter(sound),
                     [](float s) { return s != 0.0f; });
        return sound;
    }

    // Closes the device (so the file is complete) and returns the left channel of what was
    // written, as floats, with the device's format in *format and the right channel in *right.
    std::vector<float> Heard(AudioFormat* format = nullptr, std::vector<float>* right = nullptr)
    {
        const AudioFormat f = AudioOutputFormat();
        if (format != nullptr)
            *format = f;
        EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)) << "closes the disk file";
        const std::string bytes = CTempDir::Read(m_out);
        std::vector<float> left;
        const std::size_t frameBytes = f.FrameBytes();
        const std::size_t sampleBytes = frameBytes / 2;
        auto sample = [&](std::size_t at) {
            if (f.format == SampleFormat::S16) {
                std::int16_t s = 0;
                std::memcpy(&s, bytes.data() + at, 2);
                return static_cast<float>(s) / 32768.0f;
            }
            float s = 0;
            std::memcpy(&s, bytes.data() + at, 4);
            return s;
        };
        for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
            left.push_back(sample(at));
            if (right != nullptr)
                right->push_back(sample(at + sampleBytes));
        }
        return left;
    }

    CTempDir m_dir;
    std::string m_out;
};

// First and one past the last sample above the threshold.
std::pair<std::size_t, std::size_t> SoundSpan(const std::vector<float>& x, float threshold = 0.01f)
{
    std::size_t first = x.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) {
            first = std::min(first, i);
            end = i + 1;
        }
    }
    return {first, end};
}

// The middle of what was heard, a few milliseconds in from where the tone starts and ends.
std::vector<float> Middle(const std::vector<float>& heard, int rate)
{
    const auto [first, end] = SoundSpan(heard);
    const auto margin = static_cast<std::size_t>(rate / 100);
    if (end <= first + 2 * margin)
        return {};
    return std::vector<float>(heard.begin() + static_cast<std::ptrdiff_t>(first + margin),
                              heard.begin() + static_cast<std::ptrdiff_t>(end - margin));
}

// At every rate the device runs at the file's own rate and sample format: the samples reach
// it unchanged, the tone is clean, and it lasts exactly as long as the file.
TEST_F(SdlDiskOutput, A16BitToneReachesTheDeviceUnchangedAtEveryRate)
{
    for (const int rate : {22050, 44100, 48000, 96000}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        SetUp();
        const Tone tone = WriteTone(m_dir, rate, 1.0);
        PlayToTheEnd(tone.path);
        AudioFormat format;
        const std::vector<float> heard = Heard(&format);
        EXPECT_EQ(format.nRate, rate);
        EXPECT_EQ(format.format, SampleFormat::S16);
        const auto [first, end] = SoundSpan(heard, 0.0f);
        ASSERT_EQ(end - first, tone.samples.size()) << "heard for exactly as long as the file";
        for (std::size_t i = 0; i < tone.samples.size(); ++i)
            ASSERT_EQ(heard[first + i], static_cast<float>(tone.samples[i]) / 32768.0f) << i;
        const double thd = ThdPlusNoise(Middle(heard, rate), rate);
        RecordProperty("thd_n_db_" + std::to_string(rate), std::to_string(thd));
        std::printf("THD+N of a -6 dBFS 1 kHz tone at %d Hz, as is: %.1f dB\n", rate, thd);
        EXPECT_LE(thd, -90.0);
    }
}

// Catches more than two channels folded by their number instead of their speaker (even ones
// left, odd ones right): a centre channel alone is heard equally on both sides, also where the
// file's channel mask puts it elsewhere than the usual order for its channel count.
TEST_F(SdlDiskOutput, ACentreChannelAloneIsHeardEquallyOnBothSides)
{
    struct Layout
    {
        int nChannels;
        std::uint32_t nMask;
        int nCentre;
    };
    // 5.1 in the usual order; four channels whose last is the back centre (0x107), which the
    // usual order for four would take for the back right.
    for (const Layout layout : {Layout{6, 0, 2}, Layout{4, 0x107, 3}}) {
        SCOPED_TRACE(std::to_string(layout.nChannels) + " channels");
        SetUp();
        WavTone tone;
        tone.nChannels = layout.nChannels;
        tone.nChannelMask = layout.nMask;
        tone.nOnlyChannel = layout.nCentre;
        tone.nFrames = 44100 / 2;
        tone.frequency = 1000;
        PlayToTheEnd(m_dir.Write("centre.wav", MakeWav(tone)));
        std::vector<float> right;
        const std::vector<float> left = Heard(nullptr, &right);
        double leftPower = 0;
        double rightPower = 0;
        for (std::size_t i = 0; i < left.size(); ++i) {
            leftPower += static_cast<double>(left[i]) * left[i];
            rightPower += static_cast<double>(right[i]) * right[i];
        }
        ASSERT_GT(leftPower, 0.0);
        ASSERT_GT(rightPower, 0.0) << "the right side is silent";
        EXPECT_NEAR(10.0 * std::log10(leftPower / rightPower), 0.0, 0.5);
    }
}

// Catches overlapping streams summed past full scale (a decay under the next file): the float
// path handed SDL values above 1 and the 16-bit path clipped them flat. Two in-phase tones at
// 0.8 of full scale peak at 1.6 together: what is heard stays within full scale and is never
// flat for more than a few samples.
TEST_F(SdlDiskOutput, OverlappingStreamsAreLimitedNotClipped)
{
    for (const SampleFormat format : {SampleFormat::F32, SampleFormat::S16}) {
        SCOPED_TRACE(format == SampleFormat::F32 ? "float" : "16-bit");
        SetUp();
        const AudioFormat stereo{44100, 2, format};
        auto first = CAudioStream::Open(stereo, 1000);
        auto second = CAudioStream::Open(stereo, 1000);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        const std::size_t frames = 44100 / 2;
        std::vector<float> asFloat;
        std::vector<std::int16_t> as16;
        for (std::size_t i = 0; i < frames; ++i) {
            const double v =
                0.8 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(i) / 44100);
            for (int c = 0; c < 2; ++c) {
                asFloat.push_back(static_cast<float>(v));
                as16.push_back(static_cast<std::int16_t>(std::lround(v * 32767.0)));
            }
        }
        for (CAudioStream* stream : {first.get(), second.get()}) {
            ASSERT_GE(stream->Space(), frames);
            const void* data = format == SampleFormat::F32
                                   ? static_cast<const void*>(asFloat.data())
                                   : static_cast<const void*>(as16.data());
            ASSERT_TRUE(stream->Write(data, frames, stream->Generation(), true));
            stream->Finish(stream->Generation());
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(first->Ended() && second->Ended()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        first.reset();
        second.reset();
        const std::vector<float> heard = Heard();
        const float full = format == SampleFormat::F32 ? 1.0f : 32767.0f / 32768.0f;
        float peak = 0.0f;
        std::size_t run = 0;
        std::size_t longestRun = 0;
        for (const float x : heard) {
            peak = std::max(peak, std::fabs(x));
            run = std::fabs(x) >= full ? run + 1 : 0;
            longestRun = std::max(longestRun, run);
        }
        EXPECT_LE(peak, 1.0f);
        EXPECT_GT(peak, 0.9f) << "the mix was turned down, not limited";
        EXPECT_LE(longestRun, 8u) << "clipped flat";
    }
}

// A medium at another rate than the device's (here while a 48 kHz stream is open) is
// converted by the resampler as one stream: clean, and as long as the file within 1 ms.
TEST_F(SdlDiskOutput, AToneConvertedToTheDevicesRateStaysCleanAndKeepsItsLength)
{
    for (const int rate : {22050, 44100}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        SetUp();
        auto holder = CAudioStream::Open(AudioFormat{48000, 2, SampleFormat::F32}, 100);
        ASSERT_NE(holder, nullptr);
        const Tone tone = WriteTone(m_dir, rate, 3.0);
        PlayToTheEnd(tone.path);
        holder.reset();
        AudioFormat format;
        const std::vector<float> heard = Heard(&format);
        ASSERT_EQ(format.nRate, 48000);
        const auto [first, end] = SoundSpan(heard);
        EXPECT_NEAR(static_cast<double>(end - first), 3.0 * 48000, 48.0) << "3 s within 1 ms";
        const double thd = ThdPlusNoise(Middle(heard, 48000), 48000);
        std::printf("THD+N of a -6 dBFS 1 kHz tone at %d Hz converted to 48 kHz: %.1f dB, "
                    "heard for %zu frames of 144000\n",
                    rate, thd, end - first);
        EXPECT_LE(thd, -90.0);
    }
}

// Ten pauses (stop and play again) in a row: what is heard, without the silence of the
// pauses, is exactly the file.
TEST_F(SdlDiskOutput, TenPausesInARowLoseAndRepeatNothing)
{
    const Tone tone = WriteTone(m_dir, 44100, 2.0, 2);
    const MCIDEVICEID id = OpenWav(tone.path);
    MCI_PLAY_PARMS play;
    MCI_GENERIC_PARMS generic;
    ASSERT_EQ(mciSendCommand(id, MCI_PLAY, 0, &play), 0u);
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(97));
        mciSendCommand(id, MCI_STOP, MCI_WAIT, &generic);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        mciSendCommand(id, MCI_PLAY, 0, &play);
    }
    ASSERT_EQ(mciSendCommand(id, MCI_PLAY, MCI_WAIT, &play), 0u);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    const std::vector<float> heard = Heard();
    const std::vector<float> sound = NonSilent(heard);
    ASSERT_EQ(sound.size(), tone.samples.size() / 2) << "frames lost or repeated";
    for (std::size_t i = 0; i < sound.size(); ++i)
        ASSERT_EQ(sound[i], static_cast<float>(tone.samples[2 * i]) / 32768.0f) << i;
}

// A CD plays to its last sample: what is heard (without silence) is the disc's audio.
TEST_F(SdlDiskOutput, ACdIsHeardToItsLastSample)
{
    const std::string cue = WriteCdImage(m_dir.Path(), "disc", {{75, 441.0}, {60, 882.0}});
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_CD_AUDIO);
    open.lpstrElementName = cue.c_str();
    ASSERT_EQ(mciSendCommand(
                  0, MCI_OPEN,
                  MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_OPEN_SHAREABLE, &open),
              0u);
    MCI_PLAY_PARMS play;
    ASSERT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    AudioFormat format;
    const std::vector<float> heard = Heard(&format);
    EXPECT_EQ(format.nRate, 44100);
    const std::string bin = CTempDir::Read(m_dir / "disc.bin");
    std::vector<float> disc;
    for (std::size_t at = 0; at + 4 <= bin.size(); at += 4) {
        std::int16_t s = 0;
        std::memcpy(&s, bin.data() + at, 2);
        if (s != 0)
            disc.push_back(static_cast<float>(s) / 32768.0f);
    }
    const std::vector<float> sound = NonSilent(heard);
    ASSERT_EQ(sound.size(), disc.size());
    EXPECT_EQ(sound, disc);
}

// A callback that comes 300 ms late loses nothing: the frames wait in the stream.
TEST_F(SdlDiskOutput, ALateCallbackLosesNothing)
{
    const Tone tone = WriteTone(m_dir, 44100, 1.0);
    const MCIDEVICEID id = OpenWav(tone.path);
    MCI_PLAY_PARMS play;
    ASSERT_EQ(mciSendCommand(id, MCI_PLAY, 0, &play), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    StallAudioOutputForTest(300);
    ASSERT_EQ(mciSendCommand(id, MCI_PLAY, MCI_WAIT, &play), 0u);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    const std::vector<float> heard = Heard();
    const std::vector<float> sound = NonSilent(heard);
    ASSERT_EQ(sound.size(), tone.samples.size());
    for (std::size_t i = 0; i < sound.size(); ++i)
        ASSERT_EQ(sound[i], static_cast<float>(tone.samples[i]) / 32768.0f) << i;
}

// The end of a play waits until its last frames have been heard, also on the first play,
// when the output opens only as the play starts.
TEST(SdlDummyOutput, TheFirstPlayOnAClosedOutputEndsNoSoonerThanLaterOnes)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    CloseAudioOutput();
    EXPECT_EQ(AudioOutputLatencyMs(), 0u) << "a closed output has no latency";
    CTempDir dir;
    WavTone tone;
    tone.nFrames = 44100 * 3 / 10;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));
    auto playToTheEnd = [&wav] {
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
    };
    const auto first = playToTheEnd();
    const auto second = playToTheEnd();
    EXPECT_GT(AudioOutputLatencyMs(), 0u);
    SelectAudioOutput(AudioOutputKind::ManualClock);
    EXPECT_LT((second - first).count(), 40)
        << "first " << first.count() << " ms, second " << second.count() << " ms";
}

// Catches a first stream that keeps the latency the output had before its device opened (its
// end then heard too soon), and a device that waits for ever for a first stream's frames: one
// whose producer writes nothing still gets its device, and takes the device's latency.
TEST(SdlDummyOutput, AFirstStreamThatWritesNothingGetsTheDeviceAndItsLatency)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    CloseAudioOutput();
    auto stream = CAudioStream::Open(AudioFormat{44100, 2, SampleFormat::S16}, 200);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(AudioOutputHeld()) << "held before the device was tried";
    const unsigned before = stream->LatencyMs();
    EXPECT_TRUE(
        WaitUntil([&] { return AudioOutputLatencyMs() != before; }, std::chrono::seconds(10)))
        << "no device opened";
    EXPECT_FALSE(AudioOutputHeld());
    EXPECT_EQ(stream->LatencyMs(), AudioOutputLatencyMs());
    stream.reset();
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

// On SDL's dummy device: a 44.1 kHz tone of frames in dir, opened (open names the device)
// and played for its first 300 ms.
void StartATone(const CTempDir& dir, std::uint32_t frames, MCI_OPEN_PARMS& open)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    WavTone tone;
    tone.nFrames = frames;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    open.lpstrElementName = wav.c_str();
    ASSERT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
        0u);
    MCI_PLAY_PARMS play;
    ASSERT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, 0, &play), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// A device that disappears while playing (SDL reports it stopped): the output opens the
// default device again at once, and the play goes on to its end.
TEST(SdlDummyOutput, APlayGoesOnWhenTheDeviceIsRemoved)
{
    CTempDir dir;
    MCI_OPEN_PARMS open;
    StartATone(dir, 44100 * 8 / 10, open);
    ASSERT_EQ(OpenAudioOutput(), AudioOutputKind::Device);
    MCI_PLAY_PARMS play;
    testing::internal::CaptureStderr();
    LoseAudioDeviceForTest();
    EXPECT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("sound device was removed"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    mciSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, &status);
    EXPECT_EQ(status.dwReturn, 800u) << "played to its end";
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Device);
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

// Catches a producer woken for room that is not there yet: the decode loop, waiting for room
// for a whole chunk, slept until the next whole second, and an 8 kHz mono file had dropouts.
TEST(SdlDummyOutput, AnEightKilohertzMonoFilePlaysWithoutAnUnderrun)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    CTempDir dir;
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000 * 3;
    const std::string wav = dir.Write("low.wav", MakeWav(tone));
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    open.lpstrElementName = wav.c_str();
    ASSERT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &open),
        0u);
    const std::uint64_t before = AudioOutputUnderruns();
    MCI_PLAY_PARMS play;
    EXPECT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    EXPECT_EQ(AudioOutputUnderruns() - before, 0u);
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

// Catches an output that stays silent for good once no device opened (the sound server not up
// yet at login): the next medium tries the device again.
TEST(SdlDummyOutput, ANewMediumTriesTheDeviceAgain)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Silent);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    auto stream = CAudioStream::Open(AudioFormat{44100, 2, SampleFormat::S16}, 500);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Device);
    stream.reset();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("playback holds"), std::string::npos) << said;
    EXPECT_NE(said.find("opened"), std::string::npos) << said;
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

// Catches a removed device never tried again, and a file whose clock runs on unheard while no
// device plays: the position holds until the device is back, then the play goes on to its end.
TEST(SdlDummyOutput, APlayHoldsWhileNoDeviceOpensAndGoesOnWhenOneDoes)
{
    CTempDir dir;
    MCI_OPEN_PARMS open;
    StartATone(dir, 44100 * 5, open);
    MCI_PLAY_PARMS play;
    testing::internal::CaptureStderr();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    LoseAudioDeviceForTest();
    const auto lost = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!AudioOutputHeld() && std::chrono::steady_clock::now() < lost)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(AudioOutputHeld());
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Silent);
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    mciSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, &status);
    const auto held = static_cast<DWORD>(status.dwReturn);
    // Several retries pass; the file's clock must not run on meanwhile.
    const auto watched = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    while (std::chrono::steady_clock::now() < watched) {
        mciSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, &status);
        ASSERT_EQ(status.dwReturn, held) << "the position ran on without a device";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const auto back = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (AudioOutputHeld() && std::chrono::steady_clock::now() < back)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Device) << "the device was not tried again";
    EXPECT_EQ(mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_WAIT, &play), 0u);
    mciSendCommand(open.wDeviceID, MCI_STATUS, MCI_STATUS_ITEM, &status);
    EXPECT_EQ(status.dwReturn, 5000u) << "played to its end";
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("removed and no other opens"), std::string::npos) << said;
    SelectAudioOutput(AudioOutputKind::ManualClock);
}

TEST(SdlDummyOutput, OpeningTheDeviceLeavesTheProcesssSignalHandlersAlone)
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

// Catches a working device closed for a new medium's format before the new one is open: when
// that one does not open, the old device stays and the medium is converted and heard on it.
TEST_F(SdlDiskOutput, AWorkingDeviceStaysWhenOneForANewFormatDoesNotOpen)
{
    PlayToTheEnd(WriteTone(m_dir, 44100, 0.1).path);
    WavTone tone;
    tone.nRate = 48000;
    tone.nBits = 32;
    tone.bFloat = true;
    tone.nFrames = 4800;
    const std::string floatWav = m_dir.Write("float.wav", MakeWav(tone));
    setenv("SDL_DISKAUDIOFILE", (m_dir / "no-such-folder/played.raw").c_str(), 1);
    PlayToTheEnd(floatWav);
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Device);
    const AudioFormat mix = AudioOutputFormat();
    EXPECT_EQ(mix.nRate, 44100);
    EXPECT_EQ(mix.format, SampleFormat::S16);
    const std::vector<float> sound = NonSilent(Heard());
    EXPECT_GT(sound.size(), 4410u + 4000u) << "the float tone was heard on the old device";
}

} // namespace
