#pragma once

#include "base/Contract.h"
#include "pluginapi/PluginInterface.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

// What both decoders share: every slot that does not depend on the format, and the decode
// thread's life (Play starts it: it takes the requests, writes block after block to the output
// at the pace of play, reports the elapsed seconds, and once the output has played out the end
// or the failure). A decoder supplies only what depends on its format: its Open slot (which
// ends with Opened), going back to the start, decoding a block and seeking.
//
// Threads: the slots run on the user-interface thread, and assert it; the functions marked
// "decode thread" assert m_decodeThread, which the thread claims. Requests (pause, resume,
// seek, close) pass through atomics: the output is interrupted first, then the request stored,
// then the command counter bumped (PostCommand), which a paused thread waits on. So a thread
// waiting in the output looks at the request at once, and handling it (a Flush, or the end of
// the thread) ends the interruption; the other order could leave the output refusing writes.
//
// Close never waits for a read that the decoder marks with CReadGate (a hung network file may
// never return): the thread is left to finish the read on its own. It holds its gate and
// whatever the decoder shared with it for the read, and once the read returns it touches
// nothing else of the decoder.
class CDecoderBase : public IDecoderPlugin
{
public:
    CDecoderBase(const CDecoderBase&) = delete;
    CDecoderBase& operator=(const CDecoderBase&) = delete;

    int Reserved0() override { return 0; }
    int Reserved7() override { return 0; }
    int SetOutput(IOutputPlugin* pOutput) override;
    int SetCallback(PluginCallbackProc pfnCallback, std::uint32_t dwUser) override;
    int Close() override;
    int GetState() override
    {
        SORVANE_EXPECT(OnMainThread());
        return m_nState.load();
    }
    int Play() override;
    // From PLUGIN_STATE_PLAYING: holds the output where it is and tells the decode thread.
    int Pause() override;
    // From PLUGIN_STATE_PAUSED: lets the output play on and tells the decode thread.
    int Resume() override;
    // The millisecond seek, to whole seconds.
    int Seek(std::int32_t nSeconds) override { return SeekMilliseconds(nSeconds * 1000LL); }
    int SeekMilliseconds(std::int64_t nMilliseconds) override;
    std::int64_t GetPositionMilliseconds() override;
    // Closes and frees an object made by CreateInstance.
    int Release() override;

    // How long the decode thread, waiting at the end of the file for the output to play out,
    // waits before it looks at the time and its requests again (a seek or a stop interrupts
    // the output, which ends the wait at once; pause and resume wake it).
    static constexpr int kDrainWaitMs = 50;
    // The elapsed time is reported when its whole seconds change, and at least this often.
    static constexpr std::chrono::milliseconds kReportInterval{1000};

protected:
    // What Close and one decode thread decide between them about a read; the thread holds its
    // own gate to its end, so a thread that Close left behind still has it.
    class CReadGate
    {
    public:
        // Decode thread: a read begins; false when the decoder quits (nothing is read then).
        bool BeginRead()
        {
            m_nRead.store(kReading);
            return !m_bQuit.load();
        }
        // Decode thread: the read has returned; false when Close left the thread in it: then
        // nothing but what the read shares may be touched, and the thread returns at once.
        bool EndRead()
        {
            int reading = kReading;
            return m_nRead.compare_exchange_strong(reading, kIdle);
        }
        // True once the decoder asked the thread to quit, or left it in a read.
        bool Ended() const { return m_bQuit.load() || m_nRead.load() == kLeft; }

    private:
        friend class CDecoderBase;
        enum : int { kIdle, kReading, kLeft };
        std::atomic<bool> m_bQuit{false};
        // kReading while the thread reads; Close turns it to kLeft to leave the thread behind,
        // the thread back to kIdle once the read returns: exactly one of them wins.
        std::atomic<int> m_nRead{kIdle};
    };

    // A block of PCM that DecodeBlock gives, in the format given to Opened. pPcm stays valid
    // until the next DecodeBlock or SeekFile.
    struct Block
    {
        const std::uint8_t* pPcm = nullptr;
        std::size_t nBytes = 0;
        bool bEnd = false;     // nothing follows: the end of the file, or a failure
        int nFailure = 0;      // with bEnd, the PLUGIN_FAILURE_ reason; 0 for a good end
        std::string strReason; // with a failure, why, for standard error
    };

