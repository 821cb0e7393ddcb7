#include "audio/SoundOutput.h"

#include <SDL.h>
#include <dlfcn.h>
#include <soxr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>

namespace {

constexpr int kMixChannels = 2;
// The silent output's pull period: long enough to cost next to nothing, short enough for a
// display that refreshes every 450 ms.
constexpr auto kSilentTick = std::chrono::milliseconds(40);
// What the silent output reports as its latency: one tick.
constexpr unsigned kSilentLatencyMs = static_cast<unsigned>(kSilentTick.count());
// How often the service thread looks whether SDL has reported the device removed.
constexpr auto kWatchTick = std::chrono::milliseconds(100);
// The manual clock waits this long at most for a producer that is still producing.
constexpr auto kManualWait = std::chrono::seconds(5);
constexpr std::size_t kMaxStreams = 32;
// The producer converts at most this many frames at a time.
constexpr std::size_t kMaxChunk = 4096;
// Room kept free for what a converter may emit beyond the input's share.
constexpr std::size_t kConverterSlack = 2048;
constexpr std::uint64_t kNoEnd = std::numeric_limits<std::uint64_t>::max();

float ToFloat(std::int16_t s)
{
    return static_cast<float>(s) / 32768.0f;
}

std::int16_t ToS16(float f)
{
    const float scaled = f * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(std::lrintf(scaled));
}

// Sample i of interleaved data in format, as a float.
float SampleAt(const void* data, SampleFormat format, std::size_t i)
{
    if (format == SampleFormat::F32)
        return static_cast<const float*>(data)[i];
    return ToFloat(static_cast<const std::int16_t*>(data)[i]);
}

void AppendAsFloat(const void* data, std::size_t frames, const AudioFormat& format,
                   std::vector<float>& out)
{
    const std::size_t n = frames * static_cast<std::size_t>(format.nChannels);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(SampleAt(data, format.format, i));
}

void DiscardSdlLog(void*, int, SDL_LogPriority, const char*) {}

void DiscardAlsaError(const char*, int, const char*, int, const char*, ...) {}

// SDL loads ALSA's library at run time, and ALSA reports every failed probe (a machine
// without a sound card is normal) on standard error unless told otherwise. The library stays
// loaded, so SDL gets the same one, with this handler.
void QuietAlsa()
{
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr)
        return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (void* set = dlsym(alsa, "snd_lib_error_set_handler"); set != nullptr)
        reinterpret_cast<SetHandler>(set)(DiscardAlsaError);
}

std::uint16_t DeviceBufferFrames(int rate)
{
    // About 20 ms, as a power of two.
    std::uint16_t frames = 256;
    while (frames < 8192 && frames * 50 < rate)
        frames = static_cast<std::uint16_t>(frames * 2);
    return frames;
}

std::atomic<std::uint64_t> g_nUnderruns{0};
// The mix's gain, 0..1.
std::atomic<double> g_dVolume{1.0};

} // namespace

// The shared state of one stream. Producer-only members are touched by the producer alone;
// the ring's indices change under m_lock, which is held only for a copy of frames or an
// index change, and are also atomics so that queries read them without the lock.
class CAudioStreamImpl
{
public:
    CAudioStreamImpl(const AudioFormat& source, const AudioFormat& ring, unsigned ringMs,
                     unsigned latencyMs, IAudioStreamOwner* owner);
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

    void Wake()
    {
        m_nWake.fetch_add(1);
        m_nWake.notify_all();
    }

    const AudioFormat m_source;
    const AudioFormat m_ring;
    const unsigned m_nLatencyMs;
    IAudioStreamOwner* const m_pOwner;
    std::atomic<unsigned> m_nWake{0};
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
    bool Direct() const { return m_source == m_ring; }
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

    const std::size_t m_nRingFrames;
    const std::size_t m_nFrameBytes; // of the ring's format
    const std::uint64_t m_nTailFrames;
    std::vector<unsigned char> m_buffer;

    mutable std::mutex m_lock;
    std::atomic<std::uint64_t> m_nPlayedRing{0}; // ring frames played in this generation
    std::atomic<std::uint64_t> m_nSourceWritten{0};
    std::atomic<std::uint64_t> m_nEndRing{kNoEnd};
    std::atomic<bool> m_bFinished{false};
    bool m_bHadFrames = false;     // consumer: frames came in this generation
    std::uint64_t m_nAfterEnd = 0; // consumer: frames of silence since the end was reached
    std::atomic<std::uint64_t> m_nPending{0}; // producer's converted frames not yet in the ring

