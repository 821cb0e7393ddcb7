#include "audio/ChannelFold.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

} // namespace
