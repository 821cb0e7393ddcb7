#include "audio/Limiter.h"

#include "audio/Samples.h"

#include <algorithm>
#include <cmath>

void CLimiter::SetRate(int rate)
{
    m_cut = 0.0f;
    m_keep = static_cast<float>(
        std::exp(-1.0 / (kLimiterReleaseSeconds * static_cast<double>(std::max(rate, 1)))));
}

void CLimiter::Process(float* samples, std::size_t frames)
{
    // Once the gain is this close to 1 it is 1 again, and the mix passes untouched.
    constexpr float kNoCut = 1e-6f;
    // The gain of a stretch is lowered from its start for the highest frame in it, so that
    // only that frame reaches full scale instead of a rising edge being held flat.
    constexpr std::size_t kStretch = 64;
    for (std::size_t start = 0; start < frames; start += kStretch) {
        float* x = samples + 2 * start;
        const std::size_t n = 2 * std::min(kStretch, frames - start);
        float peak = 0.0f;
        for (std::size_t i = 0; i < n; ++i) {
            // A damaged float file's NaN or infinity: silence, never a value the device
            // cannot take.
            if (!std::isfinite(x[i]))
                x[i] = 0.0f;
            peak = std::max(peak, std::fabs(x[i]));
        }
        if (m_cut == 0.0f && peak <= 1.0f)
            continue;
        const float least = peak > 1.0f ? 1.0f - 1.0f / peak : 0.0f;
        for (std::size_t i = 0; i < n; i += 2) {
            m_cut = std::max(m_cut, least);
            const float gain = 1.0f - m_cut;
            x[i] = std::clamp(x[i] * gain, -1.0f, 1.0f);
            x[i + 1] = std::clamp(x[i + 1] * gain, -1.0f, 1.0f);
            m_cut *= m_keep;
            if (m_cut < kNoCut)
                m_cut = 0.0f;
        }
    }
}