    // Producer only.
    std::uint32_t m_nProducerGeneration = 0;
    soxr_t m_pResampler = nullptr;
    std::vector<float> m_folded;
    std::vector<float> m_resampled;
    std::vector<unsigned char> m_pending;
    std::size_t m_nPendingStart = 0;
};

CAudioStreamImpl::CAudioStreamImpl(const AudioFormat& source, const AudioFormat& ring,
                                   unsigned ringMs, unsigned latencyMs, IAudioStreamOwner* owner)
    : m_source(source)
    , m_ring(ring)
    , m_nLatencyMs(latencyMs)
    , m_pOwner(owner)
    , m_nRingFrames(std::max<std::size_t>(static_cast<std::size_t>(ring.nRate) * ringMs / 1000,
                                          2 * kMaxChunk + kConverterSlack))
    , m_nFrameBytes(ring.FrameBytes())
    , m_nTailFrames(static_cast<std::uint64_t>(ring.nRate) * latencyMs / 1000)
    , m_buffer(m_nRingFrames * m_nFrameBytes)
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
    // Fold to float stereo.
    const int channels = m_source.nChannels;
    for (std::size_t f = 0; f < count; ++f) {
        const std::size_t base = f * static_cast<std::size_t>(channels);
        float left = 0.0f;
        float right = 0.0f;
        if (channels == 1) {
            left = right = SampleAt(frames, m_source.format, base);
        } else {
            int nLeft = 0;
            int nRight = 0;
            for (int c = 0; c < channels; ++c) {
                const float s =
                    SampleAt(frames, m_source.format, base + static_cast<std::size_t>(c));
                if (c % 2 == 0) {
                    left += s;
                    ++nLeft;
                } else {
                    right += s;
                    ++nRight;
                }
            }
            left /= static_cast<float>(nLeft);
            right /= static_cast<float>(nRight);
        }
        m_folded[2 * f] = left;
        m_folded[2 * f + 1] = right;
    }
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

std::size_t CAudioStreamImpl::Pull(void* out, std::size_t frames, bool bRealTime, bool& bEnded)
{
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

    // The producer wakes when the ring falls to half, when it runs short, and at every whole
    // second played (so that a decoder can report the time heard).
    const auto second = static_cast<std::uint64_t>(m_ring.nRate);
    bool bWake = (fill > m_nRingFrames / 2 && fill - n <= m_nRingFrames / 2) || n < frames ||
                 played / second != (played - n) / second;
    const std::uint64_t endRing = m_nEndRing.load();
    const bool bFinished = m_bFinished.load();
    if (!m_bEnded.load() && (endRing != kNoEnd || (bFinished && n == fill))) {
        const bool bReached = played >= endRing || (bFinished && n == fill);
        if (bReached) {
            const std::uint64_t beyond =
                played >= endRing && endRing != kNoEnd ? played - endRing : 0;
            m_nAfterEnd += frames - n;
            if (beyond + m_nAfterEnd >= m_nTailFrames) {
                m_bEnded.store(true);
                m_bEndPending.store(true);
                bEnded = true;
                bWake = true;
            }
        }
    } else if (bRealTime && n < frames && !bFinished && m_bHadFrames && !m_bEnded.load() &&
               endRing == kNoEnd) {
        g_nUnderruns.fetch_add(1);
    }
    if (bWake) {
        m_nWake.fetch_add(1);
        m_nWake.notify_all();
    }
    return n;
}

