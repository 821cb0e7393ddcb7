// Lock order (a thread holding one may only take those below it):
//   1. m_control: opening, closing, reopening or retrying the output and changing its streams
//      (m_streams, the device, m_mix). Never held by the output's real-time thread; nobody
//      holding it waits for the service thread (that one is joined after m_control is let
//      go), so the service thread may block on it.
//   2. m_hooks: held while owners are told that their ends were heard; Disconnect and Detach
//      take it so that no owner is told afterwards. An owner's own lock (a media device's
//      state) comes below it.
//   3. m_render: held while mixing (the device's callback, the silent clock, the manual
//      clock) and while the table of streams, the mix buffers or the kind change.
//   4. A stream's m_lock (CAudioStreamImpl): a copy of frames or an index change.
// The SDL device is opened and closed with m_control held and m_render free, because closing
// waits for a callback in progress, which takes m_render.

#include "audio/Mixer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

std::atomic<double> g_dAudioVolume{1.0};

namespace {

// Closes the output at exit so that a file output (SDL's disk driver) is complete.
struct CloseAtExit
{
    ~CloseAtExit() { CloseAudioOutput(); }
} g_closeAtExit;

} // namespace

CMixer& CMixer::Instance()
{
    // Never destroyed: streams of plug-ins may be let go after static destructors ran.
    static CMixer* mixer = new CMixer;
    return *mixer;
}

void CMixer::Callback(void* self, unsigned char* out, int len)
{
    auto* mixer = static_cast<CMixer*>(self);
    if (const unsigned stall = mixer->m_nStallMs.exchange(0); stall > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
    bool bEnded = false;
    {
        std::lock_guard render(mixer->m_render);
        const std::size_t frameBytes = mixer->m_mix.FrameBytes();
        bEnded = mixer->MixLocked(out, static_cast<std::size_t>(len) / frameBytes);
    }
    if (bEnded)
        mixer->m_wake.release();
}

bool CMixer::MixLocked(void* out, std::size_t frames)
{
    bool bEnded = false;
    const std::size_t capacity = m_mixBuffer.size() / kMixChannels;
    const std::size_t frameBytes = m_mix.FrameBytes();
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(frames - done, capacity);
        std::fill_n(m_mixBuffer.begin(), n * kMixChannels, 0.0f);
        // Every playing stream's frames, summed: the one place where the streams meet.
        // Streams held behind a leader go last, so that one whose leader ends in this pull
        // starts right after the leader's last frame.
        std::array<bool, kMaxStreams> held{};
        for (std::size_t k = 0; k < kMaxStreams; ++k)
            held[k] = m_table[k].stream != nullptr && m_table[k].stream->HeldBehindLeader();
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t k = 0; k < kMaxStreams; ++k) {
                CAudioStreamImpl* s = m_table[k].stream;
                if (s == nullptr || held[k] != (pass == 1) || s->HeldBehindLeader())
                    continue;
                const std::size_t at =
                    pass == 1 ? std::min(s->m_pCueIn->nAt.load(), n) : std::size_t{0};
                const std::size_t got = s->Pull(m_pullBuffer.data(), n - at, true, bEnded);
                s->m_pCueJustReached.reset();
                float* into = m_mixBuffer.data() + at * kMixChannels;
                AddScaled(into, m_pullBuffer.data(), m_mix.format, got * kMixChannels,
                          s->m_fGain.load(std::memory_order_relaxed));
            }
        }
        // Full volume multiplies nothing, so that the sound stays bit-exact.
        if (const auto volume = static_cast<float>(g_dAudioVolume.load()); volume != 1.0f) {
            for (std::size_t i = 0; i < n * kMixChannels; ++i)
                m_mixBuffer[i] *= volume;
        }
        // Overlapping streams are limited, not clipped; a stream alone passes untouched.
        m_limiter.Process(m_mixBuffer.data(), n);
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

void CMixer::SizeBuffersLocked(const AudioFormat& mix, std::size_t frames)
{
    m_mix = mix;
    m_mixBuffer.assign(frames * kMixChannels, 0.0f);
    m_pullBuffer.assign(frames * mix.FrameBytes(), 0);
    m_limiter.SetRate(mix.nRate);
}

bool CMixer::OpenDeviceLocked(const AudioFormat& mix, bool bExact, std::string& reason)
{
    // Without a device open, SDL's audio starts afresh, so that its variables and the devices
    // plugged in since are read again.
    if (!m_device.IsOpen())
        CSdlDevice::QuitAudio();
    CSdlDevice fresh;
    if (!fresh.Open(mix, bExact, &CMixer::Callback, this, reason))
        return false;
    // The working device goes only now that its successor is open.
    m_device.Close();
    {
        std::lock_guard render(m_render);
        m_device = std::move(fresh);
        m_kind = AudioOutputKind::Device;
        SizeBuffersLocked(m_device.Mix(), m_device.BufferFrames() * 2);
    }
    m_nLatencyMs = m_device.LatencyMs();
    m_bToldSilent = false; // a later fall to silence is news again
    if (!m_streams.empty())
        m_device.SetPaused(false);
    return true;
}

