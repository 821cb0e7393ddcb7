#pragma once

#include "audio/ChannelFold.h"
#include "audio/SoundOutput.h"
#include "audio/WakeSignal.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

struct soxr;

// Counts underruns for AudioOutputUnderruns (in AudioStreamImpl.cpp).
extern std::atomic<std::uint64_t> g_nAudioUnderruns;

// A stream gain as the output takes it: 0..kMaxAudioStreamGain, NaN as 1.
float ClampStreamGain(float gain);

// Follow-on: what ties a held stream to its leader's end (see CAudioStreamTicket).
struct FollowCue
{
    std::atomic<bool> bReached{false};
    // Frames into the pull (mix frames) at which the leader's end was reached; 0 when it was
    // reached outside a pull.
    std::atomic<std::size_t> nAt{0};
    // Manual clock: the leader's frames of the Advance after its end, and the leader's rate.
    std::atomic<std::uint64_t> nLeftover{0};
    std::atomic<int> nLeaderRate{0};
};

// The shared state of one stream: its ring of ready frames (in the output's mix format, or the
// stream's own for the manual clock) and the conversion into it.
//
// Sizes: the ring holds what the producer asked to keep ahead (kMinAheadMs to kMaxAheadMs), plus
// room for one whole chunk of the producer (kMaxChunk source frames, converted, with the
// converter's slack). The producer is woken when what is queued falls to half of what is
// kept ahead, so that a producer that waits for room for a whole chunk always finds it when
// woken, at any rate and channel count.
//
// Threads: producer-only members are touched by the producer alone; the ring's indices
// change under m_lock, which is held only for a copy of frames or an index change, and are
// also atomics so that queries read them without the lock.
class CAudioStreamImpl
{
public:
    static constexpr std::uint64_t kNoEnd = std::numeric_limits<std::uint64_t>::max();

    // framesNews (may be null, must outlive the stream) is released once, by the producer,
    // when the stream's first frames are in (or it finished without any): an output waiting
    // to open its device until there is sound to play hears of it so.
    CAudioStreamImpl(const AudioFormat& source, const AudioFormat& ring, unsigned ringMs,
                     unsigned latencyMs, IAudioStreamOwner* owner,
                     CWakeSignal* framesNews = nullptr);
    ~CAudioStreamImpl();

    // Producer.
    std::size_t Space() const;
    bool Write(const void* frames, std::size_t count, std::uint32_t generation, bool bEnd);
    void MarkEnd(std::uint32_t generation);
    void Finish(std::uint32_t generation);

    // Control.
    std::uint32_t Flush();
    void SetPaused(bool bPaused);
    std::uint64_t Played() const;

    // Consumer (the output's thread, with the output's render lock held). Copies up to
    // frames frames of the ring's format into out; sets bEnded when the end has now been
    // heard.
    std::size_t Pull(void* out, std::size_t frames, bool bRealTime, bool& bEnded);
    // The manual clock: whether frames more are worth waiting for.
    bool Producing() const
    {
        return !m_bFinished.load() && !m_bPaused.load() && !m_bClosed.load() && !m_bDetached.load();
    }
    std::size_t Queued() const
    {
        return static_cast<std::size_t>(m_nWritten.load() - m_nRead.load());
    }
    // Any thread: the producer has written frames or finished (with none).
    bool Begun() const { return m_nWritten.load() > 0 || m_bFinished.load(); }

    // Consumer: a pull of frames now takes ready frames only and stops short of the end, so
    // that no follower starts within it.
    bool EndsBeyond(std::size_t frames) const
    {
        const std::uint64_t end = m_nEndRing.load();
        return Queued() > frames && (end == kNoEnd || m_nPlayedRing.load() + frames < end);
    }

    void Wake()
    {
        m_nWake.fetch_add(1);
        m_nWake.notify_all();
    }

