#include "audio/Limiter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 44100;

// Stereo frames of a sine of amplitude peak at 441 Hz.
std::vector<float> Sine(std::size_t frames, float peak)
{
    std::vector<float> out(2 * frames);
    for (std::size_t f = 0; f < frames; ++f) {
        const auto s = static_cast<float>(
            peak * std::sin(2.0 * std::numbers::pi * 441.0 * static_cast<double>(f) / kRate));
        out[2 * f] = s;
        out[2 * f + 1] = -s;
    }
    return out;
}

float Peak(const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (const float s : samples)
        peak = std::max(peak, std::fabs(s));
    return peak;
}

// Catches a mix passed on past full scale (clipped flat by the device, or wrapped round in a
// 16-bit conversion) and damaged floats passed on: overlapping streams at 1.8 times full
// scale, an infinity and a NaN must all come out within -1..1.
TEST(Limiter, NothingBeyondFullScaleReachesTheOutput)
{
    CLimiter limiter(kRate);
    std::vector<float> mix = Sine(kRate / 2, 1.8f);
    mix[1000] = std::numeric_limits<float>::infinity();
    mix[1001] = std::numeric_limits<float>::quiet_NaN();
    limiter.Process(mix.data(), mix.size() / 2);
    for (const float s : mix)
        ASSERT_TRUE(std::isfinite(s));
    EXPECT_LE(Peak(mix), 1.0f);
    EXPECT_GT(Peak(mix), 0.95f) << "lowered further than full scale needs";
}

// Catches a limiter that touches what it need not: a mix within full scale passes bit-exact,
// before any limiting and again once the gain has come back after it.
TEST(Limiter, AMixWithinFullScalePassesBitExact)
{
    CLimiter limiter(kRate);
    const std::vector<float> quiet = Sine(kRate, 1.0f);
    std::vector<float> mix = quiet;
    limiter.Process(mix.data(), mix.size() / 2);
    EXPECT_EQ(mix, quiet);

    std::vector<float> loud = Sine(kRate / 10, 1.5f);
    limiter.Process(loud.data(), loud.size() / 2);
    std::vector<float> after = Sine(2 * kRate, 0.9f);
    limiter.Process(after.data(), after.size() / 2);
    mix = Sine(kRate, 0.9f);
    limiter.Process(mix.data(), mix.size() / 2);
    EXPECT_EQ(mix, Sine(kRate, 0.9f)) << "the gain never came back to exactly 1";
}

// Catches a gain that snaps back at once (the peak's neighbours pumping) or stays down for
// seconds, or never quite reaches 1 again: after one peak at twice full scale, the gain is
// still low 10 ms later, most of the way back after a tenth of a second, all but a trace
// after half a second, and exactly 1 after two.
TEST(Limiter, TheGainComesBackOverAboutATenthOfASecond)
{
    CLimiter limiter(kRate);
    std::vector<float> mix(4 * kRate, 0.5f);
    mix[0] = 2.0f;
    limiter.Process(mix.data(), 2 * kRate);
    const auto gainAt = [&](double seconds) {
        return mix[2 * static_cast<std::size_t>(seconds * kRate)] / 0.5f;
    };
    EXPECT_NEAR(gainAt(0.0005), 0.5f, 0.05f) << "the peak brought to full scale";
    EXPECT_LT(gainAt(0.01), 0.6f);
    EXPECT_GT(gainAt(0.1), 0.75f);
    EXPECT_LT(gainAt(0.1), 0.9f);
    EXPECT_GT(gainAt(0.5), 0.99f);
    EXPECT_EQ(limiter.Gain(), 1.0f);
}

} // namespace