namespace {

struct Slot
{
    CAudioStreamImpl* stream = nullptr;
};

class COutput
{
public:
    std::shared_ptr<CAudioStreamImpl> Connect(const AudioFormat& format, unsigned ringMs,
                                              IAudioStreamOwner* owner);
    void Disconnect(const std::shared_ptr<CAudioStreamImpl>& stream);
    void Detach(std::shared_ptr<CAudioStreamImpl> stream);
    AudioOutputKind Open();
    bool Select(AudioOutputKind kind);
    std::size_t Advance(unsigned ms, std::vector<float>* captured);
    void Close();
    unsigned LatencyMs() const { return m_nLatencyMs.load(); }
    AudioFormat Format()
    {
        std::lock_guard control(m_control);
        return m_mix;
    }
    void Stall(unsigned ms) { m_nStallMs.store(ms); }
    void Lose()
    {
        m_bLost.store(true);
        m_wake.release();
    }

private:
    void OpenLocked(AudioOutputKind kind, const AudioFormat& format);
    // Mixes at mix without a device (silent or manual clock): buffers for a tenth of a
    // second, and the silent clock starting now. The caller holds m_render, or nothing mixes.
    void MixWithoutDevice(const AudioFormat& mix);
    void CloseLocked();
    // With m_control held: lets go of the streams that were playing out after their close.
    void DropDetachedLocked();
    bool OpenDevice(const AudioFormat& format, bool bExact);
    void CloseDevice();
    void ServiceThread();
    void Recover();
    void DeviceCallback(Uint8* out, int len);
    // With m_render held: mixes frames frames of every playing stream into out (the
    // device's format); returns whether a stream's end was heard.
    bool MixLocked(void* out, std::size_t frames);
    // Tells owners whose ends were heard, and releases detached streams that have played out.
    void Service();
    unsigned DeviceLatencyMs() const;

    // Held by the functions that open, close or reopen the output or change its streams,
    // never by the output's real-time thread, so they may wait for it.
    std::mutex m_control;
    // Held while mixing and while the stream table changes.
    std::mutex m_render;
    // Held while owners are told; Disconnect takes it so that no owner is told afterwards.
    std::mutex m_hooks;

    std::atomic<bool> m_bOpen{false};
    std::atomic<AudioOutputKind> m_kind{AudioOutputKind::Silent};
    AudioFormat m_mix{44100, kMixChannels, SampleFormat::S16};
    std::vector<std::shared_ptr<CAudioStreamImpl>> m_streams; // owned, under m_control
    std::array<Slot, kMaxStreams> m_table{};                  // what mixing reads, m_render
    SDL_AudioDeviceID m_device = 0;
    SDL_AudioSpec m_have{};
    bool m_bSdl = false;
    std::vector<float> m_mixBuffer;
    std::vector<unsigned char> m_pullBuffer;
    std::vector<unsigned char> m_scratch;

    std::thread m_service;
    std::atomic<bool> m_bServiceStop{false};
    std::binary_semaphore m_wake{0};
    std::chrono::steady_clock::time_point m_silentStart;
    std::uint64_t m_nSilentFrames = 0;
    bool m_bToldSilent = false;
    std::atomic<unsigned> m_nLatencyMs{0};
    std::atomic<unsigned> m_nStallMs{0};
    std::atomic<bool> m_bLost{false};
};

COutput& TheOutput()
{
    static COutput* output = new COutput;
    return *output;
}

// Closes SDL's device at exit so that a file output (SDL's disk driver) is complete.
struct CloseAtExit
{
    ~CloseAtExit() { CloseAudioOutput(); }
} g_closeAtExit;

bool COutput::OpenDevice(const AudioFormat& format, bool bExact)
{
    if (!m_bSdl) {
        SDL_LogSetOutputFunction(DiscardSdlLog, nullptr);
        QuietAlsa();
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        // The removal of a device is read from its status; nobody drains SDL's event queue.
        SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
        SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);
        m_bSdl = true;
    }
    SDL_AudioSpec want{};
    want.freq = format.nRate;
    want.format = format.format == SampleFormat::S16 ? AUDIO_S16SYS : AUDIO_F32SYS;
    want.channels = kMixChannels;
    want.samples = DeviceBufferFrames(format.nRate);
    want.userdata = this;
    want.callback = [](void* self, Uint8* out, int len) {
        static_cast<COutput*>(self)->DeviceCallback(out, len);
    };
    // The device's own rate when it cannot take the medium's (then libsoxr converts); a
    // reopened device keeps the rate the streams were made for, and SDL converts.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &m_have,
                                   bExact ? 0 : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_device == 0)
        return false;
    m_mix = AudioFormat{m_have.freq, kMixChannels, format.format};
    const std::size_t frames = std::max<std::size_t>(m_have.samples, 256) * 2;
    m_mixBuffer.assign(frames * kMixChannels, 0.0f);
    m_pullBuffer.assign(frames * m_mix.FrameBytes(), 0);
    return true;
}

void COutput::CloseDevice()
{
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
}

unsigned COutput::DeviceLatencyMs() const
{
    // The driver's buffer and the one being filled.
    return 2 * 1000u * m_have.samples / static_cast<unsigned>(m_have.freq);
}

