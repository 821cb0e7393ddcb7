#include "audio/SoundOutput.h"
#include "tests/audio/StreamRamp.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class SoundOutput : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)); }
};

const AudioFormat kMono16{22050, 1, SampleFormat::S16};

// Counts the ends it is told of.
struct CEndCounter : IAudioStreamOwner
{
    void OnStreamEnded() override { ++nEnds; }
    std::atomic<int> nEnds{0};
};

// Catches a manual clock that plays on by itself, which would make positions inexact.
TEST_F(SoundOutput, NothingPlaysUntilTheManualClockIsAdvanced)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    ASSERT_NE(stream, nullptr);
    WriteRamp(*stream, 22050);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(stream->Played(), 0u);
    EXPECT_EQ(AdvanceManualAudioClock(100), 2205u);
    EXPECT_EQ(stream->Played(), 2205u);
    EXPECT_EQ(stream->Queued(), 22050u - 2205u);
}

// Catches a clock that drops fractions of a frame, so that many small steps drift.
TEST_F(SoundOutput, FractionsOfAFrameCarryOverBetweenAdvances)
{
    auto stream = CAudioStream::Open(kMono16, 2000);
    WriteRamp(*stream, 22050 + 100);
    for (int i = 0; i < 1000; ++i)
        AdvanceManualAudioClock(1);
    EXPECT_EQ(stream->Played(), 22050u);
}

// Catches captured samples that are not the stream's own.
TEST_F(SoundOutput, CapturedAudioIsTheStreamsFramesAsFloats)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    WriteRamp(*stream, 100);
    std::vector<float> captured;
    AdvanceManualAudioClock(1, &captured);
    ASSERT_EQ(captured.size(), 22u);
    EXPECT_FLOAT_EQ(captured[21], 21.0f / 32768.0f);
}

// Catches frames dropped or played twice across a pause.
TEST_F(SoundOutput, PausingLosesAndRepeatsNothing)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    WriteRamp(*stream, 8000);
    std::vector<float> captured;
    for (int i = 0; i < 10; ++i) {
        AdvanceManualAudioClock(7, &captured);
        stream->SetPaused(true);
        EXPECT_EQ(AdvanceManualAudioClock(50, &captured), 0u) << "a paused stream is not pulled";
        stream->SetPaused(false);
    }
    ASSERT_EQ(captured.size(), 1543u); // 70 ms at 22.05 kHz
    for (std::size_t i = 0; i < captured.size(); ++i)
        ASSERT_FLOAT_EQ(captured[i], RampSample(i)) << i;
}

// Catches frames decoded before a seek that slip in after it.
TEST_F(SoundOutput, FlushDropsWhatIsQueuedAndRefusesStaleWrites)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    const std::uint32_t old = stream->Generation();
    WriteRamp(*stream, 1000);
    AdvanceManualAudioClock(10);
    const std::uint32_t fresh = stream->Flush();
    EXPECT_NE(fresh, old);
    EXPECT_EQ(stream->Played(), 0u);
    EXPECT_EQ(stream->Queued(), 0u);
    const std::int16_t frame = 5;
    EXPECT_FALSE(stream->Write(&frame, 1, old)) << "decoded before the flush";
    EXPECT_TRUE(stream->Write(&frame, 1, fresh));
    EXPECT_EQ(stream->Queued(), 1u);
}

// Catches an end told early, late, twice, or moved by what sounds after it (a decay).
TEST_F(SoundOutput, TheOwnerHearsOfTheEndOnceWhenItsLastFrameIsPlayed)
{
    CEndCounter owner;
    auto stream = CAudioStream::Open(kMono16, 1000, &owner);
    WriteRamp(*stream, 2205);
    stream->MarkEnd(stream->Generation());
    WriteRamp(*stream, 441, 2205); // sounds after the end (a decay): played, but not counted
    stream->Finish(stream->Generation());
    AdvanceManualAudioClock(99);
    EXPECT_EQ(owner.nEnds.load(), 0);
    EXPECT_FALSE(stream->Ended());
    AdvanceManualAudioClock(1);
    EXPECT_EQ(owner.nEnds.load(), 1);
    EXPECT_TRUE(stream->Ended());
    std::vector<float> decay;
    AdvanceManualAudioClock(100, &decay);
    EXPECT_EQ(decay.size(), 441u);
    EXPECT_EQ(owner.nEnds.load(), 1);
}

