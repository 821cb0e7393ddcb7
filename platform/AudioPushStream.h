#pragma once

#include "platform/SoundOutput.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

// A stream into the sound output that a producer feeds (the output plug-in hands it the PCM
// its decoder makes), as opposed to a source that the output pulls.
//
// Threads: one producer thread calls Write and Drain; any thread may call the others. The
// buffer holds at most nBufferMs of audio: Write waits while it is full, so a decoder never
// runs more than that far ahead of what is heard. Abort releases a waiting Write or Drain at
// once (for a close or a seek).
class CAudioPushStream final : private IAudioSource
{
public:
    // Connects to the output at once. IsConnected() is false when format is not valid.
    explicit CAudioPushStream(const AudioFormat& format, unsigned nBufferMs = 1000);
    // Aborts, then disconnects: after it returns the output no longer reads this stream. The
    // producer must not be inside Write or Drain any more (Abort, then join it, first).
    ~CAudioPushStream() override;
    CAudioPushStream(const CAudioPushStream&) = delete;
    CAudioPushStream& operator=(const CAudioPushStream&) = delete;

    bool IsConnected() const { return m_connection != 0; }
    const AudioFormat& Format() const { return m_format; }

    // Producer thread. Appends bytes of PCM in Format(); a trailing part of a frame is kept
    // until the rest comes. Waits while the buffer is full. Returns bytes, or less (possibly
    // 0) when Abort came first; after Abort every Write returns 0 at once until Reset.
    std::size_t Write(const void* data, std::size_t bytes);

    // Producer thread. Waits up to timeoutMs until everything written has been played: taken
    // by the output, and then AudioOutputLatencyMs() more, so that it has been heard.
    // Returns true when drained; false on timeout or Abort.
    bool Drain(unsigned timeoutMs);

    // Any thread. Releases a waiting Write or Drain at once and refuses further writes.
    void Abort();

    // Any thread. Drops the buffered audio, ends the abort state and sets the played count
    // to 0 (after a seek the producer starts again from its new position).
    void Reset();

    // Any thread. While paused the output plays silence for this stream and keeps its
    // buffer; a full buffer keeps the producer waiting.
    void SetPaused(bool bPaused);
    bool IsPaused() const;

    // Frames the output has taken from this stream since construction or Reset.
    std::uint64_t PlayedFrames() const;
    // Frames written and not yet played.
    std::size_t BufferedFrames() const;

private:
    std::size_t Render(void* buffer, std::size_t frames) override;

    AudioFormat m_format;
    std::size_t m_nCapacityBytes;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<unsigned char> m_ring;    // m_nCapacityBytes long
    std::size_t m_nHead = 0;              // read offset
    std::size_t m_nFill = 0;              // bytes buffered (whole frames)
    std::vector<unsigned char> m_partial; // bytes of an incomplete frame
    std::uint64_t m_nPlayed = 0;
    bool m_bAborted = false;
    bool m_bPaused = false;
    AudioConnection m_connection = 0;
};
