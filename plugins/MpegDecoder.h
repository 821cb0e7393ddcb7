#pragma once

#include "plugins/DecoderBase.h"
#include "plugins/SeekRequest.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct mpg123_handle_struct;

// The decoder plug-in: MPEG audio layers 1, 2 and 3 through libmpg123. The file is read
// as it plays, a frame at a time; a decode thread, started by Play, hands the PCM to the
// output, which takes it only as fast as it plays, and reports the elapsed seconds and the
// end through the callback. A file that cannot be read on (cut short or removed while it
// plays, damage that the decoder cannot resynchronize past) ends, once what was decoded has
// been heard, with PLUGIN_CALLBACK_FAILED and its PLUGIN_FAILURE_ reason instead of the end,
// and one line on standard error names the file and the reason. The length of a file above
// a few megabytes is estimated from its first frames and its size.
//
// Threads: the slots are called on the user-interface thread. The decode thread owns the
// mpg123 handle while it runs; the user-interface thread passes it requests (pause, seek,
// quit) through atomics and a command counter that the paused thread waits on, and
// interrupts the output first so that a thread waiting there looks at them at once.
//
// Gapless: the encoder's delay and padding are trimmed (libmpg123's gapless decoding, asked
// for explicitly), and a file queued with QueueNext is decoded into the same output right
// after the open file's last sample. The decode thread switches files when the first is
// decoded, keeps the first until the boundary is heard (so that DropNext or a seek can take
// the switch back), then reports PLUGIN_CALLBACK_NEXT. The queued file passes from the
// user-interface thread to the decode thread under m_chainLock, which is never held over a
// read.
//
// Close never waits for a read (a hung network file may never return): a thread in a read
// is left to finish on its own. Each file (handle and descriptor, a Reader) is shared by the
// decoder and, for the length of a read, by the thread that reads it; whoever lets go of it
// last frees it. A thread left in a read frees what it shares when the read returns and
// then touches nothing else, so what it read is dropped.
class CMpegDecoder final : public CDecoderBase, public IDecoderChain
{
public:
    CMpegDecoder() = default;
    // Ends a decode thread still running; the output is not touched when nothing is open.
    ~CMpegDecoder();
    CMpegDecoder(const CMpegDecoder&) = delete;
    CMpegDecoder& operator=(const CMpegDecoder&) = delete;

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

    int QueueNext(const char* pszPath, PluginMediaInfo* pInfo) override;
    int DropNext() override;
    int NextHeard() override;

    // How long the decode thread, waiting at the end of the file for the output to play out,
    // waits before the output's next wake lets it report the time and look at its requests
    // (a seek or a stop interrupts the output, which ends the wait at once; pause and resume
    // wake it).
    static constexpr int kDrainWaitMs = 50;
    // The elapsed time is reported when its whole seconds change, and at least this often.
    static constexpr std::chrono::milliseconds kReportInterval{1000};
    // A removal of the file is looked for every this many decoded frames (about a second).
    static constexpr unsigned kRemovalCheckFrames = 32;

    // Test seam: while set, every read of the decode thread waits until it is cleared, as a
    // read of a hung network file may never return.
    static void BlockReadsForTest(bool bBlock);
    // Test seam: whether a read is being held up by BlockReadsForTest now.
    static bool ReadBlockedForTest();

private:
    struct Reader;
    struct ReadGate;

    // One opened file.
    struct MpegFile
    {
        std::shared_ptr<Reader> pReader; // the handle and the descriptor; null when none
        std::int64_t nFileSize = 0;      // when it was opened
        std::string strPath;
        long nRate = 0;
        std::int64_t nLengthFrames = 0;
    };
    // Opens the file at pszPath for decoding and fills *pInfo; false, with nothing open, for a
    // missing, unreadable, corrupt or non-MPEG file.
    static bool OpenFile(const char* pszPath, MpegFile& file, PluginMediaInfo* pInfo);

    void DecodeLoop(const std::shared_ptr<ReadGate>& gate);
    void StopThread();

    MpegFile m_open; // the file heard now; the decode thread's while it runs
    bool m_bOutputOpen = false;

    std::thread m_thread;
    std::shared_ptr<ReadGate> m_pGate; // shared with the decode thread while it runs
    // The seek asked for and the position's base (negative while a chained file's first
    // frames are still ahead of the boundary).
    CSeekRequest m_seek;
    // The open file's length in milliseconds, for a seek's shown target; set wherever the
    // open file changes (the decode thread switches to a chained one).
    std::atomic<std::int64_t> m_nLengthMs{0};

    std::atomic<long> m_nOpenRate{0}; // the rate of the file Open opened, 0 when none
    std::mutex m_chainLock;
    MpegFile m_next;            // queued, not yet taken by the decode thread; under m_chainLock
    MpegFile m_previous;        // decoded, its boundary not yet heard; under m_chainLock
    bool m_bChainTaken = false; // the decode thread switched files; under m_chainLock
    std::atomic<bool> m_bUnchain{false};
    std::atomic<bool> m_bNextHeard{false};
};
