#include "audio/AudioStreamImpl.h"

#include "audio/Samples.h"
#include "base/Contract.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>

std::atomic<std::uint64_t> g_nAudioUnderruns{0};

namespace {

// Ring frames that one chunk of kMaxChunk source frames needs, converted, with the slack
// Space() keeps back.
std::size_t ChunkRoom(const AudioFormat& source, const AudioFormat& ring, bool bDirect)
{
    if (bDirect)
        return kMaxChunk;
    const auto converted = static_cast<std::size_t>(
        std::ceil(static_cast<double>(kMaxChunk) * ring.nRate / source.nRate));
    return converted + 2 * kConverterSlack + 1;
}

// Write and Finish work on the producer's own members (the converter, what it has pending):
// two threads producing into one stream at once would tear them. Checked while a call lasts.
class CProducerCall
{
public:
    explicit CProducerCall(std::atomic<bool>& busy)
        : m_busy(busy)
    {
        SORVANE_EXPECT(!busy.exchange(true));
    }
    ~CProducerCall() { m_busy.store(false); }
    CProducerCall(const CProducerCall&) = delete;
    CProducerCall& operator=(const CProducerCall&) = delete;

private:
    std::atomic<bool>& m_busy;
};

} // namespace

CAudioStreamImpl::CAudioStreamImpl(const AudioFormat& source, const AudioFormat& ring,
                                   unsigned ringMs, unsigned latencyMs, IAudioStreamOwner* owner,
                                   CWakeSignal* framesNews)
    : m_source(source)
    , m_ring(ring)
    , m_nLatencyMs(latencyMs)
    , m_pOwner(owner)
    , m_nAheadFrames(static_cast<std::size_t>(ring.nRate) *
                     std::clamp(ringMs, kMinAheadMs, kMaxAheadMs) / 1000)
    , m_nRingFrames(m_nAheadFrames + ChunkRoom(source, ring, Direct()))
    , m_nFrameBytes(ring.FrameBytes())
    , m_buffer(m_nRingFrames * m_nFrameBytes)
    , m_pFramesNews(framesNews)
    , m_fold(source)
{
    if (!Direct()) {
        m_folded.resize(kMaxChunk * kMixChannels);
        const double ratio = static_cast<double>(ring.nRate) / source.nRate;
        const auto most = static_cast<std::size_t>(std::ceil(kMaxChunk * ratio)) + kConverterSlack;
        m_resampled.resize(most * kMixChannels);
        m_pending.reserve(most * m_nFrameBytes * 2);
        if (ring.nRate != source.nRate) {
            soxr_error_t error = nullptr;
            const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
            m_pResampler = soxr_create(source.nRate, ring.nRate, kMixChannels, &error, nullptr,
                                       &quality, nullptr);
        }
    }
}

CAudioStreamImpl::~CAudioStreamImpl()
{
    if (m_pResampler != nullptr)
        soxr_delete(m_pResampler);
}

std::uint64_t CAudioStreamImpl::ToSource(std::uint64_t ringFrames) const
{
    if (m_ring.nRate == m_source.nRate)
        return ringFrames;
    return ringFrames * static_cast<std::uint64_t>(m_source.nRate) /
           static_cast<std::uint64_t>(m_ring.nRate);
}

std::size_t CAudioStreamImpl::Space() const
{
    const std::uint64_t fill = m_nWritten.load() - m_nRead.load();
    std::uint64_t free = m_nRingFrames - std::min<std::uint64_t>(fill, m_nRingFrames);
    if (Direct())
        return static_cast<std::size_t>(free);
    const std::uint64_t reserved = m_nPending.load() + kConverterSlack;
    free = free > reserved ? free - reserved : 0;
    return static_cast<std::size_t>(ToSource(free));
}

void CAudioStreamImpl::CopyIn(const unsigned char* data, std::size_t frames)
{
    const std::uint64_t written = m_nWritten.load(std::memory_order_relaxed);
    const auto at = static_cast<std::size_t>(written % m_nRingFrames);
    const std::size_t first = std::min(frames, m_nRingFrames - at);
    std::memcpy(m_buffer.data() + at * m_nFrameBytes, data, first * m_nFrameBytes);
    std::memcpy(m_buffer.data(), data + first * m_nFrameBytes, (frames - first) * m_nFrameBytes);
    m_nWritten.store(written + frames);
}

