#include "platform/SoundOutput.h"

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

} // namespace
