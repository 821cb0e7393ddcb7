#include "audio/ChannelFold.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// What one channel alone at level 1 becomes on the left and the right side.
struct Sides
{
    float left;
    float right;
};

Sides FoldOne(const CChannelFold& fold, int channels, int channel)
{
    std::vector<float> frame(static_cast<std::size_t>(channels), 0.0f);
    frame[static_cast<std::size_t>(channel)] = 1.0f;
    float stereo[2] = {};
    fold.Fold(frame.data(), SampleFormat::F32, 1, stereo);
    return {stereo[0], stereo[1]};
}

// -3 dB, the level of the centre and the surrounds against a front channel.
const float kMinus3dB = 1.0f / std::sqrt(2.0f);

// Catches a fold whose coefficients add up past 1 on a side (centre and surrounds added to
// the front at -3 dB): every channel at full scale at once must not clip either side.
TEST(ChannelFold, EveryChannelAtFullScaleStaysWithinFullScale)
{
    for (int channels = 3; channels <= 8; ++channels) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        const CChannelFold fold(AudioFormat{48000, channels, SampleFormat::F32});
        const std::vector<float> frame(static_cast<std::size_t>(channels), 1.0f);
        float stereo[2] = {};
        fold.Fold(frame.data(), SampleFormat::F32, 1, stereo);
        EXPECT_LE(stereo[0], 1.0f + 1e-6f);
        EXPECT_LE(stereo[1], 1.0f + 1e-6f);
        EXPECT_GT(stereo[0], 0.5f) << "turned down further than needed";
    }
}

// Catches a 5.1 fold with the centre or the surrounds at the wrong level or on the wrong side,
// or the low-frequency channel mixed in: against the front left at 1, the centre reaches both
// sides at -3 dB, each surround its own side at -3 dB, and the LFE nothing.
TEST(ChannelFold, FivePointOneFoldsCentreAndSurroundsAtMinus3dBAndLeavesTheLfeOut)
{
    const CChannelFold fold(AudioFormat{48000, 6, SampleFormat::F32});
    const Sides front = FoldOne(fold, 6, 0); // front left, right, centre, LFE, back left, right
    ASSERT_GT(front.left, 0.0f);
    EXPECT_EQ(front.right, 0.0f);
    EXPECT_EQ(FoldOne(fold, 6, 1).left, 0.0f);
    EXPECT_FLOAT_EQ(FoldOne(fold, 6, 1).right, front.left);
    const Sides centre = FoldOne(fold, 6, 2);
    EXPECT_FLOAT_EQ(centre.left / front.left, kMinus3dB);
    EXPECT_FLOAT_EQ(centre.right / front.left, kMinus3dB);
    const Sides lfe = FoldOne(fold, 6, 3);
    EXPECT_EQ(lfe.left, 0.0f);
    EXPECT_EQ(lfe.right, 0.0f);
    const Sides backLeft = FoldOne(fold, 6, 4);
    EXPECT_FLOAT_EQ(backLeft.left / front.left, kMinus3dB);
    EXPECT_EQ(backLeft.right, 0.0f);
    const Sides backRight = FoldOne(fold, 6, 5);
    EXPECT_EQ(backRight.left, 0.0f);
    EXPECT_FLOAT_EQ(backRight.right / front.left, kMinus3dB);

    // 16-bit samples fold alike.
    const std::int16_t frame[6] = {0, 0, 16384, 0, 0, 0};
    float stereo[2] = {};
    fold.Fold(frame, SampleFormat::S16, 1, stereo);
    EXPECT_FLOAT_EQ(stereo[0], 0.5f * centre.left);
}

// Catches channels placed by their count instead of the mask that names them: a file whose
// channels are front right, centre and back left folds each by its own speaker; a mask that
// does not name as many speakers as there are channels is ignored for the usual order.
TEST(ChannelFold, AChannelMaskPlacesEachChannelByItsSpeaker)
{
    const CChannelFold named(AudioFormat{48000, 3, SampleFormat::F32, 0x2 | 0x4 | 0x10});
    const Sides right = FoldOne(named, 3, 0);
    EXPECT_EQ(right.left, 0.0f);
    ASSERT_GT(right.right, 0.0f);
    const Sides centre = FoldOne(named, 3, 1);
    EXPECT_FLOAT_EQ(centre.left, centre.right);
    EXPECT_FLOAT_EQ(centre.right / right.right, kMinus3dB);
    const Sides backLeft = FoldOne(named, 3, 2);
    EXPECT_GT(backLeft.left, 0.0f);
    EXPECT_EQ(backLeft.right, 0.0f);

    const CChannelFold miscounted(AudioFormat{48000, 3, SampleFormat::F32, 0x3});
    const Sides usual = FoldOne(miscounted, 3, 0); // front left, right, centre
    EXPECT_GT(usual.left, 0.0f);
    EXPECT_EQ(usual.right, 0.0f);
}

} // namespace
