#include "plugins/AvDecoder.h"

#include <algorithm>
#include <cstring>
#include <new>

CAvDecoder::CAvDecoder()
    : CDecoderBase("kodekku-decode")
{}

CAvDecoder::~CAvDecoder()
{
    Shut();
}

int CAvDecoder::Open(const char* pszPath, PluginMediaInfo* pInfo)
{
    SORVANE_EXPECT(OnMainThread());
    Close();
    std::unique_ptr<CAvInput> input(new (std::nothrow) CAvInput);
    if (pszPath == nullptr || pInfo == nullptr || input == nullptr || !input->Open(pszPath))
        return 0;
    m_pInput = std::move(input);
    m_bRewind = false;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->nSampleRate = m_pInput->Rate();
    pInfo->nChannels = m_pInput->Channels();
    pInfo->nBitrateKbps = m_pInput->BitrateKbps();
    pInfo->nLengthSeconds = static_cast<std::int32_t>(
        std::min<std::int64_t>(m_pInput->LengthFrames() / m_pInput->Rate(), INT32_MAX));
    Opened(pszPath, m_pInput->Rate(), m_pInput->Channels(), m_pInput->SampleFormat(),
           m_pInput->LengthFrames());
    return 1;
}

std::int64_t CAvDecoder::RewindFile()
{
    SORVANE_EXPECT(OnMainThread());
    // The first play starts with what Open decoded; a later one reads the file again.
    if (m_bRewind && !m_pInput->SeekTo(0))
        return -1;
    m_bRewind = true;
    return m_pInput->Position();
}

void CAvDecoder::CloseFile()
{
    m_pInput.reset();
    m_pcm = {};
}

std::int64_t CAvDecoder::SeekFile(CReadGate& /*gate*/, std::int64_t nTarget, int* pFailure)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    m_pcm.clear();
    if (!m_pInput->SeekTo(nTarget)) {
        *pFailure = PLUGIN_FAILURE_READ;
        return -1;
    }
    return m_pInput->Position();
}

CDecoderBase::Block CAvDecoder::DecodeBlock(CReadGate& /*gate*/)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    const CAvInput::Status status = m_pInput->Decode(m_pcm);
    Block block;
    block.pPcm = m_pcm.data();
    block.nBytes = m_pcm.size();
    if (status != CAvInput::Status::Sound) {
        block.bEnd = true;
        block.nFailure = FailureAtEnd(status == CAvInput::Status::ReadError, block.strReason);
    }
    return block;
}

int CAvDecoder::FailureAtEnd(bool bReadError, std::string& strReason) const
{
    if (bReadError) {
        strReason = "the file could not be read on";
        return PLUGIN_FAILURE_READ;
    }
    if (m_pInput->DamagedPackets() > 0) {
        strReason = "the stream is damaged (" + std::to_string(m_pInput->DamagedPackets()) +
                    " packets could not be decoded)";
        return PLUGIN_FAILURE_DECODE;
    }
    const std::int64_t tolerance =
        static_cast<std::int64_t>(m_pInput->Rate()) * kShortEndToleranceMs / 1000;
    if (m_pInput->LengthTrusted() && m_pInput->Position() + tolerance < m_pInput->LengthFrames()) {
        strReason = "the file was cut short";
        return PLUGIN_FAILURE_READ;
    }
    strReason.clear();
    return 0;
}
