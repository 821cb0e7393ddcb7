#include "plugins/PcmOutput.h"

#include <algorithm>
#include <chrono>
#include <thread>

CPcmOutput::~CPcmOutput()
{
    CloseStream();
}

void CPcmOutput::Release()
{
    SORVANE_EXPECT(OnMainThread());
    delete this;
}

void CPcmOutput::SetStreamTicket(const AudioStreamTicket& ticket)
{
    SORVANE_EXPECT(OnMainThread());
    m_ticket = ticket;
}

bool CPcmOutput::OnProducerThread()
{
    if (!m_bProducerKnown.exchange(true))
        m_producer.Claim();
    return m_producer.Mine();
}

int CPcmOutput::Open(int nSampleRate, int nChannels)
{
    return OpenFormat(nSampleRate, nChannels, PLUGIN_PCM_S16);
}

int CPcmOutput::OpenFormat(int nSampleRate, int nChannels, int nSampleFormat)
{
    SORVANE_EXPECT(OnMainThread());
    CloseStream();
    const AudioFormat format{nSampleRate, nChannels,
                             nSampleFormat == PLUGIN_PCM_F32 ? SampleFormat::F32
                                                             : SampleFormat::S16};
    if (!format.IsValid() || (nSampleFormat != PLUGIN_PCM_S16 && nSampleFormat != PLUGIN_PCM_F32))
        return 0;
    m_pStream = CAudioStream::Open(format, kBufferMs, nullptr, m_ticket);
    if (m_pStream == nullptr)
        return 0;
    m_nFrameBytes = format.FrameBytes();
    m_nGeneration = m_pStream->Generation();
    m_bInterrupted.store(false);
    m_producer.Release();
    m_bProducerKnown.store(false);
    return 1;
}

void CPcmOutput::Signal()
{
    if (m_pStream != nullptr) {
        std::atomic<unsigned>& wake = m_pStream->WakeCounter();
        wake.fetch_add(1);
        wake.notify_all();
    }
}

int CPcmOutput::Write(const void* pPcm, int nBytes)
{
    SORVANE_EXPECT(OnProducerThread());
    if (m_pStream == nullptr)
        return -1;
    if (pPcm == nullptr || nBytes <= 0)
        return 0;
    std::atomic<unsigned>& wake = m_pStream->WakeCounter();
    const auto* src = static_cast<const unsigned char*>(pPcm);
    const std::size_t want = static_cast<std::size_t>(nBytes) / m_nFrameBytes;
    std::size_t done = 0;
    bool bWoken = false;
    while (done < want) {
        const unsigned seen = wake.load();
        if (m_bInterrupted.load())
            break;
        const std::size_t space = m_pStream->Space();
        if (space > 0) {
            const std::size_t n = std::min(space, want - done);
            m_pStream->Write(src + done * m_nFrameBytes, n, m_nGeneration);
            done += n;
            continue;
        }
        // Full. After one wake the caller gets control back, so that it can look at the
        // time heard; the output wakes the writer when half the stream has been played.
        if (bWoken)
            break;
        wake.wait(seen);
        bWoken = true;
    }
    return static_cast<int>(done * m_nFrameBytes);
}

void CPcmOutput::Flush()
{
    SORVANE_EXPECT(OnProducerThread());
    if (m_pStream == nullptr)
        return;
    m_nGeneration = m_pStream->Flush();
    m_bInterrupted.store(false);
}

int CPcmOutput::WaitDrained(int nTimeoutMs)
{
    SORVANE_EXPECT(OnProducerThread());
    if (m_pStream == nullptr)
        return 1;
    // Nothing more comes: what a converter still holds is let out.
    m_pStream->Finish(m_nGeneration);
    std::atomic<unsigned>& wake = m_pStream->WakeCounter();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        const unsigned seen = wake.load();
        if (m_bInterrupted.load())
            return 0;
        if (m_pStream->Queued() == 0)
            break;
        // Paused, the stream never runs empty: Resume, Interrupt or Close end the wait, or the
        // deadline at the next wake.
        if (std::chrono::steady_clock::now() >= deadline)
            return 0;
        wake.wait(seen);
    }
    // What the output took last is heard once its own latency has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(m_pStream->LatencyMs()));
    return m_bInterrupted.load() ? 0 : 1;
}

std::int64_t CPcmOutput::GetPlayedFrames()
{
    return m_pStream == nullptr ? 0 : static_cast<std::int64_t>(m_pStream->Played());
}

void CPcmOutput::SetPaused(int bPaused)
{
    SORVANE_EXPECT(OnMainThread());
    if (m_pStream != nullptr)
        m_pStream->SetPaused(bPaused != 0);
}

void CPcmOutput::Interrupt()
{
    m_bInterrupted.store(true);
    Signal();
}

void CPcmOutput::Close()
{
    SORVANE_EXPECT(OnMainThread());
    CloseStream();
}

void CPcmOutput::CloseStream()
{
    Interrupt();
    m_pStream.reset();
}
