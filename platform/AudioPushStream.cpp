#include "platform/AudioPushStream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

CAudioPushStream::CAudioPushStream(const AudioFormat& format, unsigned nBufferMs)
    : m_format(format)
    , m_nCapacityBytes(0)
{
    if (!format.IsValid())
        return;
    const std::size_t frames =
        std::max<std::size_t>(1, static_cast<std::size_t>(format.nRate) * nBufferMs / 1000);
    m_nCapacityBytes = frames * format.FrameBytes();
    m_ring.resize(m_nCapacityBytes);
    m_connection = ConnectAudioSource(*this, format);
}

CAudioPushStream::~CAudioPushStream()
{
    Abort();
    DisconnectAudioSource(m_connection);
}

std::size_t CAudioPushStream::Write(const void* data, std::size_t bytes)
{
    if (m_connection == 0 || data == nullptr)
        return 0;
    const std::size_t frameBytes = m_format.FrameBytes();
    const auto* src = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    std::unique_lock lock(m_mutex);
    while (done < bytes) {
        if (m_bAborted)
            return done;
        if (!m_partial.empty()) {
            const std::size_t take = std::min(frameBytes - m_partial.size(), bytes - done);
            m_partial.insert(m_partial.end(), src + done, src + done + take);
            done += take;
            if (m_partial.size() < frameBytes)
                break;
        }
        m_changed.wait(lock,
                       [&] { return m_bAborted || m_nFill + frameBytes <= m_nCapacityBytes; });
        if (m_bAborted)
            return done;
        if (m_partial.size() == frameBytes) {
            const std::size_t tail = (m_nHead + m_nFill) % m_nCapacityBytes;
            for (std::size_t i = 0; i < frameBytes; ++i)
                m_ring[(tail + i) % m_nCapacityBytes] = m_partial[i];
            m_nFill += frameBytes;
            m_partial.clear();
            continue;
        }
        const std::size_t room = m_nCapacityBytes - m_nFill;
        const std::size_t whole = std::min(room, bytes - done) / frameBytes * frameBytes;
        if (whole == 0) {
            m_partial.assign(src + done, src + bytes);
            done = bytes;
            break;
        }
        const std::size_t tail = (m_nHead + m_nFill) % m_nCapacityBytes;
        const std::size_t first = std::min(whole, m_nCapacityBytes - tail);
        std::memcpy(m_ring.data() + tail, src + done, first);
        std::memcpy(m_ring.data(), src + done + first, whole - first);
        m_nFill += whole;
        done += whole;
    }
    return done;
}

bool CAudioPushStream::Drain(unsigned timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_until(lock, deadline, [&] { return m_bAborted || m_nFill == 0; }) ||
        m_bAborted)
        return false;
    // What was taken last is still in the output's buffers for this long.
    const auto heard =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(AudioOutputLatencyMs());
    const bool bInTime = heard <= deadline;
    m_changed.wait_until(lock, bInTime ? heard : deadline, [&] { return m_bAborted; });
    return !m_bAborted && bInTime;
}

void CAudioPushStream::Abort()
{
    {
        std::lock_guard lock(m_mutex);
        m_bAborted = true;
    }
    m_changed.notify_all();
}

void CAudioPushStream::Reset()
{
    {
        std::lock_guard lock(m_mutex);
        m_bAborted = false;
        m_nHead = 0;
        m_nFill = 0;
        m_partial.clear();
        m_nPlayed = 0;
    }
    m_changed.notify_all();
}

void CAudioPushStream::SetPaused(bool bPaused)
{
    std::lock_guard lock(m_mutex);
    m_bPaused = bPaused;
}

bool CAudioPushStream::IsPaused() const
{
    std::lock_guard lock(m_mutex);
    return m_bPaused;
}

std::uint64_t CAudioPushStream::PlayedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_nPlayed;
}

std::size_t CAudioPushStream::BufferedFrames() const
{
    std::lock_guard lock(m_mutex);
    return m_nFill / m_format.FrameBytes();
}

std::size_t CAudioPushStream::Render(void* buffer, std::size_t frames)
{
    std::size_t bytes = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_bPaused || m_nFill == 0)
            return 0;
        bytes = std::min(frames * m_format.FrameBytes(), m_nFill);
        auto* out = static_cast<unsigned char*>(buffer);
        const std::size_t first = std::min(bytes, m_nCapacityBytes - m_nHead);
        std::memcpy(out, m_ring.data() + m_nHead, first);
        std::memcpy(out + first, m_ring.data(), bytes - first);
        m_nHead = (m_nHead + bytes) % m_nCapacityBytes;
        m_nFill -= bytes;
        m_nPlayed += bytes / m_format.FrameBytes();
    }
    m_changed.notify_all();
    return bytes / m_format.FrameBytes();
}
