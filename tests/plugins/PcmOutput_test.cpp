#include "plugins/PcmOutput.h"

#include "audio/SoundOutput.h"
#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kFrameBytes = 4;

class PcmOutputTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_clock.Ok()); }

    // Writes frames of stereo PCM (a ramp, so no frame is silent) and returns the bytes taken.
    int WriteFrames(int frames)
    {
        std::vector<short> pcm(static_cast<std::size_t>(frames) * 2);
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<short>(1000 + i % 1000);
        return m_output.Write(pcm.data(), frames * kFrameBytes);
    }

    CManualClockOutput m_clock;
    CPcmOutput m_output;
};

} // namespace

TEST_F(PcmOutputTest, OpenRefusesFormatsTheOutputCannotTake)
{
    EXPECT_EQ(m_output.Open(0, 2), 0);
    EXPECT_EQ(m_output.Open(44100, 0), 0);
    EXPECT_EQ(m_output.Open(44100, 9), 0);
}

TEST_F(PcmOutputTest, WriteBeforeOpenIsRefused)
{
    EXPECT_EQ(WriteFrames(10), -1);
    EXPECT_EQ(m_output.GetPlayedFrames(), 0);
    EXPECT_EQ(m_output.WaitDrained(100), 1);
}

TEST_F(PcmOutputTest, WrittenSoundIsPlayedAsTheClockAdvances)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    ASSERT_EQ(WriteFrames(kRate / 10), kRate / 10 * kFrameBytes);
    EXPECT_EQ(m_output.WaitDrained(0), 0);
    EXPECT_EQ(PlayFrames(kRate / 10), static_cast<std::size_t>(kRate / 10));
    EXPECT_EQ(m_output.GetPlayedFrames(), kRate / 10);
    EXPECT_EQ(m_output.WaitDrained(100), 1);
}

TEST_F(PcmOutputTest, WriteWaitsWhileTheBufferIsFull)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    std::atomic<bool> done{false};
    std::atomic<int> calls{0};
    std::thread writer([&] {
        std::vector<short> pcm(static_cast<std::size_t>(2 * kRate) * 2, 1000);
        const auto* bytes = reinterpret_cast<const unsigned char*>(pcm.data());
        int left = 2 * kRate * kFrameBytes;
        while (left > 0) {
            const int taken = m_output.Write(bytes, left);
            ASSERT_GE(taken, 0);
            bytes += taken;
            left -= taken;
            ++calls;
        }
        done = true;
    });
    // Two seconds cannot fit into the half-second buffer until most of it has been heard,
    // and nothing wakes the writer while nothing plays.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(done.load());
    EXPECT_EQ(calls.load(), 0);
    PlayFrames(static_cast<std::size_t>(2 * kRate), [&] { return done.load(); });
    writer.join();
    EXPECT_TRUE(done.load());
    EXPECT_GE(m_output.GetPlayedFrames(), 2 * kRate - kRate * 6 / 10);
    // Woken at each half buffer and each whole second, not at every pull of the clock.
    EXPECT_LE(calls.load(), 20);
}

TEST_F(PcmOutputTest, InterruptReleasesAWaitingWriteAndRefusesUntilFlush)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    // The writes come from one thread, the producer, as a decoder's do.
    std::atomic<int> taken{-2};
    int refused = -2;
    int after = -2;
    std::thread writer([&] {
        taken = WriteFrames(2 * kRate);
        refused = WriteFrames(10);
        m_output.Flush();
        after = WriteFrames(10);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_output.Interrupt();
    writer.join();
    EXPECT_LT(taken.load(), 2 * kRate * kFrameBytes);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(after, 10 * kFrameBytes);
}

TEST_F(PcmOutputTest, PausedOutputKeepsItsSound)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    WriteFrames(kRate / 10);
    m_output.SetPaused(1);
    EXPECT_EQ(PlayFrames(kRate / 10, {}, std::chrono::milliseconds(100)), 0u);
    EXPECT_EQ(m_output.GetPlayedFrames(), 0);
    m_output.SetPaused(0);
    EXPECT_EQ(PlayFrames(kRate / 10), static_cast<std::size_t>(kRate / 10));
}

TEST_F(PcmOutputTest, FlushDropsTheSoundAndRestartsTheCount)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    WriteFrames(kRate / 10);
    PlayFrames(kRate / 20);
    m_output.Flush();
    EXPECT_EQ(m_output.GetPlayedFrames(), 0);
    EXPECT_EQ(m_output.WaitDrained(100), 1);
}

TEST_F(PcmOutputTest, CloseReleasesTheSoundOutput)
{
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    WriteFrames(kRate / 10);
    EXPECT_FALSE(SelectAudioOutput(AudioOutputKind::ManualClock));
    m_output.Close();
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock));
    EXPECT_EQ(WriteFrames(10), -1);
}

// Catches an output that opens its stream without its ticket: the engine would not learn the
// stream, and a file held to follow another would start at once, over the one before it.
TEST_F(PcmOutputTest, TheStreamOpensOnItsTicketAndWaitsBehindItsLeader)
{
    CPcmOutput leader;
    const AudioStreamTicket leaderTicket = CAudioStreamTicket::Make();
    leader.SetStreamTicket(leaderTicket);
    ASSERT_EQ(leader.Open(kRate, 2), 1);
    ASSERT_EQ(
        leader.Write(std::vector<short>(kRate / 10 * 2, 500).data(), kRate / 10 * kFrameBytes),
        kRate / 10 * kFrameBytes);
    const AudioStreamTicket ticket = CAudioStreamTicket::Make(leaderTicket->Stream());
    m_output.SetStreamTicket(ticket);
    ASSERT_EQ(m_output.Open(kRate, 2), 1);
    EXPECT_FALSE(ticket->Stream().expired()) << "the stream is handed back through the ticket";
    ASSERT_EQ(WriteFrames(kRate / 10), kRate / 10 * kFrameBytes);

    PlayFrames(kRate / 20);
    EXPECT_EQ(m_output.GetPlayedFrames(), 0) << "started before its leader's end";
    EXPECT_EQ(leader.WaitDrained(0), 0); // nothing more comes: the leader's end is marked
    PlayFrames(kRate / 10, [&] { return m_output.GetPlayedFrames() > 0; });
    EXPECT_EQ(leader.GetPlayedFrames(), kRate / 10);
    EXPECT_GT(m_output.GetPlayedFrames(), 0);
}
