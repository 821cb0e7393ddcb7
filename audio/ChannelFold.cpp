#include "audio/ChannelFold.h"

#include "audio/Samples.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// -3 dB.
const float kHalfPower = static_cast<float>(1.0 / std::sqrt(2.0));

// The usual speaker positions for each channel count, as a channel mask.
constexpr std::array<std::uint32_t, 9> kUsualMask = {
    0,     // none
    0x4,   // mono: front centre
    0x3,   // stereo
    0x7,   // front left, right, centre
    0x33,  // quadraphonic: front and back left, right
    0x37,  // front left, right, centre, back left, right
    0x3F,  // 5.1: front left, right, centre, low frequency, back left, right
    0x70F, // 6.1: front left, right, centre, low frequency, back centre, side left, right
    0x63F, // 7.1: 5.1 and side left, right
};

// What the speaker of one bit of a channel mask sends to the left and the right side.
struct Share
{
    float left;
    float right;
};

Share ShareOf(int bit)
{
    const float h = kHalfPower;
    const float q = kHalfPower * kHalfPower;
    switch (bit) {
    case 0: // front left
    case 6: // front left of centre
        return {1.0f, 0.0f};
    case 1: // front right
    case 7: // front right of centre
        return {0.0f, 1.0f};
    case 2: // front centre
        return {h, h};
    case 3: // low frequency: left out
        return {0.0f, 0.0f};
    case 4:  // back left
    case 9:  // side left
    case 12: // top front left
    case 15: // top back left
        return {h, 0.0f};
    case 5:  // back right
    case 10: // side right
    case 14: // top front right
    case 17: // top back right
        return {0.0f, h};
    default: // back centre, the top centres and any position not named: -3 dB, split
        return {q, q};
    }
}

} // namespace

CChannelFold::CChannelFold(const AudioFormat& format)
    : m_nChannels(std::clamp(format.nChannels, 1, 8))
{
    if (m_nChannels == 1) {
        m_left[0] = m_right[0] = 1.0f;
        return;
    }
    std::uint32_t mask = format.nChannelMask;
    if (std::popcount(mask) != m_nChannels)
        mask = kUsualMask[static_cast<std::size_t>(m_nChannels)];
    float sumLeft = 0.0f;
    float sumRight = 0.0f;
    std::size_t c = 0;
    for (int bit = 0; bit < 32 && c < 8; ++bit) {
        if ((mask & (1u << bit)) == 0)
            continue;
        const Share share = ShareOf(bit);
        m_left[c] = share.left;
        m_right[c] = share.right;
        sumLeft += share.left;
        sumRight += share.right;
        ++c;
    }
    const float most = std::max(sumLeft, sumRight);
    if (most > 1.0f) {
        for (std::size_t i = 0; i < 8; ++i) {
            m_left[i] /= most;
            m_right[i] /= most;
        }
    }
}

void CChannelFold::Fold(const void* frames, SampleFormat format, std::size_t count,
                        float* stereo) const
{
    const auto channels = static_cast<std::size_t>(m_nChannels);
    if (channels == 1) {
        for (std::size_t f = 0; f < count; ++f)
            stereo[2 * f] = stereo[2 * f + 1] = SampleAt(frames, format, f);
        return;
    }
    if (channels == 2 && m_left[0] == 1.0f && m_right[1] == 1.0f) {
        for (std::size_t i = 0; i < 2 * count; ++i)
            stereo[i] = SampleAt(frames, format, i);
        return;
    }
    for (std::size_t f = 0; f < count; ++f) {
        float left = 0.0f;
        float right = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) {
            const float s = SampleAt(frames, format, f * channels + c);
            left += m_left[c] * s;
            right += m_right[c] * s;
        }
        stereo[2 * f] = left;
        stereo[2 * f + 1] = right;
    }
}
