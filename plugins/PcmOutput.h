#pragma once

#include "engine/PluginInterface.h"
#include "platform/SoundOutput.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// The output plug-in: a source of the process's sound output that plays the decoder's PCM
// from a ring of kBufferMs. Write waits while the ring is full and is woken only once half
// of it has been heard, so the decoder wakes a few times a second instead of at every pull
// of the output. Whatever output the process has selected plays it (the device, the silent
// output, or the manual clock of the tests).
//
// Threads: as IOutputPlugin states; the output's thread calls Render. One producer (the
// decode thread) and one consumer (Render) share the ring through two atomic byte counters;
// waits are atomic waits, woken by Render, Interrupt and SetPaused. Flush and Close
// disconnect the source first, so that Render is not running while the ring is reset.
class CPcmOutput final : public IOutputPlugin, private IAudioSource
{
public:
    // How far the decoder may run ahead of what is heard.
    static constexpr unsigned kBufferMs = 500;

    CPcmOutput() = default;
    ~CPcmOutput() override;
    CPcmOutput(const CPcmOutput&) = delete;
    CPcmOutput& operator=(const CPcmOutput&) = delete;

    int Open(int nSampleRate, int nChannels) override;
    int Write(const void* pPcm, int nBytes) override;
    void Flush() override;
    int WaitDrained(int nTimeoutMs) override;
    std::int64_t GetPlayedFrames() override;
    void SetPaused(int bPaused) override;
    void Interrupt() override;
    void Close() override;

private:
    std::size_t Render(void* buffer, std::size_t frames) override;
    void Signal();
    bool Connect();

    AudioFormat m_format;
    std::size_t m_nFrameBytes = 0;
    std::vector<unsigned char> m_ring;
    AudioConnection m_connection = 0;

    std::atomic<std::uint64_t> m_nWritten{0}; // bytes ever written (the producer's)
    std::atomic<std::uint64_t> m_nRead{0};    // bytes ever played (the consumer's)
    std::atomic<unsigned> m_nSignal{0};       // bumped to wake a waiting Write or WaitDrained
    std::atomic<bool> m_bPaused{false};
    std::atomic<bool> m_bInterrupted{false};
};
