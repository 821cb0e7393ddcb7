#include "platform/SoundOutput.h"

#include "platform/AudioPushStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <thread>

namespace {

// A source that counts the frames asked of it and renders a ramp of 16-bit values.
class CCountingSource : public IAudioSource
{
public:
    std::size_t Render(void* buffer, std::size_t frames) override
    {
        auto* out = static_cast<std::int16_t*>(buffer);
        const std::size_t n = limit < frames ? limit : frames;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = static_cast<std::int16_t>((rendered + i) % 1000);
        rendered += n;
        limit -= n;
        return n;
    }
    std::atomic<std::size_t> rendered{0};
    std::size_t limit = SIZE_MAX;
};

class SoundOutput : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)); }
};

const AudioFormat kMono16{22050, 1, SampleFormat::S16};

TEST_F(SoundOutput, NothingRendersUntilTheManualClockIsAdvanced)
{
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    ASSERT_NE(c, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(source.rendered.load(), 0u);
    EXPECT_EQ(AdvanceManualAudioClock(100), 2205u);
    EXPECT_EQ(source.rendered.load(), 2205u);
    DisconnectAudioSource(c);
}

TEST_F(SoundOutput, FractionsOfAFrameCarryOverBetweenAdvances)
{
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    for (int i = 0; i < 1000; ++i)
        AdvanceManualAudioClock(1);
    EXPECT_EQ(source.rendered.load(), 22050u);
    DisconnectAudioSource(c);
}

TEST_F(SoundOutput, CapturedAudioIsTheSourcesFramesAsFloats)
{
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    std::vector<float> captured;
    AdvanceManualAudioClock(1, &captured);
    ASSERT_EQ(captured.size(), 22u);
    EXPECT_FLOAT_EQ(captured[21], 21.0f / 32768.0f);
    DisconnectAudioSource(c);
}

TEST_F(SoundOutput, ADisconnectedSourceIsNotAskedAgain)
{
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    AdvanceManualAudioClock(10);
    DisconnectAudioSource(c);
    const std::size_t before = source.rendered;
    EXPECT_EQ(AdvanceManualAudioClock(10), 0u);
    EXPECT_EQ(source.rendered.load(), before);
    DisconnectAudioSource(c);
    DisconnectAudioSource(0);
}

TEST_F(SoundOutput, InvalidFormatsAreRefused)
{
    CCountingSource source;
    EXPECT_EQ(ConnectAudioSource(source, AudioFormat{0, 2, SampleFormat::S16}), 0u);
    EXPECT_EQ(ConnectAudioSource(source, AudioFormat{44100, 0, SampleFormat::S16}), 0u);
    EXPECT_EQ(ConnectAudioSource(source, AudioFormat{44100, 9, SampleFormat::F32}), 0u);
    EXPECT_EQ(ConnectAudioSource(source, AudioFormat{400000, 2, SampleFormat::F32}), 0u);
}

TEST_F(SoundOutput, TheOutputCannotBeReplacedWhileASourceIsConnected)
{
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    EXPECT_FALSE(SelectAudioOutput(AudioOutputKind::Silent));
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::ManualClock);
    DisconnectAudioSource(c);
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
}

TEST_F(SoundOutput, TheSilentOutputPullsInRealTime)
{
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
    CCountingSource source;
    const AudioConnection c = ConnectAudioSource(source, kMono16);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    DisconnectAudioSource(c);
    EXPECT_GT(source.rendered.load(), 0u);
    EXPECT_LT(source.rendered.load(), 22050u * 5) << "far more than real time was pulled";
    EXPECT_EQ(AdvanceManualAudioClock(10), 0u) << "the manual clock is not selected";
}

TEST_F(SoundOutput, APushStreamPlaysWhatWasWrittenInOrder)
{
    CAudioPushStream stream(kMono16, 1000);
    ASSERT_TRUE(stream.IsConnected());
    std::vector<std::int16_t> pcm(441);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<std::int16_t>(i * 10);
    EXPECT_EQ(stream.Write(pcm.data(), pcm.size() * 2), pcm.size() * 2);
    EXPECT_EQ(stream.BufferedFrames(), 441u);
    std::vector<float> captured;
    AdvanceManualAudioClock(10, &captured);
    ASSERT_EQ(captured.size(), 220u) << "only what was written is captured; the rest is silence";
    EXPECT_FLOAT_EQ(captured[219], 2190.0f / 32768.0f);
    EXPECT_EQ(stream.PlayedFrames(), 220u);
    EXPECT_EQ(stream.BufferedFrames(), 221u);
}

