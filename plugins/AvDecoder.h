#pragma once

#include "plugins/AvInput.h"
#include "plugins/DecoderBase.h"
#include "plugins/SeekRequest.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The decoder plug-in for compressed and lossless formats beyond MPEG audio (FLAC, AAC and
// ALAC, Vorbis, Opus, WMA, WavPack, APE, AIFF, TTA, Matroska audio) through FFmpeg
// (CAvInput). A decode thread, started by Play, hands the PCM to the output at the file's own
// rate and sample format (16-bit, or float for wider and lossy sources), reports the elapsed
// seconds from the output's played count and the end through the callback. Seeks land on the
// exact frame. A file that cannot be read on, whose packets were damaged, or whose sound ends
// short of the length it states ends, once what was decoded has been heard, with
// PLUGIN_CALLBACK_FAILED and its PLUGIN_FAILURE_ reason, and one line on standard error names
// the file and the reason.
//
// Threads: the slots are called on the user-interface thread. The decode thread owns the
// input while it runs; the user-interface thread passes it requests (pause, seek, quit)
// through atomics and a command counter that the paused thread waits on, and interrupts the
// output first so that a thread waiting there looks at them at once.
class CAvDecoder final : public CDecoderBase
{
public:
    CAvDecoder() = default;
    // Ends a decode thread still running; the output is not touched when nothing is open.
    ~CAvDecoder();
    CAvDecoder(const CAvDecoder&) = delete;
    CAvDecoder& operator=(const CAvDecoder&) = delete;

    int SetOutput(IOutputPlugin* pOutput) override;
    int Open(const char* pszPath, PluginMediaInfo* pInfo) override;
    int Close() override;
    // Closes and frees an object made by CreateInstance.
    int Release() override
    {
        delete this;
        return 0;
    }
    int Play() override;
    int SeekMilliseconds(std::int64_t nMilliseconds) override;
    std::int64_t GetPositionMilliseconds() override;

    // How long the decode thread, waiting at the end of the file for the output to play out,
    // waits before it looks at the time and its requests again.
    static constexpr int kDrainWaitMs = 50;
    // The elapsed time is reported when its whole seconds change, and at least this often.
    static constexpr std::chrono::milliseconds kReportInterval{1000};
    // Sound that ends more than this short of the length the file states was cut short.
    static constexpr int kShortEndToleranceMs = 100;

private:
    void DecodeLoop();
    // Why decoding ended early, for standard error, and its PLUGIN_FAILURE_ reason; empty
    // and 0 when it ended well.
    int FailureAtEnd(bool bReadError, std::string& strReason) const;
    void StopThread();

    CAvInput m_input;
    bool m_bInputOpen = false;
    bool m_bRewind = false; // the input has been read past its start
    std::string m_strPath;
    bool m_bOutputOpen = false;

    std::thread m_thread;
    std::atomic<bool> m_bQuit{false};
    // The seek asked for and the position's base.
    CSeekRequest m_seek;
    // The open file's rate and length, for the position and a seek's shown target.
    std::atomic<std::int64_t> m_nRate{0};
    std::atomic<std::int64_t> m_nLengthMs{0};
};
