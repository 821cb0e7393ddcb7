// Lock order (a thread holding one may only take those below it):
//   1. m_control: the output's state and its streams (m_streams, the device object, m_mix,
//      what is asked of the device). Never held by the output's real-time thread, nor across
//      anything that may wait on the sound server: SDL opens and closes devices on the service
//      thread (or a closing thread) with no lock held. A caller that asked for a device waits
//      for it on m_served, which lets m_control go, at most kDeviceWait. Nobody holding it
//      waits for the service thread, so the service thread may block on it.
//   2. m_hooks: held while owners are told that their ends were heard; Disconnect and Detach
//      take it so that no owner is told afterwards. An owner's own lock (a media device's
//      state) comes below it.
//   3. m_render: held while mixing (the device's callback, the silent clock, the manual
//      clock) and while the table of streams, the mix buffers or the kind change.
//   4. A stream's m_lock (CAudioStreamImpl): a copy of frames or an index change.
// The SDL device is opened and closed with no lock held, because closing waits for a callback
// in progress, which takes m_render, and both may wait on the sound server.

#include "audio/Mixer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
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

namespace {

std::int64_t SteadyNow()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

} // namespace

void CMixer::Callback(void* self, unsigned char* out, int len)
{
    auto* mixer = static_cast<CMixer*>(self);
    mixer->m_nLastCallback.store(SteadyNow());
    if (const unsigned stall = mixer->m_nStallMs.exchange(0); stall > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
    bool bEnded = false;
    {
        const Lock render(mixer->m_render);
        const std::size_t frames = static_cast<std::size_t>(len) / mixer->m_mix.FrameBytes();
        if (!mixer->CopyLoneStreamLocked(render, out, frames, bEnded))
            bEnded = mixer->MixLocked(render, out, frames);
    }
    if (bEnded)
        mixer->m_wake.Release();
}

bool CMixer::CopyLoneStreamLocked(const Lock& render, void* out, std::size_t frames, bool& bEnded)
{
    SORVANE_EXPECT(Holds(render, m_render));
    // 16-bit samples become floats and back unchanged, so summing, limiting and converting a
    // lone stream only costs time; float streams may pass full scale and are limited.
    if (m_mix.format != SampleFormat::S16 || g_dAudioVolume.load() != 1.0 ||
        m_limiter.Gain() != 1.0f)
        return false;
    // A follower held behind the stream (the next piece, prepared) is not heard yet: the
    // stream is alone unless its end falls within this pull, where the follower starts.
    CAudioStreamImpl* lone = nullptr;
    bool bFollowed = false;
    for (const Slot& slot : m_table) {
        if (slot.stream == nullptr)
            continue;
        if (slot.stream->HeldBehindLeader()) {
            bFollowed = true;
            continue;
        }
        if (lone != nullptr)
            return false;
        lone = slot.stream;
    }
    if (lone == nullptr || lone->m_fGain.load(std::memory_order_relaxed) != 1.0f ||
        (bFollowed && !lone->EndsBeyond(frames)))
        return false;
    const std::size_t frameBytes = m_mix.FrameBytes();
    const std::size_t got = lone->Pull(out, frames, true, bEnded);
    std::memset(static_cast<unsigned char*>(out) + got * frameBytes, 0,
                (frames - got) * frameBytes);
    return true;
}

bool CMixer::MixLocked(const Lock& render, void* out, std::size_t frames)
{
    SORVANE_EXPECT(Holds(render, m_render));
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
                float* into = m_mixBuffer.data() + at * kMixChannels;
                AddScaled(into, m_pullBuffer.data(), m_mix.format, got * kMixChannels,
                          s->m_fGain.load(std::memory_order_relaxed));
            }
        }
        // Full volume multiplies nothing, so that the sound stays bit-exact.
        if (const auto volume = static_cast<float>(g_dAudioVolume.load()); volume != 1.0f)
            for (std::size_t i = 0; i < n * kMixChannels; ++i)
                m_mixBuffer[i] *= volume;
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

void CMixer::SizeBuffersLocked(const Lock& render, const AudioFormat& mix, std::size_t frames)
{
    SORVANE_EXPECT(Holds(render, m_render));
    m_mix = mix;
    m_mixBuffer.assign(frames * kMixChannels, 0.0f);
    m_pullBuffer.assign(frames * mix.FrameBytes(), 0);
    m_limiter.SetRate(mix.nRate);
}