void COutput::OpenLocked(AudioOutputKind kind, const AudioFormat& format)
{
    std::string reason;
    const AudioFormat mix{format.nRate, kMixChannels, format.format};
    if (kind == AudioOutputKind::Device) {
        if (OpenDevice(mix, false)) {
            m_kind = AudioOutputKind::Device;
            m_bOpen = true;
            m_nLatencyMs = DeviceLatencyMs();
        } else {
            reason = SDL_GetError();
            kind = AudioOutputKind::Silent;
        }
    }
    if (kind != AudioOutputKind::Device) {
        m_kind = kind;
        m_bOpen = true;
        MixWithoutDevice(mix);
        m_nLatencyMs = kind == AudioOutputKind::Silent ? kSilentLatencyMs : 0;
        if (kind == AudioOutputKind::Silent && !m_bToldSilent) {
            m_bToldSilent = true;
            std::fprintf(stderr,
                         "sorvane: no sound device could be opened (%s); playing silently\n",
                         reason.empty() ? "none chosen" : reason.c_str());
        }
    }
    m_silentStart = std::chrono::steady_clock::now();
    m_nSilentFrames = 0;
    if (m_kind != AudioOutputKind::ManualClock) {
        m_bServiceStop = false;
        m_service = std::thread([this] { ServiceThread(); });
    }
}

void COutput::MixWithoutDevice(const AudioFormat& mix)
{
    m_mix = mix;
    const std::size_t frames = static_cast<std::size_t>(mix.nRate) / 10;
    m_mixBuffer.assign(frames * kMixChannels, 0.0f);
    m_pullBuffer.assign(frames * mix.FrameBytes(), 0);
    m_silentStart = std::chrono::steady_clock::now();
    m_nSilentFrames = 0;
}

void COutput::CloseLocked()
{
    if (!m_bOpen)
        return;
    if (m_service.joinable()) {
        m_bServiceStop = true;
        m_wake.release();
        m_service.join();
    }
    CloseDevice();
    if (m_bSdl) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_bSdl = false;
    }
    m_bOpen = false;
    m_nLatencyMs = 0;
}

AudioOutputKind COutput::Open()
{
    std::lock_guard control(m_control);
    if (!m_bOpen)
        OpenLocked(AudioOutputKind::Device, m_mix);
    return m_kind;
}

void COutput::DropDetachedLocked()
{
    std::vector<std::shared_ptr<CAudioStreamImpl>> dropped;
    for (const auto& s : m_streams) {
        if (s->m_bDetached.load())
            dropped.push_back(s);
    }
    if (dropped.empty())
        return;
    {
        std::lock_guard render(m_render);
        for (Slot& slot : m_table) {
            for (const auto& s : dropped) {
                if (slot.stream == s.get())
                    slot.stream = nullptr;
            }
        }
    }
    for (const auto& s : dropped)
        std::erase(m_streams, s);
}

bool COutput::Select(AudioOutputKind kind)
{
    std::lock_guard control(m_control);
    // What plays out after its owner closed it does not keep the output.
    DropDetachedLocked();
    if (!m_streams.empty())
        return false;
    CloseLocked();
    OpenLocked(kind, m_mix);
    return true;
}

void COutput::Close()
{
    std::lock_guard control(m_control);
    DropDetachedLocked();
    if (m_streams.empty())
        CloseLocked();
}

