// The follow-on cue on the manual clock: a stream opened with a ticket that names a leader
// starts in the step where the leader's end is reached, right after its last frame. The
// manual clock pulls each stream at its own rate and captures each stream's frames after the
// previous one's, so a ramp written across the two streams reads back as one unbroken ramp.

#include "audio/SoundOutput.h"
#include "tests/audio/StreamRamp.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace {

constexpr AudioFormat kMono44{44100, 1, SampleFormat::S16};
constexpr AudioFormat kMono48{48000, 1, SampleFormat::S16};
// One step of the clock: a whole number of frames at both rates.
constexpr unsigned kStepMs = 10;
constexpr std::size_t kStep44 = 441;
// The leader's last frame falls inside a step, not on its border.
constexpr std::size_t kLeaderFrames = 5 * kStep44 + 100;

class FollowOn : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)); }

    // Opens the leader, and the follower at format on a ticket that names it.
    void OpenPair(const AudioFormat& format)
    {
        const AudioStreamTicket leaderTicket = CAudioStreamTicket::Make();
        leader = CAudioStream::Open(kMono44, 1000, nullptr, leaderTicket);
        ASSERT_NE(leader, nullptr);
        followerTicket = CAudioStreamTicket::Make(leaderTicket->Stream());
        follower = CAudioStream::Open(format, 1000, nullptr, followerTicket);
        ASSERT_NE(follower, nullptr);
        EXPECT_FALSE(followerTicket->Stream().expired()) << "the stream is handed back";
    }

    // Advances the clock steps steps of kStepMs, capturing.
    std::vector<float> Advance(int steps)
    {
        std::vector<float> captured;
        for (int i = 0; i < steps; ++i)
            AdvanceManualAudioClock(kStepMs, &captured);
        return captured;
    }

    static void ExpectOneRamp(const std::vector<float>& captured, std::size_t frames)
    {
        ASSERT_EQ(captured.size(), frames);
        for (std::size_t i = 0; i < frames; ++i)
            ASSERT_FLOAT_EQ(captured[i], RampSample(i)) << "frame " << i;
    }

    std::unique_ptr<CAudioStream> leader;
    AudioStreamTicket followerTicket;
    std::unique_ptr<CAudioStream> follower;
};

// Catches a follower that starts a frame early or late, or loses or repeats its first
// frames: the two streams must read back as one ramp, ten steps long.
TEST_F(FollowOn, TheFollowerStartsOnTheFrameAfterItsLeadersLast)
{
    OpenPair(kMono44);
    WriteRamp(*leader, kLeaderFrames, 0, true);
    leader->Finish(leader->Generation());
    WriteRamp(*follower, 10 * kStep44, kLeaderFrames);
    follower->Finish(follower->Generation());

    ExpectOneRamp(Advance(10), 10 * kStep44);
    EXPECT_EQ(follower->Played(), 10 * kStep44 - kLeaderFrames);
}

// Catches a leftover of the leader's step handed to a follower at another rate unconverted:
// the follower must have played, at its own rate, exactly the time since the leader's end.
TEST_F(FollowOn, AFollowerAtAnotherRateStartsWhereItsLeaderEnds)
{
    OpenPair(kMono48);
    WriteRamp(*leader, kLeaderFrames, 0, true);
    leader->Finish(leader->Generation());
    WriteRamp(*follower, 5000, kLeaderFrames);
    follower->Finish(follower->Generation());

    const std::vector<float> captured = Advance(10);
    // 100 ms less the leader's 2305 frames at 44.1 kHz: 47.73 ms, 2291 whole frames at 48 kHz.
    constexpr std::size_t kFollowerFrames = (10 * kStep44 - kLeaderFrames) * 48000 / 44100;
    EXPECT_EQ(follower->Played(), kFollowerFrames);
    ExpectOneRamp(captured, kLeaderFrames + kFollowerFrames);
}

// Catches a follower kept silent for ever behind a leader whose end will never be reached in
// the mix: one that ended before the follower opened, or one closed while it holds it.
TEST_F(FollowOn, AFollowerWhoseLeaderCannotEndInTheMixStartsAtOnce)
{
    {
        SCOPED_TRACE("the leader ended before the follower opened");
        const AudioStreamTicket leaderTicket = CAudioStreamTicket::Make();
        auto ended = CAudioStream::Open(kMono44, 1000, nullptr, leaderTicket);
        WriteRamp(*ended, kStep44, 0, true);
        ended->Finish(ended->Generation());
        Advance(2);
        ASSERT_TRUE(ended->Ended());
        auto next = CAudioStream::Open(kMono44, 1000, nullptr,
                                       CAudioStreamTicket::Make(leaderTicket->Stream()));
        WriteRamp(*next, 4 * kStep44);
        EXPECT_EQ(AdvanceManualAudioClock(kStepMs), kStep44);
        EXPECT_EQ(next->Played(), kStep44);
    }
    {
        SCOPED_TRACE("the leader is closed while the follower waits for it");
        OpenPair(kMono44);
        WriteRamp(*leader, 10 * kStep44);
        WriteRamp(*follower, 4 * kStep44);
        EXPECT_EQ(AdvanceManualAudioClock(kStepMs), kStep44);
        EXPECT_EQ(follower->Played(), 0u) << "held while the leader plays";
        leader->Close();
        EXPECT_EQ(AdvanceManualAudioClock(kStepMs), kStep44);
        EXPECT_EQ(follower->Played(), kStep44);
    }
}

// Catches a producer's second stream on the same ticket (a reopening after a seek) held
// behind the leader again, which would silence it until the leader's end.
TEST_F(FollowOn, OnlyTheFirstStreamOpenedWithATicketFollows)
{
    OpenPair(kMono44);
    WriteRamp(*leader, 10 * kStep44);
    follower->Close();
    follower = CAudioStream::Open(kMono44, 1000, nullptr, followerTicket);
    ASSERT_NE(follower, nullptr);
    WriteRamp(*follower, 4 * kStep44);
    EXPECT_EQ(AdvanceManualAudioClock(kStepMs), 2 * kStep44);
    EXPECT_EQ(follower->Played(), kStep44);
}

// Catches a follower that waits for the leader's decay (frames written after its marked end)
// instead of sounding under it, or a decay cut short by the follower.
TEST_F(FollowOn, TheLeadersDecayAfterItsEndOverlapsTheFollower)
{
    OpenPair(kMono44);
    WriteRamp(*leader, kLeaderFrames);
    leader->MarkEnd(leader->Generation());
    constexpr std::size_t kDecayFrames = 3 * kStep44;
    WriteRamp(*leader, kDecayFrames, kLeaderFrames);
    leader->Finish(leader->Generation());
    WriteRamp(*follower, 10 * kStep44);
    follower->Finish(follower->Generation());

    const std::size_t pulled = Advance(10).size();
    EXPECT_EQ(follower->Played(), 10 * kStep44 - kLeaderFrames) << "started at the marked end";
    EXPECT_EQ(pulled, kLeaderFrames + kDecayFrames + follower->Played()) << "the decay whole";
}

} // namespace