void CMixer::MixWithoutDeviceLocked(const Lock& control, AudioOutputKind kind,
                                    const AudioFormat& mix)
{
    SORVANE_EXPECT(Holds(control, m_control));
    const Lock render(m_render);
    m_kind = kind;
    // A tenth of a second at a time.
    SizeBuffersLocked(render, mix, static_cast<std::size_t>(mix.nRate) / 10);
    m_silentStart = std::chrono::steady_clock::now();
    m_nSilentFrames = 0;
    m_nLatencyMs = kind == AudioOutputKind::Silent ? kSilentLatencyMs : 0;
}

std::uint64_t CMixer::AskDeviceLocked(const Lock& control, const AudioFormat& mix, bool bExact)
{
    SORVANE_EXPECT(Holds(control, m_control));
    m_askedMix = mix;
    m_bAskedExact = bExact;
    m_askedAt = std::chrono::steady_clock::now();
    m_wake.Release();
    return ++m_nAsked;
}

void CMixer::WaitForDeviceLocked(Lock& control, std::uint64_t ticket)
{
    SORVANE_EXPECT(Holds(control, m_control));
    // The service thread serves the ticket: it must not be the one waiting for it.
    SORVANE_EXPECT(!m_serviceRole.Mine());
    m_served.wait_for(control, kDeviceWait, [&] { return m_nServed >= ticket || !m_bOpen.load(); });
}

void CMixer::OpenLocked(const Lock& control, AudioOutputKind kind, const AudioFormat& format)
{
    SORVANE_EXPECT(Holds(control, m_control));
    const AudioFormat mix{format.nRate, kMixChannels, format.format};
    m_bWantDevice = kind == AudioOutputKind::Device;
    m_lastTry = std::chrono::steady_clock::now();
    MixWithoutDeviceLocked(control,
                           kind == AudioOutputKind::Device ? AudioOutputKind::Silent : kind, mix);
    // Nothing holds before the device has been tried (it may wait for a stream's first
    // frames): a failed attempt or a lost device says it holds.
    m_bHeld = false;
    m_bOpen = true;
    if (kind == AudioOutputKind::Device)
        (void)AskDeviceLocked(control, mix, false);
    if (kind != AudioOutputKind::ManualClock)
        m_service = std::jthread([this](std::stop_token stop) { ServiceThread(stop); });
}

CMixer::Closing CMixer::CloseLocked(const Lock& control)
{
    SORVANE_EXPECT(Holds(control, m_control));
    Closing closing;
    closing.service = std::move(m_service);
    if (closing.service.joinable()) {
        closing.service.request_stop();
        m_wake.Release();
    }
    if (!m_bOpen)
        return closing;
    {
        std::lock_guard render(m_render);
        closing.device = std::move(m_device);
        m_kind = AudioOutputKind::Silent;
    }
    m_bOpen = false;
    m_bHeld = false;
    m_bDevicePaused = true;
    m_nLatencyMs = 0;
    m_served.notify_all();
    return closing;
}

bool CMixer::FinishClose(Closing closing)
{
    // A service thread or a device caught in a sound server that hangs is left to its own
    // thread; the caller (the exit too) goes on after kCloseWait.
    std::promise<void> finished;
    std::future<void> done = finished.get_future();
    std::thread([closing = std::move(closing), finished = std::move(finished)]() mutable {
        if (closing.service.joinable())
            closing.service.join();
        closing.device.Close();
        // SDL's own shutdown may wait on the server as well (its device watch).
        CSdlDevice::QuitAudio();
        finished.set_value();
    }).detach();
    return done.wait_for(kCloseWait) == std::future_status::ready;
}

void CMixer::PauseDeviceLocked(const Lock& control, bool bPaused)
{
    SORVANE_EXPECT(Holds(control, m_control));
    if (bPaused == m_bDevicePaused)
        return;
    m_bDevicePaused = bPaused;
    m_nLastCallback.store(SteadyNow());
    m_device.SetPaused(bPaused);
}