// Catches an owner that closes its stream when told of its end: the output tells owners under
// a lock that the close takes too, so it would hang for ever; the contract stops it at once.
TEST_F(SoundOutput, AnOwnerClosingItsStreamWhenToldOfTheEndIsStopped)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct CClosingOwner : IAudioStreamOwner
    {
        void OnStreamEnded() override { stream->Close(); }
        std::unique_ptr<CAudioStream> stream;
    };
    EXPECT_DEATH(
        {
            CClosingOwner owner;
            owner.stream = CAudioStream::Open(kMono16, 1000, &owner);
            WriteRamp(*owner.stream, 441, 0, true);
            owner.stream->Finish(owner.stream->Generation());
            AdvanceManualAudioClock(100);
        },
        "contract broken");
}

// Catches a decay cut at its device's close, or a stream that is never let go.
TEST_F(SoundOutput, AStreamClosedWhenPlayedPlaysOutAndIsReleased)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    WriteRamp(*stream, 441);
    CAudioStream::CloseWhenPlayed(std::move(stream));
    EXPECT_EQ(AdvanceManualAudioClock(50), 441u);
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)) << "released";
}

// Catches a closed stream that the output still reads.
TEST_F(SoundOutput, AClosedStreamIsNotPulledAgain)
{
    auto stream = CAudioStream::Open(kMono16, 1000);
    WriteRamp(*stream, 1000);
    AdvanceManualAudioClock(10);
    stream->Close();
    EXPECT_EQ(AdvanceManualAudioClock(10), 0u);
    stream->Close();
}

// Catches formats the output cannot play being accepted.
TEST_F(SoundOutput, InvalidFormatsAreRefused)
{
    EXPECT_EQ(CAudioStream::Open(AudioFormat{0, 2, SampleFormat::S16}, 100), nullptr);
    EXPECT_EQ(CAudioStream::Open(AudioFormat{44100, 0, SampleFormat::S16}, 100), nullptr);
    EXPECT_EQ(CAudioStream::Open(AudioFormat{44100, 9, SampleFormat::F32}, 100), nullptr);
    EXPECT_EQ(CAudioStream::Open(AudioFormat{400000, 2, SampleFormat::F32}, 100), nullptr);
}

// Catches an output swapped away under a playing stream.
TEST_F(SoundOutput, TheOutputCannotBeReplacedWhileAStreamIsOpen)
{
    auto stream = CAudioStream::Open(kMono16, 100);
    EXPECT_FALSE(SelectAudioOutput(AudioOutputKind::Silent));
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::ManualClock);
    stream.reset();
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
}

// Catches a silent output that races ahead of real time or ignores the medium's rate.
TEST_F(SoundOutput, TheSilentOutputPullsInRealTimeAtTheFirstStreamsRate)
{
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
    auto stream = CAudioStream::Open(kMono16, 5000);
    EXPECT_EQ(AudioOutputFormat().nRate, 22050);
    const auto start = std::chrono::steady_clock::now();
    WriteRamp(*stream, 22050 * 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::uint64_t played = stream->Played();
    // Measured against the time that passed, however long a loaded machine kept this
    // thread from running after its sleep.
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stream.reset();
    EXPECT_GT(played, 0u);
    EXPECT_LT(static_cast<double>(played), 22050.0 * (elapsed + 0.5))
        << "far more than real time was pulled";
    EXPECT_EQ(AdvanceManualAudioClock(10), 0u) << "the manual clock is not selected";
}

// Catches a converted stream whose played count is not in its own frames.
TEST_F(SoundOutput, AStreamAtAnotherRateIsConvertedToTheOutputsRate)
{
    ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Silent));
    auto first = CAudioStream::Open(AudioFormat{48000, 2, SampleFormat::F32}, 1000);
    auto second = CAudioStream::Open(kMono16, 5000);
    EXPECT_EQ(AudioOutputFormat().nRate, 48000) << "the first stream chose the rate";
    WriteRamp(*second, 22050 * 3);
    second->Finish(second->Generation());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!second->Ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(second->Ended());
    EXPECT_NEAR(static_cast<double>(second->Played()), 22050.0 * 3, 2.0)
        << "the played count is in the stream's own frames";
}

