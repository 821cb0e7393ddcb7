#include "plugins/AvDecoder.h"
#include "plugins/PcmOutput.h"

#include "tests/plugins/CallbackLog.h"
#include "tests/support/AvWriter.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

class AvDecoderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_clock.Ok());
        m_decoder.SetOutput(&m_output);
        m_decoder.SetCallback(&CCallbackLog::Record, CCallbackLog::kUser);
    }

    // Encodes tone into name and opens it; the source's samples go to m_source.
    void OpenTone(const std::string& name, const EncodedTone& tone)
    {
        const std::string path = m_dir / name;
        ASSERT_TRUE(WriteEncodedTone(path, tone, &m_source)) << name;
        ASSERT_EQ(m_decoder.Open(path.c_str(), &m_info), 1) << name;
        m_log.Clear();
    }

    // Plays to the end (or a failure) on the manual clock; the samples heard, interleaved.
    std::vector<float> PlayToTheEnd(int rate)
    {
        std::vector<float> heard;
        PlayFrames(
            static_cast<std::size_t>(rate) * 60,
            [&] { return m_log.Ends() > 0 || !m_log.Failures().empty(); }, std::chrono::seconds(30),
            &heard);
        return heard;
    }

    // Every second sample: the first channel of stereo samples.
    static std::vector<float> Left(const std::vector<float>& x)
    {
        std::vector<float> left;
        for (std::size_t i = 0; i < x.size(); i += 2)
            left.push_back(x[i]);
        return left;
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CCallbackLog m_log;
    CPcmOutput m_output;
    CAvDecoder m_decoder;
    PluginMediaInfo m_info{};
    std::vector<float> m_source;
};

} // namespace

// Catches a lossless file that loses bits on its way (24-bit squeezed into 16, a resampled
// rate, a dither), gains or loses samples at either end, or across a pause.
TEST_F(AvDecoderTest, LosslessTonesReachTheOutputBitExactAtTheirOwnRate)
{
    for (const int rate : {44100, 96000}) {
        for (const int bits : {16, 24}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(bits) + " bit");
            EncodedTone tone;
            tone.nRate = rate;
            tone.nBits = bits;
            tone.dSeconds = 1.5;
            OpenTone("tone.flac", tone);
            EXPECT_EQ(m_info.nSampleRate, rate);
            EXPECT_EQ(m_info.nLengthSeconds, 1);
            ASSERT_EQ(m_decoder.Play(), 1);
            std::vector<float> heard;
            PlayFrames(static_cast<std::size_t>(rate) / 2, {}, std::chrono::seconds(20), &heard);
            m_decoder.Pause();
            EXPECT_EQ(PlayFrames(static_cast<std::size_t>(rate) / 10, {},
                                 std::chrono::milliseconds(100), &heard),
                      0u)
                << "nothing is heard while paused";
            ASSERT_EQ(m_decoder.Resume(), 1);
            const std::vector<float> rest = PlayToTheEnd(rate);
            heard.insert(heard.end(), rest.begin(), rest.end());
            EXPECT_EQ(m_log.Ends(), 1);
            ASSERT_EQ(heard.size(), m_source.size()) << "the length to the sample";
            EXPECT_TRUE(heard == m_source) << "every sample unchanged";
            const double thd = ThdPlusNoise(Left(heard), rate);
            std::printf("THD+N of a -6 dBFS 1 kHz tone, FLAC %d Hz %d bit: %.1f dB\n", rate, bits,
                        thd);
            EXPECT_LE(thd, -90.0);
            m_decoder.Close();
        }
    }
}