bool CMixer::StalledLocked(const Lock& control) const
{
    SORVANE_EXPECT(Holds(control, m_control));
    if (m_bDevicePaused || !m_device.IsOpen() || m_streams.empty())
        return false;
    const auto silent = std::chrono::steady_clock::duration(SteadyNow() - m_nLastCallback.load());
    return silent > kCallbackStall;
}

void CMixer::LoseDeviceLocked(Lock& control)
{
    SORVANE_EXPECT(Holds(control, m_control) && m_serviceRole.Mine());
    CSdlDevice gone;
    {
        // A callback of the lost device that still comes pulls nothing any more.
        std::lock_guard render(m_render);
        m_device.Mute();
        gone = std::move(m_device);
    }
    m_bDevicePaused = true;
    MixWithoutDeviceLocked(control, AudioOutputKind::Silent, m_mix);
    m_bHeld = true;
    // The streams were made for the old device's format: the next is asked for it exactly.
    (void)AskDeviceLocked(control, m_mix, true);
    m_bLostNews = true; // said with the outcome of the next attempt
    // Closing a device whose server stopped answering waits as long as the server does.
    std::promise<void> closed;
    m_lostClosed = closed.get_future().share();
    control.unlock();
    std::thread([gone = std::move(gone), closed = std::move(closed)]() mutable {
        gone.Close();
        closed.set_value();
    }).detach();
    control.lock();
}

void CMixer::TryDeviceLocked(Lock& control, const std::stop_token& stop)
{
    SORVANE_EXPECT(Holds(control, m_control) && m_serviceRole.Mine());
    // A driver may take one device at a time: the lost one is let go first, when it goes.
    if (const std::shared_future<void> lostClosed = m_lostClosed; lostClosed.valid()) {
        control.unlock();
        (void)lostClosed.wait_for(kCloseWait);
        control.lock();
        if (stop.stop_requested())
            return;
    }
    const std::uint64_t ticket = m_nAsked;
    const bool bAsked = m_nServed < ticket;
    // Streams that play were made for m_mix: a device for them is asked for that exactly.
    const bool bExact = !m_streams.empty() || (bAsked && m_bAskedExact);
    const AudioFormat mix = bAsked && m_streams.empty() ? m_askedMix : m_mix;
    // SDL's audio starts afresh when the test seam asked for it or the last open failed on
    // it, but never while a lost device may still be closing.
    const bool bLostClosed =
        !m_lostClosed.valid() ||
        m_lostClosed.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    const bool bAfresh = m_bAfresh && !m_device.IsOpen() && bLostClosed;
    m_bAfresh = false;
    // A first device under waiting streams plays from its first callback. Its mix is theirs
    // (exact), and the one thing that may change m_mix while it opens (a new stream after
    // every other closed) leaves nothing in the table to mix: it can only play silence.
    const bool bPlay = bExact && !m_streams.empty() && !m_device.IsOpen();
    control.unlock();
    std::string reason;
    CSdlDevice fresh;
    const bool bOpened = fresh.Open(mix, bExact, &CMixer::Callback, this, reason, bAfresh, bPlay);
    control.lock();
    m_lastTry = std::chrono::steady_clock::now();
    // The callers waiting for this attempt see its outcome, the device installed or not.
    struct Served
    {
        CMixer& mixer;
        std::uint64_t ticket;
        ~Served()
        {
            mixer.m_nServed = std::max(mixer.m_nServed, ticket);
            mixer.m_served.notify_all();
        }
    } served{*this, ticket};
    const bool bFits = m_streams.empty() || fresh.Mix() == m_mix;
    if (stop.stop_requested() || !m_bOpen || !m_bWantDevice || !bOpened || !bFits) {
        // Streams came meanwhile and no device plays: again, at their rate.
        if (bOpened && !bFits && !m_device.IsOpen())
            (void)AskDeviceLocked(control, m_mix, true);
        // SDL itself failed (not the server's state): the next attempt starts it afresh.
        if (!bOpened && reason.find("sound server") == std::string::npos)
            m_bAfresh = true;
        if (!bOpened && !m_device.IsOpen() && m_bOpen && m_bWantDevice)
            m_bHeld = true;
        if (!bOpened && !m_device.IsOpen() && !m_bToldSilent) {
            m_bToldSilent = true;
            std::fprintf(stderr,
                         m_bLostNews ? "sorvane: the sound device was removed and no other "
                                       "opens (%s); playback holds until one does\n"
                                     : "sorvane: no sound device could be opened (%s); "
                                       "playback holds until one opens\n",
                         reason.empty() ? "none chosen" : reason.c_str());
            m_bLostNews = false;
        }
        control.unlock();
        fresh.Close();
        control.lock();
        return;
    }
    // The working device goes only now that its successor is open, and before the successor
    // plays (a driver may write both to one place).
    if (m_device.IsOpen()) {
        CSdlDevice old;
        {
            std::lock_guard render(m_render);
            m_device.Mute();
            old = std::move(m_device);
        }
        control.unlock();
        old.Close();
        control.lock();
        if (stop.stop_requested() || !m_bOpen || !m_bWantDevice) {
            control.unlock();
            fresh.Close();
            control.lock();
            return;
        }
    }
    {
        const Lock render(m_render);
        m_device = std::move(fresh);
        m_kind = AudioOutputKind::Device;
        SizeBuffersLocked(render, m_device.Mix(), m_device.BufferFrames() * 2);
    }
    m_bHeld = false;
    m_nLatencyMs = m_device.LatencyMs();
    for (const auto& s : m_streams)
        s->m_nLatencyMs.store(m_nLatencyMs.load());
    // A device opened playing is paused here when its streams closed while it opened.
    m_bDevicePaused = !bPlay;
    m_nLastCallback.store(SteadyNow());
    PauseDeviceLocked(control, m_streams.empty());
    if (m_bLostNews)
        std::fprintf(stderr, "sorvane: the sound device was removed; playing on the default "
                             "device\n");
    else if (m_bToldSilent)
        std::fprintf(stderr, "sorvane: a sound device opened; playing on it\n");
    m_bLostNews = false;
    m_bToldSilent = false; // a later fall to silence is news again
}