void CAudioStreamImpl::Convert(const void* frames, std::size_t count)
{
    // Fold to float stereo by the channels' speaker positions.
    if (frames != nullptr)
        m_fold.Fold(frames, m_source.format, count, m_folded.data());
    const float* out = m_folded.data();
    std::size_t outFrames = count;
    if (m_pResampler != nullptr) {
        std::size_t done = 0;
        outFrames = 0;
        const std::size_t capacity = m_resampled.size() / kMixChannels;
        while (done < count || (frames == nullptr && outFrames < capacity)) {
            std::size_t used = 0;
            std::size_t made = 0;
            soxr_process(m_pResampler, frames == nullptr ? nullptr : m_folded.data() + 2 * done,
                         count - done, &used, m_resampled.data() + 2 * outFrames,
                         capacity - outFrames, &made);
            done += used;
            outFrames += made;
            if (made == 0 && used == 0)
                break;
        }
        out = m_resampled.data();
    }
    // To the ring's sample format, after what is pending.
    const std::size_t at = m_pending.size();
    m_pending.resize(at + outFrames * m_nFrameBytes);
    unsigned char* dst = m_pending.data() + at;
    if (m_ring.format == SampleFormat::F32) {
        std::memcpy(dst, out, outFrames * m_nFrameBytes);
    } else {
        for (std::size_t i = 0; i < outFrames * kMixChannels; ++i) {
            const std::int16_t s = ToS16(out[i]);
            std::memcpy(dst + 2 * i, &s, 2);
        }
    }
    m_nPending.store((m_pending.size() - m_nPendingStart) / m_nFrameBytes);
}

void CAudioStreamImpl::MovePendingLocked()
{
    const std::uint64_t fill = m_nWritten.load() - m_nRead.load();
    const std::size_t free = m_nRingFrames - static_cast<std::size_t>(fill);
    const std::size_t pending = (m_pending.size() - m_nPendingStart) / m_nFrameBytes;
    const std::size_t n = std::min(free, pending);
    CopyIn(m_pending.data() + m_nPendingStart, n);
    m_nPendingStart += n * m_nFrameBytes;
    if (m_nPendingStart == m_pending.size()) {
        m_pending.clear();
        m_nPendingStart = 0;
    }
    m_nPending.store((m_pending.size() - m_nPendingStart) / m_nFrameBytes);
}

bool CAudioStreamImpl::Write(const void* frames, std::size_t count, std::uint32_t generation,
                             bool bEnd)
{
    if (generation != m_nGeneration.load())
        return false;
    const CProducerCall producing(m_bProducerBusy);
    if (generation != m_nProducerGeneration) {
        // The first write after a flush: the conversion starts afresh.
        m_nProducerGeneration = generation;
        if (m_pResampler != nullptr)
            soxr_clear(m_pResampler);
        m_pending.clear();
        m_nPendingStart = 0;
        m_nPending.store(0);
    }
    const auto* bytes = static_cast<const unsigned char*>(frames);
    const std::size_t sourceBytes = m_source.FrameBytes();
    std::size_t done = 0;
    do {
        const std::size_t n = std::min(count - done, kMaxChunk);
        if (!Direct())
            Convert(bytes + done * sourceBytes, n);
        std::lock_guard lock(m_lock);
        if (generation != m_nGeneration.load())
            return false;
        ReopenLocked();
        if (Direct()) {
            const std::uint64_t fill = m_nWritten.load() - m_nRead.load();
            const std::size_t take = std::min(n, m_nRingFrames - static_cast<std::size_t>(fill));
            CopyIn(bytes + done * sourceBytes, take);
        } else {
            MovePendingLocked();
        }
        m_nSourceWritten.fetch_add(n);
        done += n;
        // The end goes in with the last frames, so that the output never takes them
        // without knowing that they end the piece.
        if (bEnd && done == count)
            MarkEndLocked();
    } while (done < count);
    TellFrames();
    return true;
}

void CAudioStreamImpl::MarkEndLocked()
{
    const std::uint64_t source = m_nSourceWritten.load();
    std::uint64_t ring = source;
    if (m_ring.nRate != m_source.nRate)
        ring = (source * static_cast<std::uint64_t>(m_ring.nRate) +
                static_cast<std::uint64_t>(m_source.nRate) - 1) /
               static_cast<std::uint64_t>(m_source.nRate);
    m_nEndRing.store(ring);
}

void CAudioStreamImpl::MarkEnd(std::uint32_t generation)
{
    std::lock_guard lock(m_lock);
    if (generation != m_nGeneration.load())
        return;
    MarkEndLocked();
}

void CAudioStreamImpl::Finish(std::uint32_t generation)
{
    if (generation != m_nGeneration.load())
        return;
    const CProducerCall producing(m_bProducerBusy);
    if (m_pResampler != nullptr && generation == m_nProducerGeneration)
        Convert(nullptr, 0); // what the resampler still holds
    std::lock_guard lock(m_lock);
    if (generation != m_nGeneration.load())
        return;
    if (!Direct()) {
        MovePendingLocked();
        // What does not fit now is dropped; a producer waits for Space() first.
        m_pending.clear();
        m_nPendingStart = 0;
        m_nPending.store(0);
    }
    m_bFinished.store(true);
    TellFrames();
}

