#pragma once

#include "plugins/AvInput.h"
#include "plugins/DecoderBase.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The decoder plug-in for compressed and lossless formats beyond MPEG audio (FLAC, AAC and
// ALAC, Vorbis, Opus, WMA, WavPack, APE, AIFF, TTA, Matroska audio) through FFmpeg
// (CAvInput), on the decode thread of CDecoderBase. The PCM goes to the output at the file's
// own rate and sample format (16-bit, or float for wider and lossy sources). Seeks land on the
// exact frame. A file that cannot be read on, whose packets were damaged, or whose sound ends
// short of the length it states ends, once what was decoded has been heard, with
// PLUGIN_CALLBACK_FAILED and its PLUGIN_FAILURE_ reason, and one line on standard error names
// the file and the reason.
//
// Threads: as CDecoderBase; the decode thread owns the input while it runs, and Close waits
// for it.
class CAvDecoder final : public CDecoderBase
{
public:
    CAvDecoder();
    // Ends a decode thread still running; the output is not touched when nothing is open.
    ~CAvDecoder();

    int Open(const char* pszPath, PluginMediaInfo* pInfo) override;

    // Sound that ends more than this short of the length the file states was cut short.
    static constexpr int kShortEndToleranceMs = 100;

private:
    std::int64_t RewindFile() override;
    void CloseFile() override;
    Block DecodeBlock(CReadGate& gate) override;
    std::int64_t SeekFile(CReadGate& gate, std::int64_t nTarget, int* pFailure) override;
    // Why decoding ended early, for standard error, and its PLUGIN_FAILURE_ reason; empty
    // and 0 when it ended well.
    int FailureAtEnd(bool bReadError, std::string& strReason) const;

    std::unique_ptr<CAvInput> m_pInput; // the open file's; null when none
    bool m_bRewind = false;             // the input has been read past its start
    std::vector<std::uint8_t> m_pcm;    // the block decoded last; decode thread
};