AudioOutputKind CMixer::Open()
{
    std::unique_lock control(m_control);
    if (!m_bOpen) {
        OpenLocked(control, AudioOutputKind::Device, m_mix);
        WaitForDeviceLocked(control, m_nAsked);
    }
    return m_kind;
}

AudioFormat CMixer::Format()
{
    std::lock_guard control(m_control);
    return m_mix;
}

void CMixer::DropDetachedLocked(const Lock& control, bool bOnlyPlayedOut)
{
    SORVANE_EXPECT(Holds(control, m_control));
    std::vector<std::shared_ptr<CAudioStreamImpl>> dropped;
    for (const auto& s : m_streams)
        if (s->m_bDetached.load() && (!bOnlyPlayedOut || s->Queued() == 0))
            dropped.push_back(s);
    if (dropped.empty())
        return;
    for (const auto& s : dropped)
        s->ReleaseFollower();
    {
        std::lock_guard render(m_render);
        for (Slot& slot : m_table) {
            for (const auto& s : dropped)
                if (slot.stream == s.get())
                    slot.stream = nullptr;
        }
    }
    for (const auto& s : dropped)
        std::erase(m_streams, s);
    if (m_streams.empty())
        PauseDeviceLocked(control, true);
}

bool CMixer::Select(AudioOutputKind kind)
{
    std::unique_lock control(m_control);
    // What plays out after its owner closed it does not keep the output.
    DropDetachedLocked(control, false);
    if (!m_streams.empty())
        return false;
    Closing closing = CloseLocked(control);
    control.unlock();
    // A new device output reads SDL's variables again, once the old one has finished.
    const bool bFinished = FinishClose(std::move(closing));
    if (!bFinished)
        std::fprintf(stderr, "sorvane: the sound server does not answer; its device is left "
                             "behind\n");
    control.lock();
    if (m_bOpen)
        return false; // another thread opened meanwhile
    // A newly selected output starts afresh: its fall to silence is news again.
    m_bToldSilent = false;
    m_bLostNews = false;
    m_bAfresh = false;
    OpenLocked(control, kind, m_mix);
    if (kind == AudioOutputKind::Device)
        WaitForDeviceLocked(control, m_nAsked);
    return true;
}