std::uint32_t CAudioStreamImpl::Flush()
{
    std::uint32_t generation = 0;
    {
        std::lock_guard lock(m_lock);
        m_nRead.store(m_nWritten.load());
        m_nPlayedRing.store(0);
        m_nSourceWritten.store(0);
        m_nEndRing.store(kNoEnd);
        m_bFinished.store(false);
        m_bEnded.store(false);
        m_bEndPending.store(false);
        m_bHadFrames = false;
        m_nAfterEnd = 0;
        generation = m_nGeneration.load() + 1;
        if (generation == 0)
            generation = 1;
        m_nGeneration.store(generation);
    }
    Wake();
    return generation;
}

void CAudioStreamImpl::SetPaused(bool bPaused)
{
    {
        std::lock_guard lock(m_lock);
        m_bPaused.store(bPaused);
    }
    Wake();
}

std::uint64_t CAudioStreamImpl::Played() const
{
    return ToSource(m_nPlayedRing.load());
}

void CAudioStreamImpl::AttachFollower(const std::shared_ptr<FollowCue>& cue)
{
    std::lock_guard lock(m_lock);
    const std::uint64_t endRing = m_nEndRing.load();
    const bool bReached = m_bEnded.load() || m_bClosed.load() ||
                          (endRing != kNoEnd && m_nPlayedRing.load() >= endRing) ||
                          (m_bFinished.load() && Queued() == 0);
    if (bReached)
        cue->bReached.store(true);
    else
        m_pCueOut = cue;
}

void CAudioStreamImpl::ReleaseFollower()
{
    std::lock_guard lock(m_lock);
    if (m_pCueOut != nullptr)
        m_pCueOut->bReached.store(true);
    m_pCueOut.reset();
}

std::size_t CAudioStreamImpl::Pull(void* out, std::size_t frames, bool bRealTime, bool& bEnded)
{
    // A follower sounds nothing, and misses nothing, until its leader's end.
    if (HeldBehindLeader())
        return 0;
    std::lock_guard lock(m_lock);
    if (m_bPaused.load() || m_bClosed.load())
        return 0;
    const std::uint64_t written = m_nWritten.load();
    const std::uint64_t read = m_nRead.load();
    const std::uint64_t fill = written - read;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(fill, frames));
    const auto at = static_cast<std::size_t>(read % m_nRingFrames);
    const std::size_t first = std::min(n, m_nRingFrames - at);
    auto* dst = static_cast<unsigned char*>(out);
    std::memcpy(dst, m_buffer.data() + at * m_nFrameBytes, first * m_nFrameBytes);
    std::memcpy(dst + first * m_nFrameBytes, m_buffer.data(), (n - first) * m_nFrameBytes);
    m_nRead.store(read + n);
    const std::uint64_t played = m_nPlayedRing.load() + n;
    m_nPlayedRing.store(played);
    if (n > 0)
        m_bHadFrames = true;

    // The producer wakes when what is queued falls to half of what it keeps ahead (the room
    // is then at least half of that and a whole chunk), when the ring runs short, and at
    // every whole second played (so that a decoder can report the time heard).
    const auto second = static_cast<std::uint64_t>(m_ring.nRate);
    const std::uint64_t low = m_nAheadFrames / 2;
    bool bWake =
        (fill > low && fill - n <= low) || n < frames || played / second != (played - n) / second;
    const std::uint64_t endRing = m_nEndRing.load();
    const bool bFinished = m_bFinished.load();
    if (!m_bEnded.load() && (endRing != kNoEnd || (bFinished && n == fill))) {
        const bool bReached = played >= endRing || (bFinished && n == fill);
        if (bReached && m_pCueOut != nullptr && !m_pCueOut->bReached.load()) {
            // The follower starts right after the last frame before the end. The cue stays
            // with the leader until it is disconnected: letting it go here might free it on
            // the real-time thread.
            const std::uint64_t past =
                endRing != kNoEnd && played >= endRing ? played - endRing : 0;
            m_pCueOut->nAt.store(n - static_cast<std::size_t>(std::min<std::uint64_t>(past, n)));
            m_pCueOut->bReached.store(true);
            if (!bRealTime)
                m_pCueJustReached = m_pCueOut;
        }
        if (bReached) {
            const std::uint64_t beyond =
                played >= endRing && endRing != kNoEnd ? played - endRing : 0;
            m_nAfterEnd += frames - n;
            const std::uint64_t tail = static_cast<std::uint64_t>(m_ring.nRate) *
                                       m_nLatencyMs.load(std::memory_order_relaxed) / 1000;
            if (beyond + m_nAfterEnd >= tail) {
                m_bEnded.store(true);
                m_bEndPending.store(true);
                bEnded = true;
                bWake = true;
            }
        }
    } else if (bRealTime && n < frames && !bFinished && m_bHadFrames && !m_bEnded.load() &&
               endRing == kNoEnd) {
        g_nAudioUnderruns.fetch_add(1);
    }
    if (bWake) {
        m_nWake.fetch_add(1);
        m_nWake.notify_all();
    }
    return n;
}