std::shared_ptr<CAudioStreamImpl> COutput::Connect(const AudioFormat& format, unsigned ringMs,
                                                   IAudioStreamOwner* owner)
{
    if (!format.IsValid())
        return nullptr;
    std::lock_guard control(m_control);
    const AudioFormat wanted{format.nRate, kMixChannels, format.format};
    if (!m_bOpen) {
        OpenLocked(AudioOutputKind::Device, wanted);
    } else if (m_streams.empty() && !(wanted == m_mix)) {
        // Nothing else plays: the device follows the medium's rate and sample format.
        const AudioOutputKind kind = m_kind;
        if (kind == AudioOutputKind::Device) {
            CloseDevice();
            if (OpenDevice(wanted, false)) {
                m_nLatencyMs = DeviceLatencyMs();
            } else {
                std::lock_guard render(m_render);
                m_kind = AudioOutputKind::Silent;
                MixWithoutDevice(wanted);
                m_nLatencyMs = kSilentLatencyMs;
                std::fprintf(stderr,
                             "sorvane: the sound device cannot be opened again (%s); "
                             "playing silently\n",
                             SDL_GetError());
            }
        } else {
            std::lock_guard render(m_render);
            MixWithoutDevice(wanted);
        }
    }
    if (m_streams.size() >= kMaxStreams)
        return nullptr;
    const bool bManual = m_kind == AudioOutputKind::ManualClock;
    auto stream = std::make_shared<CAudioStreamImpl>(format, bManual ? format : m_mix, ringMs,
                                                     m_nLatencyMs.load(), owner);
    {
        std::lock_guard render(m_render);
        for (Slot& slot : m_table) {
            if (slot.stream == nullptr) {
                slot.stream = stream.get();
                break;
            }
        }
    }
    m_streams.push_back(stream);
    if (m_streams.size() == 1 && m_device != 0)
        SDL_PauseAudioDevice(m_device, 0);
    // The silent output takes a new stream's first frames at once, not at its next tick.
    m_wake.release();
    return stream;
}

void COutput::Disconnect(const std::shared_ptr<CAudioStreamImpl>& stream)
{
    std::lock_guard control(m_control);
    {
        std::lock_guard hooks(m_hooks);
        stream->m_bClosed.store(true);
        std::lock_guard render(m_render);
        for (Slot& slot : m_table) {
            if (slot.stream == stream.get())
                slot.stream = nullptr;
        }
    }
    std::erase(m_streams, stream);
    stream->Wake();
    if (m_streams.empty() && m_device != 0)
        SDL_PauseAudioDevice(m_device, 1);
}

void COutput::Detach(std::shared_ptr<CAudioStreamImpl> stream)
{
    if (stream->Queued() == 0) {
        Disconnect(stream);
        return;
    }
    {
        std::lock_guard hooks(m_hooks);
        stream->m_bDetached.store(true);
    }
    stream->SetPaused(false);
    m_wake.release();
}

bool COutput::MixLocked(void* out, std::size_t frames)
{
    bool bEnded = false;
    const std::size_t capacity = m_mixBuffer.size() / kMixChannels;
    const std::size_t frameBytes = m_mix.FrameBytes();
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(frames - done, capacity);
        std::fill_n(m_mixBuffer.begin(), n * kMixChannels, 0.0f);
        for (const Slot& slot : m_table) {
            if (slot.stream == nullptr)
                continue;
            const std::size_t got = slot.stream->Pull(m_pullBuffer.data(), n, true, bEnded);
            for (std::size_t i = 0; i < got * kMixChannels; ++i)
                m_mixBuffer[i] += SampleAt(m_pullBuffer.data(), m_mix.format, i);
        }
        // Full volume multiplies nothing, so that the sound stays bit-exact.
        if (const auto volume = static_cast<float>(g_dVolume.load()); volume != 1.0f) {
            for (std::size_t i = 0; i < n * kMixChannels; ++i)
                m_mixBuffer[i] *= volume;
        }
        if (out != nullptr) {
            auto* dst = static_cast<unsigned char*>(out) + done * frameBytes;
            if (m_mix.format == SampleFormat::F32) {
                std::memcpy(dst, m_mixBuffer.data(), n * frameBytes);
            } else {
                for (std::size_t i = 0; i < n * kMixChannels; ++i) {
                    const std::int16_t s = ToS16(m_mixBuffer[i]);
                    std::memcpy(dst + 2 * i, &s, 2);
                }
            }
        }
        done += n;
    }
    return bEnded;
}

