#pragma once

#include "audio/SoundOutput.h"
#include "base/Contract.h"
#include "pluginapi/PluginInterface.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// The output plug-in: plays the decoder's PCM through a stream of the process's sound output
// (CAudioStream) that holds kBufferMs ahead. Write waits while the stream is full and is woken
// only once half of that has been played (the room is then at least kAudioStreamChunkFrames at
// any rate), so the decoder wakes a few times a second instead of at every pull of the output.
// Whatever output the process has selected plays it (the device, the silent output, or the manual
// clock of the tests); the stream converts when the device runs at another rate.
//
// Threads: as IOutputPlugin states, and asserted: the user-interface thread's functions check
// OnMainThread(); the first Write, Flush or WaitDrained after an Open makes its thread the
// producer (the decoder's thread), and every later one checks that it runs there. Pause,
// interruption and the played count go through the stream's atomics; waits are atomic waits
// on the stream's wake counter, bumped by the output as it plays and by Interrupt and
// SetPaused.
class CPcmOutput final : public IOutputPlugin
{
public:
    // How far the decoder may run ahead of what is heard.
    static constexpr unsigned kBufferMs = 500;

    CPcmOutput() = default;
    ~CPcmOutput();
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
    int OpenFormat(int nSampleRate, int nChannels, int nSampleFormat) override;
    void SetStreamTicket(const AudioStreamTicket& ticket) override;
    // Closes and frees an object made by CreateInstance.
    void Release() override;

private:
    void Signal();
    // Whether the calling thread is the producer, the first to ask since Open being it.
    bool OnProducerThread();
    void CloseStream();

    std::unique_ptr<CAudioStream> m_pStream; // changed only while no decode thread runs
    AudioStreamTicket m_ticket;              // the terms the stream opens on
    std::size_t m_nFrameBytes = 0;
    std::uint32_t m_nGeneration = 0; // the decode thread's
    std::atomic<bool> m_bInterrupted{false};
    CThreadRole m_producer;
    std::atomic<bool> m_bProducerKnown{false};
};