// Catches lossy files heard with the encoder's delay or padding (a length off by a frame of
// 1024 or more samples, or a pre-skip of silence) or decoded wrongly.
TEST_F(AvDecoderTest, LossyTonesPlayCleanForTheirSourcesLength)
{
    struct Case
    {
        const char* name;
        const char* codec;
        int rate;
        int kbps;
    };
    for (const Case& c :
         {Case{"tone.m4a", "aac", 44100, 256}, Case{"tone.ogg", "libvorbis", 44100, 160},
          Case{"tone.opus", "libopus", 48000, 160}}) {
        SCOPED_TRACE(c.name);
        EncodedTone tone;
        tone.strCodec = c.codec;
        tone.nRate = c.rate;
        tone.nBitrateKbps = c.kbps;
        OpenTone(c.name, tone);
        ASSERT_EQ(m_decoder.Play(), 1);
        const std::vector<float> heard = PlayToTheEnd(c.rate);
        EXPECT_EQ(m_log.Ends(), 1);
        const double ms = 1000.0 * static_cast<double>(heard.size()) / 2 / c.rate;
        EXPECT_NEAR(ms, 2000.0, 5.0) << "heard for " << heard.size() / 2 << " frames";
        const std::vector<float> left = Left(heard);
        const auto margin = static_cast<std::ptrdiff_t>(c.rate / 10);
        const double thd =
            ThdPlusNoise(std::vector<float>(left.begin() + margin, left.end() - margin), c.rate);
        std::printf("THD+N of a -6 dBFS 1 kHz tone, %s at %d kbit/s: %.1f dB, %.2f ms\n", c.name,
                    c.kbps, thd, ms);
        EXPECT_LE(thd, -40.0);
        m_decoder.Close();
    }
}

// Catches a seek that lands on the container's nearest sync point instead of the second asked
// for, which shifts every later position (and the sound) by up to a frame or a page.
TEST_F(AvDecoderTest, ASeekLandsOnTheExactFrame)
{
    for (const char* name : {"tone.flac", "tone.m4a", "tone.ogg", "tone.opus"}) {
        SCOPED_TRACE(name);
        EncodedTone tone;
        const std::string ext = std::string(name).substr(5);
        tone.strCodec = ext == "flac"  ? "flac"
                        : ext == "m4a" ? "aac"
                        : ext == "ogg" ? "libvorbis"
                                       : "libopus";
        tone.nRate = ext == "opus" ? 48000 : 44100;
        tone.nBitrateKbps = ext == "flac" ? 0 : 256;
        tone.dSeconds = 3.0;
        OpenTone(name, tone);
        ASSERT_EQ(m_decoder.Play(), 1);
        PlayFrames(static_cast<std::size_t>(tone.nRate) / 2);
        ASSERT_EQ(m_decoder.Seek(2), 1);
        std::vector<float> heard = PlayToTheEnd(tone.nRate);
        // What is heard after the seek: the last second of the source.
        const std::size_t oneSecond = static_cast<std::size_t>(tone.nRate) * 2;
        ASSERT_GE(heard.size(), oneSecond);
        heard.erase(heard.begin(), heard.end() - static_cast<std::ptrdiff_t>(oneSecond));
        const std::vector<float> expected(m_source.end() - static_cast<std::ptrdiff_t>(oneSecond),
                                          m_source.end());
        float worst = 0.0f;
        for (std::size_t i = 0; i < oneSecond; ++i)
            worst = std::max(worst, std::fabs(heard[i] - expected[i]));
        // A shift of one sample at 1 kHz already differs by 0.07.
        EXPECT_LE(worst, ext == "flac" ? 0.0f : 0.03f);
        EXPECT_EQ(m_log.LastElapsed(), 3);
        m_decoder.Close();
    }
}

// Catches a damaged file told as a good end (the queue moves on as if it had played whole)
// or one that stops at the first damage instead of playing what can be decoded.
TEST_F(AvDecoderTest, ADamagedFilePlaysWhatDecodesAndEndsWithAFailure)
{
    EncodedTone tone;
    tone.dSeconds = 4.0;
    const std::string good = m_dir / "good.flac";
    ASSERT_TRUE(WriteEncodedTone(good, tone));
    std::string bytes = CTempDir::Read(good);
    for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 4000; ++i)
        bytes[i] = static_cast<char>(i * 7);
    const std::string damaged = m_dir.Write("flac-mid-stream-garbage.flac", bytes);
    const std::string cut =
        m_dir.Write("flac-truncated.flac", CTempDir::Read(good).substr(0, bytes.size() / 2));
    for (const std::string& path : {damaged, cut}) {
        SCOPED_TRACE(path);
        ASSERT_EQ(m_decoder.Open(path.c_str(), &m_info), 1);
        ASSERT_EQ(m_decoder.Play(), 1);
        testing::internal::CaptureStderr();
        const std::vector<float> heard = PlayToTheEnd(44100);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_GT(heard.size(), 44100u * 2 * 3 / 2) << "what decodes is heard";
        EXPECT_EQ(m_log.Ends(), 0);
        EXPECT_EQ(m_log.Failures().size(), 1u);
        EXPECT_NE(said.find(path), std::string::npos) << said;
        m_decoder.Close();
        m_log.Clear();
    }
}