    // pszThreadName names the decode thread (15 characters at most).
    explicit CDecoderBase(const char* pszThreadName);
    // The decoder's own destructor ends its thread (Shut) while its file can still be closed.
    virtual ~CDecoderBase() = default;

    // User-interface thread, at the end of a successful Open: the file now open, for the
    // output, the position and the reports.
    void Opened(const char* pszPath, int nRate, int nChannels, int nSampleFormat,
                std::int64_t nLengthFrames);
    // Ends any playing and releases the output and the file; Close without the thread check,
    // for the destructors of the decoders, which end their own thread with it.
    void Shut();

    // User-interface thread, while no decode thread runs: the open file made ready to be
    // decoded from its start. The frame decoding starts at; -1 when the file cannot be read.
    virtual std::int64_t RewindFile() = 0;
    // User-interface thread, once no decode thread touches it: releases the open file.
    virtual void CloseFile() = 0;
    // Decode thread: the next block of the file. May return anything once gate.EndRead()
    // has failed.
    virtual Block DecodeBlock(CReadGate& gate) = 0;
    // Decode thread: the next DecodeBlock starts at frame nTarget. The frame it starts at, or
    // -1 when the file cannot be sought, with *pFailure the PLUGIN_FAILURE_ reason to end
    // with (0 for a plain end). May return anything once gate.EndRead() has failed.
    virtual std::int64_t SeekFile(CReadGate& gate, std::int64_t nTarget, int* pFailure) = 0;

    // Decode thread's role: claimed by the thread when it starts.
    CThreadRole m_decodeThread;

private:
    using Clock = std::chrono::steady_clock;

    // What the decode thread keeps between its steps; touched by the decode thread only.
    struct Progress
    {
        const std::uint8_t* pPending = nullptr;
        std::size_t nPending = 0; // bytes at pPending not yet taken by the output
        bool bDecodedAll = false;
        int nFailure = 0; // the PLUGIN_FAILURE_ reason that ended decoding early; 0 for none
        int nReported = -1;
        Clock::time_point reportedAt{};
    };

    // User-interface thread, while no decode thread runs: no seek pending, and the output's
    // played count 0 is file frame nBase.
    void ResetPosition(std::int64_t nBase);
    // Wakes the decode thread to look at its requests.
    void PostCommand();
    // Calls the registered callback, if any; decode thread.
    void Report(int nType, int nValue);
    // User-interface thread: waits for the decode thread, or leaves it in its read.
    void StopThread();

    // The decode thread, from its start to its end.
    void Run(const std::shared_ptr<CReadGate>& pGate);
    // Decode thread: carries out a seek asked for; false when the thread was left in it.
    bool TakeSeek(CReadGate& gate);
    // Decode thread: reports the elapsed whole seconds when they changed or are due.
    void ReportElapsed();
    // Decode thread: hands pending PCM to the output.
    void WritePending();
    // Decode thread: decodes the next block; false when the thread was left in the read.
    bool DecodeNext(CReadGate& gate);
    // Decode thread: once the output has played out, reports the end; true then.
    bool FinishWhenDrained();

    const char* m_pszThreadName;
    IOutputPlugin* m_pOutput = nullptr;
    std::atomic<PluginCallbackProc> m_pfnCallback{nullptr};
    std::atomic<std::uint32_t> m_dwUser{0};
    std::atomic<int> m_nState{PLUGIN_STATE_STOPPED};
    std::atomic<unsigned> m_nCommands{0};

    // The open file, set by Opened on the user-interface thread while no thread runs.
    std::string m_strPath;
    int m_nChannels = 0;
    int m_nSampleFormat = PLUGIN_PCM_S16;
    std::int64_t m_nLengthFrames = 0;
    // Its rate (0 when none is open) and length, also read for the position and a seek.
    std::atomic<std::int64_t> m_nRate{0};
    std::atomic<std::int64_t> m_nLengthMs{0};
    bool m_bOutputOpen = false; // user-interface thread

    std::thread m_thread;
    std::shared_ptr<CReadGate> m_pGate; // the running thread's
    // The seek asked for and not yet taken by the decode thread, the one asked for and not yet
    // carried out, which the position shows (milliseconds; -1 for none), and the file frame of
    // the output's played count 0.
    std::atomic<std::int64_t> m_nSeekTo{-1};
    std::atomic<std::int64_t> m_nSeekShown{-1};
    std::atomic<std::int64_t> m_nBaseFrames{0};
    Progress m_progress;
};