void COutput::DeviceCallback(Uint8* out, int len)
{
    if (const unsigned stall = m_nStallMs.exchange(0); stall > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
    bool bEnded = false;
    {
        std::lock_guard render(m_render);
        const std::size_t frameBytes = m_mix.FrameBytes();
        bEnded = MixLocked(out, static_cast<std::size_t>(len) / frameBytes);
    }
    if (bEnded)
        m_wake.release();
}

void COutput::Service()
{
    std::array<CAudioStreamImpl*, kMaxStreams> ended{};
    std::size_t nEnded = 0;
    std::vector<std::shared_ptr<CAudioStreamImpl>> released;
    {
        std::lock_guard hooks(m_hooks);
        {
            std::lock_guard render(m_render);
            for (Slot& slot : m_table) {
                CAudioStreamImpl* s = slot.stream;
                if (s == nullptr)
                    continue;
                if (s->m_bEndPending.exchange(false) && !s->m_bDetached.load() &&
                    !s->m_bClosed.load() && s->m_pOwner != nullptr)
                    ended[nEnded++] = s;
            }
        }
        for (std::size_t i = 0; i < nEnded; ++i)
            ended[i]->m_pOwner->OnStreamEnded();
    }
    // Detached streams that have played out are let go here, never on the real-time thread.
    std::unique_lock control(m_control, std::try_to_lock);
    if (!control.owns_lock())
        return;
    for (const auto& s : m_streams) {
        if (s->m_bDetached.load() && s->Queued() == 0)
            released.push_back(s);
    }
    for (const auto& s : released) {
        {
            std::lock_guard render(m_render);
            for (Slot& slot : m_table) {
                if (slot.stream == s.get())
                    slot.stream = nullptr;
            }
        }
        std::erase(m_streams, s);
    }
    if (!released.empty() && m_streams.empty() && m_device != 0)
        SDL_PauseAudioDevice(m_device, 1);
}

void COutput::Recover()
{
    // Never waits for m_control: its holder may be waiting for this thread to end.
    std::unique_lock control(m_control, std::try_to_lock);
    if (!control.owns_lock()) {
        m_bLost.store(true);
        return;
    }
    if (!m_bOpen || m_kind != AudioOutputKind::Device)
        return;
    CloseDevice();
    if (m_bSdl) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        m_bSdl = false;
    }
    // The streams were made for the old device's format: the new one is asked for it exactly.
    const AudioFormat mix = m_mix;
    if (OpenDevice(mix, true)) {
        m_nLatencyMs = DeviceLatencyMs();
        std::fprintf(stderr, "sorvane: the sound device was removed; playing on the default "
                             "device\n");
        if (!m_streams.empty())
            SDL_PauseAudioDevice(m_device, 0);
        return;
    }
    const std::string reason = SDL_GetError();
    std::lock_guard render(m_render);
    m_kind = AudioOutputKind::Silent;
    MixWithoutDevice(mix);
    m_nLatencyMs = kSilentLatencyMs;
    std::fprintf(stderr,
                 "sorvane: the sound device was removed and no other opens (%s); "
                 "playing silently\n",
                 reason.c_str());
}

void COutput::ServiceThread()
{
    for (;;) {
        const bool bSilent = m_kind.load() == AudioOutputKind::Silent;
        (void)m_wake.try_acquire_for(bSilent ? kSilentTick : kWatchTick);
        if (m_bServiceStop.load())
            return;
        if (m_kind.load() == AudioOutputKind::Device) {
            bool bLost = m_bLost.exchange(false);
            if (!bLost) {
                std::unique_lock control(m_control, std::try_to_lock);
                if (control.owns_lock() && m_device != 0 && m_bSdl)
                    bLost = SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED;
            }
            if (bLost)
                Recover();
        } else if (m_kind.load() == AudioOutputKind::Silent) {
            m_bLost.store(false);
            std::lock_guard render(m_render);
            const auto elapsed = std::chrono::steady_clock::now() - m_silentStart;
            const auto due = static_cast<std::uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() *
                m_mix.nRate / 1000000);
            // A late tick does not make up for more than a second.
            if (due > m_nSilentFrames + static_cast<std::uint64_t>(m_mix.nRate))
                m_nSilentFrames = due - static_cast<std::uint64_t>(m_mix.nRate);
            // One tick of lead, as a device buffers ahead.
            const std::uint64_t target = due + static_cast<std::uint64_t>(m_mix.nRate) *
                                                   static_cast<std::uint64_t>(kSilentTick.count()) /
                                                   1000;
            if (target > m_nSilentFrames) {
                MixLocked(nullptr, static_cast<std::size_t>(target - m_nSilentFrames));
                m_nSilentFrames = target;
            }
        }
        Service();
    }
}