void CMixer::MixWithoutDeviceLocked(AudioOutputKind kind, const AudioFormat& mix)
{
    std::lock_guard render(m_render);
    m_kind = kind;
    // A tenth of a second at a time.
    SizeBuffersLocked(mix, static_cast<std::size_t>(mix.nRate) / 10);
    m_silentStart = std::chrono::steady_clock::now();
    m_nSilentFrames = 0;
    m_nLatencyMs = kind == AudioOutputKind::Silent ? kSilentLatencyMs : 0;
}

void CMixer::OpenLocked(AudioOutputKind kind, const AudioFormat& format)
{
    const AudioFormat mix{format.nRate, kMixChannels, format.format};
    m_bWantDevice = kind == AudioOutputKind::Device;
    m_lastTry = std::chrono::steady_clock::now();
    if (kind == AudioOutputKind::Device) {
        std::string reason;
        if (!OpenDeviceLocked(mix, false, reason)) {
            kind = AudioOutputKind::Silent;
            if (!m_bToldSilent) {
                m_bToldSilent = true;
                std::fprintf(stderr,
                             "sorvane: no sound device could be opened (%s); playing silently\n",
                             reason.empty() ? "none chosen" : reason.c_str());
            }
        }
    }
    if (kind != AudioOutputKind::Device)
        MixWithoutDeviceLocked(kind, mix);
    m_bOpen = true;
    if (m_kind != AudioOutputKind::ManualClock)
        m_service = std::jthread([this](std::stop_token stop) { ServiceThread(stop); });
}

std::jthread CMixer::CloseLocked()
{
    std::jthread service = std::move(m_service);
    if (service.joinable()) {
        service.request_stop();
        m_wake.release();
    }
    if (!m_bOpen)
        return service;
    m_device.Close();
    CSdlDevice::QuitAudio();
    m_bOpen = false;
    m_nLatencyMs = 0;
    return service;
}

void CMixer::RetryDeviceLocked(const AudioFormat& mix, bool bExact)
{
    m_lastTry = std::chrono::steady_clock::now();
    std::string reason;
    if (OpenDeviceLocked(mix, bExact, reason)) {
        std::fprintf(stderr, "sorvane: a sound device opened; playing on it\n");
    }
}

void CMixer::RecoverLocked()
{
    // The removed device is gone anyway: it is closed first, so that SDL starts afresh.
    m_device.Close();
    const AudioFormat mix = m_mix;
    std::string reason;
    // The streams were made for the old device's format: the new one is asked for it exactly.
    if (OpenDeviceLocked(mix, true, reason)) {
        std::fprintf(stderr, "sorvane: the sound device was removed; playing on the default "
                             "device\n");
        return;
    }
    MixWithoutDeviceLocked(AudioOutputKind::Silent, mix);
    m_lastTry = std::chrono::steady_clock::now();
    m_bToldSilent = true;
    std::fprintf(stderr,
                 "sorvane: the sound device was removed and no other opens (%s); "
                 "playing silently\n",
                 reason.c_str());
}

AudioOutputKind CMixer::Open()
{
    std::lock_guard control(m_control);
    if (!m_bOpen)
        OpenLocked(AudioOutputKind::Device, m_mix);
    return m_kind;
}

AudioFormat CMixer::Format()
{
    std::lock_guard control(m_control);
    return m_mix;
}

void CMixer::DropDetachedLocked(bool bOnlyPlayedOut)
{
    std::vector<std::shared_ptr<CAudioStreamImpl>> dropped;
    for (const auto& s : m_streams) {
        if (s->m_bDetached.load() && (!bOnlyPlayedOut || s->Queued() == 0))
            dropped.push_back(s);
    }
    if (dropped.empty())
        return;
    for (const auto& s : dropped)
        s->ReleaseFollower();
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
    if (m_streams.empty())
        m_device.SetPaused(true);
}

bool CMixer::Select(AudioOutputKind kind)
{
    std::jthread old; // joined after m_control is let go
    std::lock_guard control(m_control);
    // What plays out after its owner closed it does not keep the output.
    DropDetachedLocked(false);
    if (!m_streams.empty())
        return false;
    old = CloseLocked();
    // A newly selected output starts afresh: its fall to silence is news again.
    m_bToldSilent = false;
    OpenLocked(kind, m_mix);
    return true;
}

void CMixer::Close()
{
    std::jthread old; // joined after m_control is let go
    std::lock_guard control(m_control);
    DropDetachedLocked(false);
    if (m_streams.empty())
        old = CloseLocked();
}

