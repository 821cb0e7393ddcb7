#pragma once

#include "plugins/DecoderBase.h"

#include <cstdint>
#include <memory>

// The decoder plug-in: MPEG audio layers 1, 2 and 3 through libmpg123. The file is read as it
// plays, a frame at a time, on the decode thread of CDecoderBase. A file that cannot be read
// on (cut short or removed while it plays, damage that the decoder cannot resynchronize past)
// ends, once what was decoded has been heard, with PLUGIN_CALLBACK_FAILED and its
// PLUGIN_FAILURE_ reason instead of the end, and one line on standard error names the file and
// the reason. The length of a file above a few megabytes is estimated from its first frames
// and its size.
//
// Gapless: the encoder's delay and padding are trimmed (libmpg123's gapless decoding, asked
// for explicitly), and seeks land on the exact sample, so that a file that follows another on
// a stream of its own joins it without a gap.
//
// Threads: as CDecoderBase. The decode thread owns the mpg123 handle while it runs. Close
// never waits for a read (a hung network file may never return): the file (handle and
// descriptor, a Reader) is shared by the decoder and, for the length of a read, by the thread
// that reads it; whoever lets go of it last frees it. A thread left in a read frees what it
// shares when the read returns and then touches nothing else, so what it read is dropped.
class CMpegDecoder final : public CDecoderBase
{
public:
    CMpegDecoder();
    // Ends a decode thread still running; the output is not touched when nothing is open.
    ~CMpegDecoder();

    int Open(const char* pszPath, PluginMediaInfo* pInfo) override;

    // A removal of the file is looked for every this many decoded frames (about a second).
    static constexpr unsigned kRemovalCheckFrames = 32;

    // Test seam: while set, every read of the decode thread waits until it is cleared, as a
    // read of a hung network file may never return.
    static void BlockReadsForTest(bool bBlock);
    // Test seam: whether a read is being held up by BlockReadsForTest now.
    static bool ReadBlockedForTest();

private:
    struct Reader;

    std::int64_t RewindFile() override;
    void CloseFile() override;
    Block DecodeBlock(CReadGate& gate) override;
    std::int64_t SeekFile(CReadGate& gate, std::int64_t nTarget, int* pFailure) override;
    // Decode thread: why the decoder stopped at err, for standard error, and the failure.
    Block Ended(int err, const std::shared_ptr<Reader>& reader, std::int64_t nFileSize) const;

    std::shared_ptr<Reader> m_pReader; // the open file; null when none
    std::int64_t m_nFileSize = 0;      // when it was opened
    unsigned m_nFramesSinceCheck = 0;  // decode thread
};
