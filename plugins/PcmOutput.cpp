#include "plugins/PcmOutput.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

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
    m_format = format;
    m_nFrameBytes = format.FrameBytes();
    const std::size_t frames =
        std::max<std::size_t>(2, static_cast<std::size_t>(nSampleRate) * kBufferMs / 1000);
    m_ring.assign(frames * m_nFrameBytes, 0);
    m_bPaused.store(false);
    return Connect() ? 1 : 0;
}

bool CPcmOutput::Connect()
{
    m_nWritten.store(0);
    m_nRead.store(0);
    m_bInterrupted.store(false);
    m_connection = ConnectAudioSource(*this, m_format);
    return m_connection != 0;
}

int CPcmOutput::Write(const void* pPcm, int nBytes)
{
    if (m_connection == 0) {
        return -1;
    }
    if (pPcm == nullptr || nBytes <= 0) {
        return 0;
    }
    const auto* src = static_cast<const unsigned char*>(pPcm);
    const auto want = static_cast<std::size_t>(nBytes) / m_nFrameBytes * m_nFrameBytes;
    const std::size_t capacity = m_ring.size();
    std::size_t done = 0;
    bool bWoken = false;
    while (done < want) {
        const unsigned seen = m_nSignal.load();
        if (m_bInterrupted.load()) {
            break;
        }
        const std::uint64_t written = m_nWritten.load(std::memory_order_relaxed);
        const auto fill = static_cast<std::size_t>(written - m_nRead.load());
        if (capacity - fill >= m_nFrameBytes) {
            const std::size_t n =
                std::min(capacity - fill, want - done) / m_nFrameBytes * m_nFrameBytes;
            const auto tail = static_cast<std::size_t>(written % capacity);
            const std::size_t first = std::min(n, capacity - tail);
            std::memcpy(m_ring.data() + tail, src + done, first);
            std::memcpy(m_ring.data(), src + done + first, n - first);
            m_nWritten.store(written + n);
            done += n;
            continue;
        }
        // Full. After one wake the caller gets control back, so that it can look at the
        // time heard; Render signals at each whole second and when half the ring is free.
        if (bWoken) {
            break;
        }
        m_nSignal.wait(seen);
        bWoken = true;
    }
    return static_cast<int>(done);
}

std::size_t CPcmOutput::Render(void* buffer, std::size_t frames)
{
    if (m_bPaused.load()) {
        return 0;
    }
    const std::size_t capacity = m_ring.size();
    const std::uint64_t read = m_nRead.load(std::memory_order_relaxed);
    const auto fill = static_cast<std::size_t>(m_nWritten.load() - read);
    const std::size_t n = std::min(fill, frames * m_nFrameBytes);
    if (n == 0) {
        return 0;
    }
    const auto head = static_cast<std::size_t>(read % capacity);
    const std::size_t first = std::min(n, capacity - head);
    auto* out = static_cast<unsigned char*>(buffer);
    std::memcpy(out, m_ring.data() + head, first);
    std::memcpy(out + first, m_ring.data(), n - first);
    m_nRead.store(read + n);
    // Wake the producer when the ring falls to half and when another whole second has been
    // played, and a drain wait when the ring runs empty.
    const std::size_t half = capacity / 2;
    const std::uint64_t secondBytes =
        static_cast<std::uint64_t>(m_format.nRate) * static_cast<std::uint64_t>(m_nFrameBytes);
    if ((fill > half && fill - n <= half) || fill == n ||
        read / secondBytes != (read + n) / secondBytes) {
        Signal();
    }
    return n / m_nFrameBytes;
}

void CPcmOutput::Signal()
{
    m_nSignal.fetch_add(1);
    m_nSignal.notify_all();
}

void CPcmOutput::Flush()
{
    if (m_connection == 0) {
        return;
    }
    // Render must not run while the counters restart.
    DisconnectAudioSource(m_connection);
    m_connection = 0;
    Connect();
}

int CPcmOutput::WaitDrained(int nTimeoutMs)
{
    if (m_connection == 0) {
        return 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        const unsigned seen = m_nSignal.load();
        if (m_bInterrupted.load()) {
            return 0;
        }
        if (m_nRead.load() == m_nWritten.load()) {
            break;
        }
        // Paused, the ring never runs empty: Resume, Interrupt or Close end the wait, or the
        // deadline at the next signal.
        if (std::chrono::steady_clock::now() >= deadline) {
            return 0;
        }
        m_nSignal.wait(seen);
    }
    // What Render took last is heard once the output's own latency has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(AudioOutputLatencyMs()));
    return m_bInterrupted.load() ? 0 : 1;
}

std::int64_t CPcmOutput::GetPlayedFrames()
{
    return m_nFrameBytes == 0 ? 0 : static_cast<std::int64_t>(m_nRead.load() / m_nFrameBytes);
}

void CPcmOutput::SetPaused(int bPaused)
{
    m_bPaused.store(bPaused != 0);
    Signal();
}

void CPcmOutput::Interrupt()
{
    m_bInterrupted.store(true);
    Signal();
}

void CPcmOutput::Close()
{
    Interrupt();
    if (m_connection != 0) {
        DisconnectAudioSource(m_connection);
        m_connection = 0;
    }
    m_nWritten.store(0);
    m_nRead.store(0);
}