TEST_F(SoundOutput, APushStreamKeepsAPartFrameUntilItsRestComes)
{
    CAudioPushStream stream(AudioFormat{8000, 2, SampleFormat::S16}, 1000);
    const std::int16_t frame[2] = {100, -100};
    const auto* bytes = reinterpret_cast<const unsigned char*>(frame);
    EXPECT_EQ(stream.Write(bytes, 3), 3u);
    EXPECT_EQ(stream.BufferedFrames(), 0u);
    EXPECT_EQ(stream.Write(bytes + 3, 1), 1u);
    EXPECT_EQ(stream.BufferedFrames(), 1u);
    std::vector<float> captured;
    AdvanceManualAudioClock(1, &captured);
    ASSERT_EQ(captured.size(), 2u);
    EXPECT_FLOAT_EQ(captured[1], -100.0f / 32768.0f);
}

TEST_F(SoundOutput, AWriterIsHeldWhileTheBufferIsFullAndReleasedAsItPlays)
{
    CAudioPushStream stream(kMono16, 100);
    std::vector<std::int16_t> second(22050, 1);
    auto writer =
        std::async(std::launch::async, [&] { return stream.Write(second.data(), 44100); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_LE(stream.BufferedFrames(), 2205u) << "the buffer holds at most 100 ms";
    std::size_t steps = 0;
    while (writer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           steps++ < 100000)
        AdvanceManualAudioClock(10);
    EXPECT_EQ(writer.get(), 44100u);
}

TEST_F(SoundOutput, AbortReleasesABlockedWriterAtOnceAndRefusesMore)
{
    CAudioPushStream stream(kMono16, 50);
    std::vector<std::int16_t> pcm(22050, 1);
    auto writer = std::async(std::launch::async, [&] { return stream.Write(pcm.data(), 44100); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    stream.Abort();
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_LT(writer.get(), 44100u);
    EXPECT_EQ(stream.Write(pcm.data(), 2), 0u);
    EXPECT_FALSE(stream.Drain(1000));
    stream.Reset();
    EXPECT_EQ(stream.BufferedFrames(), 0u);
    EXPECT_EQ(stream.Write(pcm.data(), 2), 2u);
}

TEST_F(SoundOutput, APausedStreamPlaysSilenceAndKeepsItsBuffer)
{
    CAudioPushStream stream(kMono16, 1000);
    std::vector<std::int16_t> pcm(100, 5);
    stream.Write(pcm.data(), 200);
    stream.SetPaused(true);
    EXPECT_TRUE(stream.IsPaused());
    AdvanceManualAudioClock(100);
    EXPECT_EQ(stream.BufferedFrames(), 100u);
    EXPECT_EQ(stream.PlayedFrames(), 0u);
    stream.SetPaused(false);
    AdvanceManualAudioClock(100);
    EXPECT_EQ(stream.PlayedFrames(), 100u);
}

TEST_F(SoundOutput, DrainReturnsOnceEverythingHasPlayed)
{
    CAudioPushStream stream(kMono16, 1000);
    std::vector<std::int16_t> pcm(2205, 5);
    stream.Write(pcm.data(), pcm.size() * 2);
    EXPECT_FALSE(stream.Drain(10));
    auto drained = std::async(std::launch::async, [&] { return stream.Drain(60000); });
    AdvanceManualAudioClock(100);
    ASSERT_EQ(drained.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_TRUE(drained.get());
}

TEST_F(SoundOutput, AStreamWithAnInvalidFormatTakesNothing)
{
    CAudioPushStream stream(AudioFormat{44100, 0, SampleFormat::S16});
    EXPECT_FALSE(stream.IsConnected());
    const char bytes[4] = {};
    EXPECT_EQ(stream.Write(bytes, 4), 0u);
}

} // namespace
