#pragma once

#include "audio/SoundOutput.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// A ramp of 16-bit mono frames whose frame i holds (first + i) % 1000: a frame lost, doubled
// or out of place shows as a value out of sequence.
inline float RampSample(std::size_t i)
{
    return static_cast<float>(i % 1000) / 32768.0f;
}

// Writes frames of the ramp from first into stream (all at once, so Space() must take them);
// bEnd marks the end after them.
inline void WriteRamp(CAudioStream& stream, std::size_t frames, std::size_t first = 0,
                      bool bEnd = false)
{
    std::vector<std::int16_t> ramp(frames);
    for (std::size_t i = 0; i < frames; ++i)
        ramp[i] = static_cast<std::int16_t>((first + i) % 1000);
    ASSERT_LE(frames, stream.Space());
    ASSERT_TRUE(stream.Write(ramp.data(), frames, stream.Generation(), bEnd));
}