std::shared_ptr<CAudioStreamImpl> CMixer::Connect(const AudioFormat& format, unsigned ringMs,
                                                  IAudioStreamOwner* owner)
{
    if (!format.IsValid())
        return nullptr;
    std::lock_guard control(m_control);
    const AudioFormat wanted{format.nRate, kMixChannels, format.format};
    const bool bFollow = m_streams.empty() && !(wanted == m_mix);
    if (!m_bOpen) {
        OpenLocked(AudioOutputKind::Device, wanted);
    } else if (m_kind == AudioOutputKind::Device) {
        // Nothing else plays: the device follows the medium's rate and sample format, when a
        // device for it opens; else the one open stays, and the stream is converted.
        std::string reason;
        if (bFollow)
            (void)OpenDeviceLocked(wanted, false, reason);
    } else if (m_kind == AudioOutputKind::Silent && m_bWantDevice) {
        // Playing silently although a device was asked for: each new medium tries it again.
        RetryDeviceLocked(bFollow ? wanted : m_mix, !bFollow);
        if (m_kind == AudioOutputKind::Silent && bFollow)
            MixWithoutDeviceLocked(AudioOutputKind::Silent, wanted);
    } else if (bFollow) {
        MixWithoutDeviceLocked(m_kind, wanted);
    }
    if (m_streams.size() >= kMaxStreams)
        return nullptr;
    const bool bManual = m_kind == AudioOutputKind::ManualClock;
    auto stream = std::make_shared<CAudioStreamImpl>(format, bManual ? format : m_mix, ringMs,
                                                     m_nLatencyMs.load(), owner);
    stream->m_fGain.store(StreamGainHere());
    if (const auto leader = FollowLeaderHere().lock(); leader != nullptr) {
        stream->m_pCueIn = std::make_shared<FollowCue>();
        leader->AttachFollower(stream->m_pCueIn);
    }
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
    if (m_streams.size() == 1)
        m_device.SetPaused(false);
    // The silent output takes a new stream's first frames at once, not at its next tick.
    m_wake.release();
    LastOpenedHere() = stream;
    return stream;
}

void CMixer::Disconnect(const std::shared_ptr<CAudioStreamImpl>& stream)
{
    std::lock_guard control(m_control);
    stream->ReleaseFollower();
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
    if (m_streams.empty())
        m_device.SetPaused(true);
}

void CMixer::Detach(std::shared_ptr<CAudioStreamImpl> stream)
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

void CMixer::Service()
{
    std::array<CAudioStreamImpl*, kMaxStreams> ended{};
    std::size_t nEnded = 0;
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
    std::lock_guard control(m_control);
    DropDetachedLocked(true);
}

void CMixer::TickSilent(const std::stop_token& stop)
{
    std::lock_guard render(m_render);
    if (stop.stop_requested() || m_kind.load() != AudioOutputKind::Silent)
        return;
    const auto elapsed = std::chrono::steady_clock::now() - m_silentStart;
    const auto rate = static_cast<std::uint64_t>(m_mix.nRate);
    const auto due = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * m_mix.nRate /
        1000000);
    // A late tick does not make up for more than a second.
    if (due > m_nSilentFrames + rate)
        m_nSilentFrames = due - rate;
    // One tick of lead, as a device buffers ahead.
    const std::uint64_t target =
        due + rate * static_cast<std::uint64_t>(kSilentTick.count()) / 1000;
    if (target > m_nSilentFrames) {
        MixLocked(nullptr, static_cast<std::size_t>(target - m_nSilentFrames));
        m_nSilentFrames = target;
    }
}

void CMixer::ServiceThread(std::stop_token stop)
{
    for (;;) {
        const bool bSilent = m_kind.load() == AudioOutputKind::Silent;
        (void)m_wake.try_acquire_for(bSilent ? kSilentTick : kWatchTick);
        if (stop.stop_requested())
            return;
        if (m_kind.load() == AudioOutputKind::Device) {
            std::lock_guard control(m_control);
            if (stop.stop_requested())
                return;
            const bool bLost = m_bLost.exchange(false) || m_device.Removed();
            if (bLost && m_kind.load() == AudioOutputKind::Device)
                RecoverLocked();
        } else if (m_kind.load() == AudioOutputKind::Silent) {
            m_bLost.store(false);
            TickSilent(stop);
            std::lock_guard control(m_control);
            if (stop.stop_requested())
                return;
            // Every few seconds while something plays, the device is tried again.
            if (m_kind.load() == AudioOutputKind::Silent && m_bWantDevice && !m_streams.empty() &&
                std::chrono::steady_clock::now() - m_lastTry >= kDeviceRetry)
                RetryDeviceLocked(m_mix, true);
        }
        Service();
    }
}
