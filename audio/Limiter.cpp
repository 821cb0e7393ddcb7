#include "audio/Limiter.h"

#include "audio/Samples.h"

#include <algorithm>
#include <cmath>

void CLimiter::SetRate(int rate)
{
    m_gain = 1.0f;
    m_release = static_cast<float>(
        1.0 - std::exp(-1.0 / (kLimiterReleaseSeconds * static_cast<double>(std::max(rate, 1)))));
}

void CLimiter::Process(float* samples, std::size_t frames)
{
    // Once the gain is this close to 1 it is 1 again, and the mix passes untouched.
    constexpr float kUnity = 1.0f - 1e-6f;
    for (std::size_t f = 0; f < frames; ++f) {
        float& left = samples[2 * f];
        float& right = samples[2 * f + 1];
        const float peak = std::max(std::fabs(left), std::fabs(right));
        if (!std::isfinite(peak)) {
            // A damaged float file's NaN or infinity: silence, never a value the device
            // cannot take.
            left = right = 0.0f;
            continue;
        }
        if (m_gain == 1.0f && peak <= 1.0f)
            continue;
        if (peak * m_gain > 1.0f)
            m_gain = 1.0f / peak;
        left = std::clamp(left * m_gain, -1.0f, 1.0f);
        right = std::clamp(right * m_gain, -1.0f, 1.0f);
        m_gain += (1.0f - m_gain) * m_release;
        if (m_gain >= kUnity)
            m_gain = 1.0f;
    }
}
