#pragma once

#include "engine/PluginInterface.h"

#include <memory>

class CAudioPushStream;

// The output plug-in: hands the decoder's PCM to the process's sound output through a push
// stream that holds kBufferMs of sound, so the decoder is throttled to the pace of play.
// Whatever output the process has selected plays it (the device, the silent output, or the
// manual clock of the tests).
//
// Threads: as IOutputPlugin states. The stream object is made and dropped only by Open and
// Close, while no decode thread runs; the stream itself is safe between the decode thread,
// the user-interface thread and the output's thread.
class CPcmOutput final : public IOutputPlugin
{
public:
    // How far the decoder may run ahead of what is heard.
    static constexpr unsigned kBufferMs = 500;

    CPcmOutput();
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

private:
    std::unique_ptr<CAudioPushStream> m_pStream;
};