// Plays what play plays on SDL's disk driver and returns the 16-bit samples the device wrote.
std::vector<std::int16_t> HearOnDisk(const std::function<void()>& play)
{
    const std::string file =
        (std::filesystem::temp_directory_path() / ("sorvane-disk-" + std::to_string(::getpid())))
            .string();
    const char* previous = std::getenv("SDL_AUDIODRIVER");
    const std::string previousDriver = previous != nullptr ? previous : "";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
    play();
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock));
    CloseAudioOutput();
    previousDriver.empty() ? ::unsetenv("SDL_AUDIODRIVER")
                           : ::setenv("SDL_AUDIODRIVER", previousDriver.c_str(), 1);
    ::unsetenv("SDL_DISKAUDIOFILE");

    std::ifstream in(file, std::ios::binary);
    std::vector<std::int16_t> heard;
    std::int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample))
        heard.push_back(sample);
    std::filesystem::remove(file);
    return heard;
}

void WaitForEnd(const CAudioStream& stream)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!stream.Ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(stream.Ended());
}

// Catches a volume that is only a number on the bus: the device must hear the gain, and NaN
// or values outside 0..1 must not reach the mix.
TEST_F(SoundOutput, TheVolumeScalesWhatTheDeviceHears)
{
    SetAudioOutputVolume(0.5);
    SetAudioOutputVolume(std::nan(""));
    EXPECT_EQ(AudioOutputVolume(), 0.5);
    const std::vector<std::int16_t> heard = HearOnDisk([] {
        auto stream = CAudioStream::Open(kMono16, 1000);
        ASSERT_NE(stream, nullptr);
        const std::vector<std::int16_t> level(4410, 1000);
        ASSERT_TRUE(stream->Write(level.data(), level.size(), stream->Generation()));
        stream->Finish(stream->Generation());
        WaitForEnd(*stream);
    });
    SetAudioOutputVolume(7.0);
    EXPECT_EQ(AudioOutputVolume(), 1.0);
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(*std::max_element(heard.begin(), heard.end()), 500) << "half of 1000";
    EXPECT_GE(std::count(heard.begin(), heard.end(), std::int16_t{500}), 4410 * 2 - 4);
}

// Catches a lone stream copied to the device as it is: alone, at volume 1, its own gain must
// still be heard.
TEST_F(SoundOutput, ALoneStreamIsHeardAtItsOwnGain)
{
    const std::vector<std::int16_t> heard = HearOnDisk([] {
        auto stream =
            CAudioStream::Open(kMono16, 1000, nullptr, CAudioStreamTicket::Make({}, 0.5f));
        ASSERT_NE(stream, nullptr);
        const std::vector<std::int16_t> level(4410, 1000);
        ASSERT_TRUE(stream->Write(level.data(), level.size(), stream->Generation()));
        stream->Finish(stream->Generation());
        WaitForEnd(*stream);
    });
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(*std::max_element(heard.begin(), heard.end()), 500) << "half of 1000";
}

// Catches a stream gain applied to the whole mix, or taken up a pull early or late: a stream
// following another at its own gain must change the level in the very frame where it starts,
// and the leader at gain 1 must reach the device unchanged.
TEST_F(SoundOutput, AStreamsOwnGainChangesTheLevelExactlyWhereItFollowsOn)
{
    const std::vector<std::int16_t> heard = HearOnDisk([] {
        const AudioStreamTicket leaderTicket = CAudioStreamTicket::Make();
        auto leader = CAudioStream::Open(kMono16, 1000, nullptr, leaderTicket);
        ASSERT_NE(leader, nullptr);
        const AudioStreamTicket ticket = CAudioStreamTicket::Make(leaderTicket->Stream(), 0.25f);
        auto follower = CAudioStream::Open(kMono16, 1000, nullptr, ticket);
        ASSERT_NE(follower, nullptr);
        const std::vector<std::int16_t> level(4410, 1000);
        ASSERT_TRUE(follower->Write(level.data(), level.size(), follower->Generation()));
        follower->Finish(follower->Generation());
        ASSERT_TRUE(leader->Write(level.data(), level.size(), leader->Generation(), true));
        WaitForEnd(*follower);
    });
    const auto first = std::find_if(heard.begin(), heard.end(), [](auto s) { return s != 0; });
    ASSERT_GE(heard.end() - first, 4410 * 4);
    EXPECT_EQ(std::vector<std::int16_t>(first, first + 4410 * 2),
              std::vector<std::int16_t>(4410 * 2, 1000));
    EXPECT_EQ(std::vector<std::int16_t>(first + 4410 * 2, first + 4410 * 4),
              std::vector<std::int16_t>(4410 * 2, 250));
}

} // namespace