std::size_t COutput::Advance(unsigned ms, std::vector<float>* captured)
{
    std::size_t total = 0;
    {
        std::lock_guard render(m_render);
        if (!m_bOpen || m_kind != AudioOutputKind::ManualClock)
            return 0;
        for (const Slot& slot : m_table) {
            CAudioStreamImpl* s = slot.stream;
            if (s == nullptr || s->m_bPaused.load())
                continue;
            s->m_nClockMs += ms;
            const std::uint64_t target =
                s->m_nClockMs * static_cast<std::uint64_t>(s->m_source.nRate) / 1000;
            std::uint64_t frames = target - s->m_nClockFrames;
            s->m_nClockFrames = target;
            const std::size_t frameBytes = s->m_ring.FrameBytes();
            while (frames > 0) {
                const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(frames, 2048));
                const auto deadline = std::chrono::steady_clock::now() + kManualWait;
                while (s->Queued() < chunk && s->Producing() &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                m_scratch.resize(chunk * frameBytes);
                bool bEnded = false;
                const std::size_t got = s->Pull(m_scratch.data(), chunk, false, bEnded);
                if (captured != nullptr)
                    AppendAsFloat(m_scratch.data(), got, s->m_ring, *captured);
                total += got;
                frames -= chunk;
            }
        }
    }
    Service();
    return total;
}

} // namespace

// CAudioStream

CAudioStream::CAudioStream(std::shared_ptr<CAudioStreamImpl> impl)
    : m_impl(std::move(impl))
{}

CAudioStream::~CAudioStream()
{
    Close();
}

std::unique_ptr<CAudioStream> CAudioStream::Open(const AudioFormat& format, unsigned ringMs,
                                                 IAudioStreamOwner* owner)
{
    auto impl = TheOutput().Connect(format, ringMs, owner);
    if (impl == nullptr)
        return nullptr;
    return std::unique_ptr<CAudioStream>(new CAudioStream(std::move(impl)));
}

const AudioFormat& CAudioStream::Format() const
{
    return m_impl->m_source;
}

std::size_t CAudioStream::Space() const
{
    return m_impl->Space();
}

bool CAudioStream::Write(const void* frames, std::size_t count, std::uint32_t generation, bool bEnd)
{
    return m_impl->Write(frames, count, generation, bEnd);
}

void CAudioStream::MarkEnd(std::uint32_t generation)
{
    m_impl->MarkEnd(generation);
}

void CAudioStream::Finish(std::uint32_t generation)
{
    m_impl->Finish(generation);
}

std::atomic<unsigned>& CAudioStream::WakeCounter()
{
    return m_impl->m_nWake;
}

std::uint32_t CAudioStream::Flush()
{
    return m_impl->Flush();
}

std::uint32_t CAudioStream::Generation() const
{
    return m_impl->m_nGeneration.load();
}

void CAudioStream::SetPaused(bool bPaused)
{
    m_impl->SetPaused(bPaused);
}

std::uint64_t CAudioStream::Played() const
{
    return m_impl->Played();
}

bool CAudioStream::Ended() const
{
    return m_impl->m_bEnded.load();
}

unsigned CAudioStream::LatencyMs() const
{
    return m_impl->m_nLatencyMs;
}

std::size_t CAudioStream::Queued() const
{
    return m_impl->Queued();
}

void CAudioStream::Close()
{
    if (m_impl == nullptr)
        return;
    TheOutput().Disconnect(m_impl);
    m_impl.reset();
}

void CAudioStream::CloseWhenPlayed(std::unique_ptr<CAudioStream> stream)
{
    if (stream == nullptr || stream->m_impl == nullptr)
        return;
    TheOutput().Detach(std::move(stream->m_impl));
}

AudioOutputKind OpenAudioOutput()
{
    return TheOutput().Open();
}

bool SelectAudioOutput(AudioOutputKind kind)
{
    return TheOutput().Select(kind);
}

std::size_t AdvanceManualAudioClock(unsigned ms, std::vector<float>* captured)
{
    return TheOutput().Advance(ms, captured);
}

unsigned AudioOutputLatencyMs()
{
    return TheOutput().LatencyMs();
}

AudioFormat AudioOutputFormat()
{
    return TheOutput().Format();
}

std::uint64_t AudioOutputUnderruns()
{
    return g_nUnderruns.load();
}

void SetAudioOutputVolume(double volume)
{
    if (!std::isnan(volume))
        g_dVolume.store(std::clamp(volume, 0.0, 1.0));
}

double AudioOutputVolume()
{
    return g_dVolume.load();
}

void CloseAudioOutput()
{
    TheOutput().Close();
}

void StallAudioOutputForTest(unsigned ms)
{
    TheOutput().Stall(ms);
}

void LoseAudioDeviceForTest()
{
    TheOutput().Lose();
}
