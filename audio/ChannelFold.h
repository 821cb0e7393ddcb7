#pragma once

#include "audio/SoundOutput.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Folds interleaved frames of one to eight channels to stereo floats by the channels' speaker
// positions (AudioFormat::nChannelMask, or the usual order for the channel count): mono to
// both sides; left channels to the left and right ones to the right at full level; centre and
// surround channels at -3 dB into both sides or their own; the low-frequency channel left
// out. When a side's coefficients add up to more than 1, both sides are scaled down alike so
// that no sum of full-scale channels clips. Stereo passes unchanged.
//
// Threads: immutable after construction; Fold may be called from any thread.
class CChannelFold
{
public:
    // A fold for format's channel count and mask.
    explicit CChannelFold(const AudioFormat& format);

    // Writes count stereo frames (left, right) to stereo from count frames of the format.
    void Fold(const void* frames, SampleFormat format, std::size_t count, float* stereo) const;

    // The coefficients of channel c into the left and the right side.
    float Left(int c) const { return m_left[static_cast<std::size_t>(c)]; }
    float Right(int c) const { return m_right[static_cast<std::size_t>(c)]; }

private:
    int m_nChannels;
    std::array<float, 8> m_left{};
    std::array<float, 8> m_right{};
};
