#include "audio/SdlDevice.h"

#include "audio/PulseProbe.h"
#include "audio/Samples.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// SDL's audio is started; StartAudio and QuitAudio change it under g_startLock, which no
// device open or close holds.
std::atomic<bool> g_bAudioUp{false};
// Taken for kCloseWait at most: SDL's shutdown of a back end may wait for ever on a server
// that went away, and the next start then gives up instead of waiting with it.
std::mutex g_startLock;
// Devices open or still closing. SDL's shutdown closes every device it knows of, so it must
// not run while another thread closes one (one left behind on a server that hangs): both
// would free the same device.
std::atomic<int> g_nDevices{0};

// g_startLock, owned unless kCloseWait passed first. Tried every millisecond rather than
// through the C library's timed lock, which the thread checker cannot see; only a start or a
// shutdown of SDL's audio ever waits here.
std::unique_lock<std::mutex> TakeStartLock()
{
    std::unique_lock lock(g_startLock, std::defer_lock);
    const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
    while (!lock.try_lock() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return lock;
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

// Whether SDL may reach PulseAudio: its driver is chosen already, or named by SDL_AUDIODRIVER,
// or left to SDL's own order (where PulseAudio comes first).
bool MayUsePulse(bool& bOnlyPulse)
{
    if (g_bAudioUp.load()) {
        const char* current = SDL_GetCurrentAudioDriver();
        bOnlyPulse = current != nullptr && std::strcmp(current, "pulseaudio") == 0;
        return bOnlyPulse;
    }
    const char* named = std::getenv("SDL_AUDIODRIVER");
    bOnlyPulse = named != nullptr && std::strstr(named, "pulseaudio") == named &&
                 std::strchr(named, ',') == nullptr;
    return named == nullptr || named[0] == '\0' || std::strstr(named, "pulseaudio") != nullptr;
}

// False, with the reason, when SDL must not start or open on PulseAudio now: its back end
// reads a missing default sink's name (a crash) and waits without a limit for a server that
// does not answer. An absent server is SDL's own to find out, unless nothing else may serve.
bool PulseAllows(std::string& reason)
{
    bool bOnlyPulse = false;
    if (!MayUsePulse(bOnlyPulse))
        return true;
    switch (ProbePulseServer(kPulseProbeWait)) {
    case PulseServerState::Ready:
        return true;
    case PulseServerState::NoSink:
        reason = "the sound server has no output";
        return false;
    case PulseServerState::Silent:
        reason = "the sound server does not answer";
        return false;
    case PulseServerState::Absent:
        break;
    }
    if (!bOnlyPulse)
        return true;
    reason = "no sound server";
    return false;
}

bool StartAudio(std::string& reason)
{
    std::unique_lock start = TakeStartLock();
    if (!start.owns_lock()) {
        reason = "the sound system is still shutting down";
        return false;
    }
    if (g_bAudioUp.load())
        return true;
    SDL_LogSetOutputFunction(DiscardSdlLog, nullptr);
    QuietAlsa();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        reason = SDL_GetError();
        return false;
    }
    // The removal of a device is read from its status; nobody drains SDL's event queue.
    SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
    SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);
    g_bAudioUp = true;
    return true;
}

} // namespace

CSdlDevice& CSdlDevice::operator=(CSdlDevice&& other) noexcept
{
    if (this != &other) {
        Close();
        m_nDevice = other.m_nDevice;
        m_pRelay = std::move(other.m_pRelay);
        m_mix = other.m_mix;
        m_nBufferFrames = other.m_nBufferFrames;
        other.m_nDevice = 0;
    }
    return *this;
}

bool CSdlDevice::Prepare(std::string& reason)
{
    return PulseAllows(reason) && StartAudio(reason);
}

bool CSdlDevice::Open(const AudioFormat& mix, bool bExact, Callback callback, void* user,
                      std::string& reason, bool bAfresh, bool bPlay)
{
    Close();
    // PulseAudio is reached afresh by every open, and SDL's shutdown of it may wait for ever
    // on a server that went away: it is never restarted for a new try.
    bool bOnlyPulse = false;
    if (bAfresh && !(g_bAudioUp.load() && MayUsePulse(bOnlyPulse)))
        QuitAudio();
    if (!Prepare(reason))
        return false;
    SDL_AudioSpec want{};
    want.freq = mix.nRate;
    want.format = mix.format == SampleFormat::S16 ? AUDIO_S16SYS : AUDIO_F32SYS;
    want.channels = kMixChannels;
    want.samples = DeviceBufferFrames(mix.nRate);
    m_pRelay = std::make_unique<Relay>();
    m_pRelay->callback = callback;
    m_pRelay->user = user;
    want.userdata = m_pRelay.get();
    want.callback = &CSdlDevice::Forward;
    // The device's own rate when it cannot take the medium's (then libsoxr converts); a
    // device opened for streams that already play keeps their rate, and SDL converts.
    SDL_AudioSpec have{};
    m_nDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                    bExact ? 0 : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_nDevice == 0) {
        reason = SDL_GetError();
        return false;
    }
    ++g_nDevices;
    // SDL's thread is running already: unpaused here, before it first asks, not after the
    // caller's own work.
    if (bPlay)
        SDL_PauseAudioDevice(m_nDevice, 0);
    m_mix = AudioFormat{have.freq, kMixChannels, mix.format};
    m_nBufferFrames = std::max<std::size_t>(have.samples, 256);
    return true;
}

void CSdlDevice::Close()
{
    if (m_nDevice != 0) {
        SDL_CloseAudioDevice(m_nDevice);
        m_nDevice = 0;
        --g_nDevices;
    }
    m_pRelay.reset();
}

void CSdlDevice::Mute()
{
    if (m_pRelay != nullptr)
        m_pRelay->bMuted.store(true);
}

void CSdlDevice::Forward(void* relay, unsigned char* out, int len)
{
    const auto* r = static_cast<const Relay*>(relay);
    if (r->bMuted.load())
        std::memset(out, 0, static_cast<std::size_t>(len));
    else
        r->callback(r->user, out, len);
}

void CSdlDevice::SetPaused(bool bPaused) const
{
    if (m_nDevice != 0)
        SDL_PauseAudioDevice(m_nDevice, bPaused ? 1 : 0);
}

bool CSdlDevice::Removed() const
{
    return m_nDevice != 0 && SDL_GetAudioDeviceStatus(m_nDevice) == SDL_AUDIO_STOPPED;
}

unsigned CSdlDevice::LatencyMs() const
{
    return 2 * 1000u * static_cast<unsigned>(m_nBufferFrames) /
           static_cast<unsigned>(std::max(m_mix.nRate, 1));
}

bool CSdlDevice::ServerAnswers()
{
    bool bOnlyPulse = false;
    return g_bAudioUp.load() && MayUsePulse(bOnlyPulse) &&
           ProbePulseServer(kPulseProbeWait) == PulseServerState::Ready;
}

void CSdlDevice::QuitAudio()
{
    std::unique_lock start = TakeStartLock();
    if (!start.owns_lock())
        return;
    // With a device still open or closing, SDL's audio stays up.
    if (g_bAudioUp.load() && g_nDevices.load() == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        g_bAudioUp = false;
    }
}