void CMixer::Close()
{
    Closing closing;
    {
        const Lock control(m_control);
        DropDetachedLocked(control, false);
        if (!m_streams.empty())
            return;
        closing = CloseLocked(control);
    }
    (void)FinishClose(std::move(closing));
}

std::shared_ptr<CAudioStreamImpl> CMixer::Connect(const AudioFormat& format, unsigned ringMs,
                                                  IAudioStreamOwner* owner,
                                                  const AudioStreamTicket& terms)
{
    if (!format.IsValid())
        return nullptr;
    // Lock order: m_control, then the ticket's own lock (Opened below); the ticket never
    // takes the output's.
    const float gain = terms != nullptr ? terms->Gain() : 1.0f;
    const AudioStreamRef leaderRef = terms != nullptr ? terms->TakeLeader() : AudioStreamRef{};
    SORVANE_EXPECT(!m_serviceRole.Mine() && !m_tellingRole.Mine());
    Lock control(m_control);
    const AudioFormat wanted{format.nRate, kMixChannels, format.format};
    const bool bFollow = m_streams.empty() && !(wanted == m_mix);
    std::uint64_t ticket = 0;
    if (!m_bOpen) {
        // The stream is made for its own rate at once, and the device, asked for that rate
        // exactly, opens on the service thread once the stream has its first frames.
        OpenLocked(control, AudioOutputKind::Device, wanted);
    } else if (m_kind == AudioOutputKind::Device) {
        // Nothing else plays: the device follows the medium's rate and sample format, when a
        // device for it opens; else the one open stays, and the stream is converted.
        if (bFollow)
            ticket = AskDeviceLocked(control, wanted, false);
    } else if (m_kind == AudioOutputKind::Silent && m_bWantDevice) {
        // No device although one is asked for: each new medium tries it again, unless the
        // streams open already wait for an attempt (for their rate) that has not come yet.
        if (bFollow)
            MixWithoutDeviceLocked(control, AudioOutputKind::Silent, wanted);
        if (m_streams.empty() || m_nServed >= m_nAsked)
            ticket = AskDeviceLocked(control, m_mix, !bFollow);
    } else if (bFollow) {
        MixWithoutDeviceLocked(control, m_kind, wanted);
    }
    if (ticket != 0)
        WaitForDeviceLocked(control, ticket);
    if (m_streams.size() >= kMaxStreams)
        return nullptr;
    const bool bManual = m_kind == AudioOutputKind::ManualClock;
    auto stream = std::make_shared<CAudioStreamImpl>(format, bManual ? format : m_mix, ringMs,
                                                     m_nLatencyMs.load(), owner, &m_wake);
    stream->m_fGain.store(gain);
    if (const auto leader = leaderRef.lock(); leader != nullptr) {
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
        PauseDeviceLocked(control, false);
    // The silent output takes a new stream's first frames at once, not at its next tick.
    m_wake.Release();
    if (terms != nullptr)
        terms->Opened(stream);
    return stream;
}

void CMixer::Disconnect(const std::shared_ptr<CAudioStreamImpl>& stream)
{
    SORVANE_EXPECT(!m_tellingRole.Mine());
    const Lock control(m_control);
    stream->ReleaseFollower();
    {
        std::lock_guard hooks(m_hooks);
        stream->m_bClosed.store(true);
        std::lock_guard render(m_render);
        for (Slot& slot : m_table)
            if (slot.stream == stream.get())
                slot.stream = nullptr;
    }
    std::erase(m_streams, stream);
    stream->Wake();
    if (m_streams.empty())
        PauseDeviceLocked(control, true);
}

void CMixer::Detach(std::shared_ptr<CAudioStreamImpl> stream)
{
    SORVANE_EXPECT(!m_tellingRole.Mine());
    if (stream->Queued() == 0) {
        Disconnect(stream);
        return;
    }
    {
        std::lock_guard hooks(m_hooks);
        stream->m_bDetached.store(true);
    }
    stream->SetPaused(false);
    m_wake.Release();
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
        m_tellingRole.Claim();
        for (std::size_t i = 0; i < nEnded; ++i)
            ended[i]->m_pOwner->OnStreamEnded();
        m_tellingRole.Release();
    }
    // Detached streams that have played out are let go here, never on the real-time thread.
    const Lock control(m_control);
    DropDetachedLocked(control, true);
}

