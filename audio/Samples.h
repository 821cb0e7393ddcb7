#pragma once

#include "audio/SoundOutput.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>

// The sound output's shared numbers and sample conversions (internal to audio/).

// The output always mixes in stereo.
constexpr int kMixChannels = 2;
// The silent output's pull period: long enough to cost next to nothing, short enough for a
// display that refreshes every 450 ms.
constexpr auto kSilentTick = std::chrono::milliseconds(40);
// What the silent output reports as its latency: one tick.
constexpr unsigned kSilentLatencyMs = static_cast<unsigned>(kSilentTick.count());
// While a device is asked for and none plays, how often it is tried again: a sound server
// that comes back is heard again within half a second.
constexpr auto kDeviceRetry = std::chrono::milliseconds(200);
// How often the service thread looks whether SDL has reported the device removed, and tries
// a device again: each look costs a wake-up, so no more often than a retry needs.
constexpr auto kWatchTick = kDeviceRetry;
// The longest a device asked for under streams with nothing written yet waits for their first
// frames before it opens anyway (a producer slow to start).
constexpr auto kFirstFramesWait = kWatchTick;
// The longest any caller (the user-interface thread) waits for a device to open; past it the
// stream holds until the device is there.
constexpr auto kDeviceWait = std::chrono::milliseconds(1000);
// The longest the output's close waits for its service thread and device (at exit too);
// a thread caught in a sound server that hangs is then left behind.
constexpr auto kCloseWait = std::chrono::milliseconds(1000);
// A playing device whose callbacks stop this long is taken as lost (a server that stopped
// answering without closing the connection).
constexpr auto kCallbackStall = std::chrono::milliseconds(1000);
// How long the PulseAudio server may take to answer whether it has an output.
constexpr auto kPulseProbeWait = std::chrono::milliseconds(300);
// The manual clock waits this long at most for a producer that is still producing.
constexpr auto kManualWait = std::chrono::seconds(5);
constexpr std::size_t kMaxStreams = 32;
// The most source frames a producer converts at a time; a ring always has room for this many
// (converted) beyond what it holds ahead, so that a producer woken for room finds it.
constexpr std::size_t kMaxChunk = kAudioStreamChunkFrames;
// Room kept free for what a converter may emit beyond the input's share.
constexpr std::size_t kConverterSlack = 2048;
// The least and the most a stream holds ahead, whatever its producer asks for.
constexpr unsigned kMinAheadMs = 250;
constexpr unsigned kMaxAheadMs = 10000;
// A limited mix lets its gain back up to 1 over about this long.
constexpr double kLimiterReleaseSeconds = 0.1;

inline float ToFloat(std::int16_t s)
{
    return static_cast<float>(s) / 32768.0f;
}

inline std::int16_t ToS16(float f)
{
    const float scaled = f * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(std::lrintf(scaled));
}

// Sample i of interleaved data in format, as a float.
inline float SampleAt(const void* data, SampleFormat format, std::size_t i)
{
    if (format == SampleFormat::F32)
        return static_cast<const float*>(data)[i];
    return ToFloat(static_cast<const std::int16_t*>(data)[i]);
}

// Adds count samples of data in format, times gain, to into. A gain of exactly 1 multiplies
// nothing, so that a stream alone stays bit-exact; each loop is kept simple enough to vectorise.
inline void AddScaled(float* into, const void* data, SampleFormat format, std::size_t count,
                      float gain)
{
    if (format == SampleFormat::F32) {
        const auto* in = static_cast<const float*>(data);
        if (gain == 1.0f)
            for (std::size_t i = 0; i < count; ++i)
                into[i] += in[i];
        else
            for (std::size_t i = 0; i < count; ++i)
                into[i] += in[i] * gain;
        return;
    }
    const auto* in = static_cast<const std::int16_t*>(data);
    if (gain == 1.0f) {
        for (std::size_t i = 0; i < count; ++i)
            into[i] += ToFloat(in[i]);
    } else {
        // One multiplication per sample: the 16-bit scale and the gain together.
        const float scale = gain / 32768.0f;
        for (std::size_t i = 0; i < count; ++i)
            into[i] += static_cast<float>(in[i]) * scale;
    }
}