    // Follow-on. A follower's cue is set before the stream joins the mix and never changes.
    bool HeldBehindLeader() const { return m_pCueIn != nullptr && !m_pCueIn->bReached.load(); }
    // Leader, any thread: cue is reached once this stream's end is; at once when it already is.
    void AttachFollower(const std::shared_ptr<FollowCue>& cue);
    // Leader, on disconnect: a follower still held starts.
    void ReleaseFollower();
    std::shared_ptr<FollowCue> m_pCueIn;
    // Consumer, manual clock only: the cue reached in the last Pull, for the clock to complete.
    std::shared_ptr<FollowCue> m_pCueJustReached;

    const AudioFormat m_source;
    const AudioFormat m_ring;
    // The output's latency (LatencyMs); the output sets it anew when a device opens under
    // streams that were waiting for it.
    std::atomic<unsigned> m_nLatencyMs;
    IAudioStreamOwner* const m_pOwner;
    std::atomic<unsigned> m_nWake{0};
    // Multiplies the stream where it is mixed; 1 multiplies nothing. Any thread stores it,
    // the output reads it once per pull.
    std::atomic<float> m_fGain{1.0f};
    std::atomic<bool> m_bPaused{false};
    std::atomic<bool> m_bEnded{false};
    std::atomic<bool> m_bEndPending{false}; // heard, the owner not told yet
    std::atomic<bool> m_bClosed{false};
    std::atomic<bool> m_bDetached{false};
    std::atomic<std::uint32_t> m_nGeneration{1};
    std::atomic<std::uint64_t> m_nWritten{0}; // ring frames ever written
    std::atomic<std::uint64_t> m_nRead{0};    // ring frames ever taken out
    // Manual clock: milliseconds and frames pulled so far.
    std::uint64_t m_nClockMs = 0;
    std::uint64_t m_nClockFrames = 0;

private:
    // The ring takes the source's frames as they are.
    bool Direct() const
    {
        return m_source.nRate == m_ring.nRate && m_source.nChannels == m_ring.nChannels &&
               m_source.format == m_ring.format;
    }
    std::uint64_t ToSource(std::uint64_t ringFrames) const;
    // Producer: converts count source frames into m_pending.
    void Convert(const void* frames, std::size_t count);
    // Producer: moves pending frames into the ring as far as they fit (m_lock held).
    void MovePendingLocked();
    void CopyIn(const unsigned char* data, std::size_t frames);
    // m_lock held: the end is everything written so far.
    void MarkEndLocked();
    // Producer, m_lock held: writing after Finish goes on with the same piece.
    void ReopenLocked()
    {
        if (m_bFinished.load()) {
            m_bFinished.store(false);
            m_bEnded.store(false);
            m_nAfterEnd = 0;
        }
    }

    const std::size_t m_nAheadFrames; // what the producer keeps ahead, in ring frames
    const std::size_t m_nRingFrames;
    const std::size_t m_nFrameBytes; // of the ring's format
    std::vector<unsigned char> m_buffer;

    mutable std::mutex m_lock;
    std::atomic<std::uint64_t> m_nPlayedRing{0}; // ring frames played in this generation
    std::atomic<std::uint64_t> m_nSourceWritten{0};
    std::atomic<std::uint64_t> m_nEndRing{kNoEnd};
    std::atomic<bool> m_bFinished{false};
    std::shared_ptr<FollowCue> m_pCueOut; // leader's follower, under m_lock
    bool m_bHadFrames = false;            // consumer: frames came in this generation
    std::uint64_t m_nAfterEnd = 0;        // consumer: frames of silence since the end was reached
    std::atomic<std::uint64_t> m_nPending{0}; // producer's converted frames not yet in the ring

    // Producer only.
    // Releases m_pFramesNews the first time.
    void TellFrames()
    {
        if (m_pFramesNews != nullptr && !m_bToldFrames) {
            m_bToldFrames = true;
            m_pFramesNews->Release();
        }
    }
    CWakeSignal* const m_pFramesNews;
    bool m_bToldFrames = false;
    std::atomic<bool> m_bProducerBusy{false}; // a Write or Finish is under way
    std::uint32_t m_nProducerGeneration = 0;
    const CChannelFold m_fold;
    soxr* m_pResampler = nullptr;
    std::vector<float> m_folded;
    std::vector<float> m_resampled;
    std::vector<unsigned char> m_pending;
    std::size_t m_nPendingStart = 0;
};