void CMixer::TickSilent(const std::stop_token& stop)
{
    const Lock render(m_render);
    if (stop.stop_requested() || m_kind.load() != AudioOutputKind::Silent)
        return;
    // Checked after the stop: a stopped service thread may still run while its successor
    // plays the role.
    SORVANE_EXPECT(m_serviceRole.Mine());
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
        MixLocked(render, nullptr, static_cast<std::size_t>(target - m_nSilentFrames));
        m_nSilentFrames = target;
    }
}

bool CMixer::AwaitsFirstFramesLocked(const Lock& control, std::chrono::milliseconds& left) const
{
    SORVANE_EXPECT(Holds(control, m_control));
    if (m_device.IsOpen() || m_streams.empty() ||
        std::any_of(m_streams.begin(), m_streams.end(), [](const auto& s) { return s->Begun(); }))
        return false;
    const auto waited = std::chrono::steady_clock::now() - m_askedAt;
    if (waited >= kFirstFramesWait)
        return false;
    left = std::chrono::ceil<std::chrono::milliseconds>(kFirstFramesWait - waited);
    return true;
}

std::chrono::milliseconds CMixer::WatchDevice(const std::stop_token& stop)
{
    Lock control(m_control);
    if (stop.stop_requested() || !m_bWantDevice)
        return kWatchTick;
    SORVANE_EXPECT(m_serviceRole.Mine());
    if (m_kind.load() == AudioOutputKind::Device) {
        const bool bLost = m_bLost.exchange(false);
        if (bLost)
            m_bAfresh = true; // the seam stands for a device that went: SDL looks afresh
        bool bGone = bLost || m_device.Removed();
        if (!bGone && StalledLocked(control)) {
            // Callbacks late under load, from a server that still answers, are no loss.
            control.unlock();
            const bool bServed = CSdlDevice::ServerAnswers();
            control.lock();
            m_nLastCallback.store(SteadyNow());
            bGone = !bServed && m_kind.load() == AudioOutputKind::Device;
        }
        if (bGone && !stop.stop_requested())
            LoseDeviceLocked(control);
    } else {
        m_bLost.store(false);
    }
    if (stop.stop_requested())
        return kWatchTick;
    // The device asked for, or while none plays and a stream waits, the next try.
    const bool bAsked = m_nServed < m_nAsked;
    std::chrono::milliseconds left{};
    if (bAsked && AwaitsFirstFramesLocked(control, left)) {
        // Meanwhile SDL's audio is started, so that only the device's own open is left.
        if (m_nPrepared != m_nAsked && !m_bAfresh) {
            m_nPrepared = m_nAsked;
            control.unlock();
            std::string reason;
            (void)CSdlDevice::Prepare(reason); // a failure is the attempt's to report
            control.lock();
        }
        return left;
    }
    const bool bDue = m_kind.load() == AudioOutputKind::Silent && !m_streams.empty() &&
                      std::chrono::steady_clock::now() - m_lastTry >= kDeviceRetry;
    if (bAsked || bDue)
        TryDeviceLocked(control, stop);
    return kWatchTick;
}

void CMixer::ServiceThread(std::stop_token stop)
{
    // The role changes hands under m_control, where a close asks the thread to stop: a thread
    // told to stop before it began never takes it, and one that ends gives it up only while it
    // has not passed to its successor.
    {
        const Lock control(m_control);
        if (stop.stop_requested())
            return;
        m_serviceRole.Claim();
    }
    std::chrono::milliseconds watch = kWatchTick;
    for (;;) {
        // The silent clock keeps real time only where no device was asked for.
        const bool bClock = m_kind.load() == AudioOutputKind::Silent && !m_bWantDevice.load();
        (void)m_wake.TryAcquireFor(bClock ? kSilentTick : watch);
        if (stop.stop_requested())
            break;
        if (bClock)
            TickSilent(stop);
        else
            watch = WatchDevice(stop);
        if (stop.stop_requested())
            break;
        Service();
    }
    const Lock control(m_control);
    if (m_serviceRole.Mine())
        m_serviceRole.Release();
}
