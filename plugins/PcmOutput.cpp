#include "plugins/PcmOutput.h"

#include "platform/AudioPushStream.h"
#include "platform/SoundOutput.h"

CPcmOutput::CPcmOutput() = default;

CPcmOutput::~CPcmOutput()
{
    Close();
}

int CPcmOutput::Open(int nSampleRate, int nChannels)
{
    Close();
    const AudioFormat format{nSampleRate, nChannels, SampleFormat::S16};
    if (!format.IsValid()) {
        return 0;
    }
    auto stream = std::make_unique<CAudioPushStream>(format, kBufferMs);
    if (!stream->IsConnected()) {
        return 0;
    }
    m_pStream = std::move(stream);
    return 1;
}

int CPcmOutput::Write(const void* pPcm, int nBytes)
{
    if (!m_pStream) {
        return -1;
    }
    if (pPcm == nullptr || nBytes <= 0) {
        return 0;
    }
    return static_cast<int>(m_pStream->Write(pPcm, static_cast<std::size_t>(nBytes)));
}

void CPcmOutput::Flush()
{
    if (m_pStream) {
        m_pStream->Reset();
    }
}

int CPcmOutput::WaitDrained(int nTimeoutMs)
{
    if (!m_pStream) {
        return 1;
    }
    // The stream counts sound as heard only once the output's own latency has passed after
    // it was taken, so that much is added to the wait, or it could never be long enough.
    const unsigned wait = (nTimeoutMs > 0 ? static_cast<unsigned>(nTimeoutMs) : 0U);
    return m_pStream->Drain(wait + AudioOutputLatencyMs()) ? 1 : 0;
}

std::int64_t CPcmOutput::GetPlayedFrames()
{
    return m_pStream ? static_cast<std::int64_t>(m_pStream->PlayedFrames()) : 0;
}

void CPcmOutput::SetPaused(int bPaused)
{
    if (m_pStream) {
        m_pStream->SetPaused(bPaused != 0);
    }
}

void CPcmOutput::Interrupt()
{
    if (m_pStream) {
        m_pStream->Abort();
    }
}

void CPcmOutput::Close()
{
    m_pStream.reset();
}
