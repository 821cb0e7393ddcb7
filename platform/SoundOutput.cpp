#include "platform/SoundOutput.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int kDeviceRate = 48000;
constexpr int kDeviceChannels = 2;
constexpr Uint16 kDeviceFrames = 1024;
// The silent output's pull period: long enough to cost next to nothing, short enough for a
// display that refreshes every 450 ms.
constexpr auto kSilentTick = std::chrono::milliseconds(40);
constexpr unsigned kConversionSlackMs = 10;

struct Connection
{
    AudioConnection id = 0;
    IAudioSource* source = nullptr;
    AudioFormat format;
    SDL_AudioStream* stream = nullptr; // device output: converts to the device's format
    std::uint64_t clockMs = 0;         // manual clock: milliseconds pulled so far
    std::uint64_t clockFrames = 0;     // clocks: frames pulled so far
    std::chrono::steady_clock::time_point started;
};

SDL_AudioFormat SdlFormat(SampleFormat f)
{
    return f == SampleFormat::S16 ? AUDIO_S16SYS : AUDIO_F32SYS;
}

void AppendAsFloat(const void* data, std::size_t frames, const AudioFormat& format,
                   std::vector<float>& out)
{
    const std::size_t n = frames * static_cast<std::size_t>(format.nChannels);
    if (format.format == SampleFormat::F32) {
        const auto* p = static_cast<const float*>(data);
        out.insert(out.end(), p, p + n);
        return;
    }
    const auto* p = static_cast<const std::int16_t*>(data);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<float>(p[i]) / 32768.0f);
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

class COutput
{
public:
    AudioConnection Connect(IAudioSource& source, const AudioFormat& format);
    void Disconnect(AudioConnection id);
    AudioOutputKind Open();
    bool Select(AudioOutputKind kind);
    std::size_t Advance(unsigned ms, std::vector<float>* captured);
    void Close();
    unsigned LatencyMs() const { return m_nLatencyMs.load(); }

private:
    void OpenLocked(AudioOutputKind kind);
    void CloseLocked();
    bool OpenDevice();
    void SilentClock();
    void DeviceCallback(Uint8* out, int len);
    std::size_t PullByClock(Connection& c, std::uint64_t frames, std::vector<float>* captured);
    void PullIntoStream(Connection& c, std::size_t bytesWanted);

    // Held by Connect, Disconnect, Select, Open and Close, never by the output's thread, so
    // they may wait for SDL's audio thread while holding it.
    std::mutex m_control;
    // Held while rendering and while changing what rendering reads.
    std::mutex m_render;
    // Written under m_control, read also by Advance on a test's thread.
    std::atomic<bool> m_bOpen{false};
    std::atomic<AudioOutputKind> m_kind{AudioOutputKind::Silent};
    std::vector<std::unique_ptr<Connection>> m_connections;
    AudioConnection m_nextId = 1;
    SDL_AudioDeviceID m_device = 0;
    SDL_AudioSpec m_have{};
    std::vector<unsigned char> m_scratch;
    std::vector<unsigned char> m_converted;
    std::vector<float> m_mix;
    std::thread m_clock;
    std::condition_variable m_clockWake;
    bool m_bClockStop = false;
    bool m_bToldSilent = false;
    std::atomic<unsigned> m_nLatencyMs{0};
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

bool COutput::OpenDevice()
{
    SDL_LogSetOutputFunction(DiscardSdlLog, nullptr);
    QuietAlsa();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want{};
    want.freq = kDeviceRate;
    want.format = AUDIO_F32SYS;
    want.channels = kDeviceChannels;
    want.samples = kDeviceFrames;
    want.userdata = this;
    want.callback = [](void* self, Uint8* out, int len) {
        static_cast<COutput*>(self)->DeviceCallback(out, len);
    };
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &m_have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (m_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void COutput::OpenLocked(AudioOutputKind kind)
{
    std::string reason;
    if (kind == AudioOutputKind::Device) {
        if (OpenDevice()) {
            m_kind = AudioOutputKind::Device;
            m_bOpen = true;
            // The driver's buffer and the one being filled, and what a conversion holds back.
            m_nLatencyMs = 2 * 1000u * m_have.samples / static_cast<unsigned>(m_have.freq) +
                           kConversionSlackMs;
            return;
        }
        reason = SDL_GetError();
        kind = AudioOutputKind::Silent;
    }
    m_kind = kind;
    m_bOpen = true;
    m_nLatencyMs = kind == AudioOutputKind::Silent
                       ? static_cast<unsigned>(std::chrono::milliseconds(kSilentTick).count())
                       : 0;
    if (kind == AudioOutputKind::Silent) {
        if (!m_bToldSilent) {
            m_bToldSilent = true;
            std::fprintf(stderr,
                         "sorvane: no sound device could be opened (%s); playing "
                         "silently\n",
                         reason.empty() ? "none chosen" : reason.c_str());
        }
        m_bClockStop = false;
        m_clock = std::thread([this] { SilentClock(); });
    }
}

void COutput::CloseLocked()
{
    if (!m_bOpen)
        return;
    if (m_device != 0) {
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (m_clock.joinable()) {
        {
            std::lock_guard lock(m_render);
            m_bClockStop = true;
        }
        m_clockWake.notify_all();
        m_clock.join();
    }
    m_bOpen = false;
    m_nLatencyMs = 0;
}

AudioOutputKind COutput::Open()
{
    std::lock_guard control(m_control);
    if (!m_bOpen)
        OpenLocked(AudioOutputKind::Device);
    return m_kind;
}

bool COutput::Select(AudioOutputKind kind)
{
    std::lock_guard control(m_control);
    if (!m_connections.empty())
        return false;
    CloseLocked();
    OpenLocked(kind);
    return true;
}

void COutput::Close()
{
    std::lock_guard control(m_control);
    if (m_connections.empty())
        CloseLocked();
}

AudioConnection COutput::Connect(IAudioSource& source, const AudioFormat& format)
{
    if (!format.IsValid())
        return 0;
    std::lock_guard control(m_control);
    if (!m_bOpen)
        OpenLocked(AudioOutputKind::Device);
    auto c = std::make_unique<Connection>();
    c->source = &source;
    c->format = format;
    c->started = std::chrono::steady_clock::now();
    if (m_kind == AudioOutputKind::Device) {
        c->stream =
            SDL_NewAudioStream(SdlFormat(format.format), static_cast<Uint8>(format.nChannels),
                               format.nRate, m_have.format, m_have.channels, m_have.freq);
        if (c->stream == nullptr)
            return 0;
    }
    bool bFirst = false;
    AudioConnection id = 0;
    {
        std::lock_guard lock(m_render);
        id = m_nextId++;
        if (m_nextId == 0)
            m_nextId = 1;
        c->id = id;
        m_connections.push_back(std::move(c));
        bFirst = m_connections.size() == 1;
    }
    if (bFirst && m_device != 0)
        SDL_PauseAudioDevice(m_device, 0);
    // The silent output takes a new source's first frames at once, not at its next tick.
    m_clockWake.notify_all();
    return id;
}

void COutput::Disconnect(AudioConnection id)
{
    if (id == 0)
        return;
    std::lock_guard control(m_control);
    std::unique_ptr<Connection> gone;
    bool bEmpty = false;
    {
        std::lock_guard lock(m_render);
        const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                     [id](const auto& c) { return c->id == id; });
        if (it == m_connections.end())
            return;
        gone = std::move(*it);
        m_connections.erase(it);
        bEmpty = m_connections.empty();
    }
    if (gone->stream != nullptr)
        SDL_FreeAudioStream(gone->stream);
    if (bEmpty && m_device != 0)
        SDL_PauseAudioDevice(m_device, 1);
}

std::size_t COutput::PullByClock(Connection& c, std::uint64_t frames, std::vector<float>* captured)
{
    const std::size_t frameBytes = c.format.FrameBytes();
    std::size_t total = 0;
    while (frames > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(frames, 4096));
        m_scratch.resize(chunk * frameBytes);
        const std::size_t got = std::min(c.source->Render(m_scratch.data(), chunk), chunk);
        if (captured != nullptr)
            AppendAsFloat(m_scratch.data(), got, c.format, *captured);
        total += got;
        frames -= chunk;
        c.clockFrames += chunk;
    }
    return total;
}

std::size_t COutput::Advance(unsigned ms, std::vector<float>* captured)
{
    std::lock_guard lock(m_render);
    if (!m_bOpen || m_kind != AudioOutputKind::ManualClock)
        return 0;
    std::size_t total = 0;
    for (auto& c : m_connections) {
        c->clockMs += ms;
        const std::uint64_t target =
            c->clockMs * static_cast<std::uint64_t>(c->format.nRate) / 1000;
        total += PullByClock(*c, target - c->clockFrames, captured);
    }
    return total;
}

void COutput::SilentClock()
{
    std::unique_lock lock(m_render);
    while (!m_bClockStop) {
        m_clockWake.wait_for(lock, kSilentTick);
        const auto now = std::chrono::steady_clock::now();
        for (auto& c : m_connections) {
            const auto us =
                std::chrono::duration_cast<std::chrono::microseconds>(now - c->started).count();
            // One tick ahead of real time, as a device's buffer is: a new source is taken
            // at once, and what is pulled is "heard" a tick later (the output's latency).
            const auto ahead = us + std::chrono::microseconds(kSilentTick).count();
            const std::uint64_t target = static_cast<std::uint64_t>(ahead) *
                                         static_cast<std::uint64_t>(c->format.nRate) / 1000000;
            if (target > c->clockFrames)
                PullByClock(*c, target - c->clockFrames, nullptr);
        }
    }
}

void COutput::PullIntoStream(Connection& c, std::size_t bytesWanted)
{
    const std::size_t frameBytes = c.format.FrameBytes();
    const std::size_t outFrameBytes = sizeof(float) * m_have.channels;
    while (static_cast<std::size_t>(SDL_AudioStreamAvailable(c.stream)) < bytesWanted) {
        const std::size_t missing =
            (bytesWanted - static_cast<std::size_t>(SDL_AudioStreamAvailable(c.stream))) /
            outFrameBytes;
        const std::size_t chunk =
            std::clamp<std::size_t>(missing * static_cast<std::size_t>(c.format.nRate) /
                                            static_cast<std::size_t>(m_have.freq) +
                                        16,
                                    16, 4096);
        m_scratch.resize(chunk * frameBytes);
        const std::size_t got = std::min(c.source->Render(m_scratch.data(), chunk), chunk);
        if (got == 0) {
            SDL_AudioStreamFlush(c.stream);
            break;
        }
        SDL_AudioStreamPut(c.stream, m_scratch.data(), static_cast<int>(got * frameBytes));
    }
}

void COutput::DeviceCallback(Uint8* out, int len)
{
    const auto bytes = static_cast<std::size_t>(len);
    std::lock_guard lock(m_render);
    m_mix.assign(bytes / sizeof(float), 0.0f);
    m_converted.resize(bytes);
    for (auto& c : m_connections) {
        PullIntoStream(*c, bytes);
        const int got = SDL_AudioStreamGet(c->stream, m_converted.data(), len);
        if (got <= 0)
            continue;
        const auto* p = reinterpret_cast<const float*>(m_converted.data());
        const std::size_t n = static_cast<std::size_t>(got) / sizeof(float);
        for (std::size_t i = 0; i < n; ++i)
            m_mix[i] += p[i];
    }
    for (float& v : m_mix)
        v = std::clamp(v, -1.0f, 1.0f);
    std::memcpy(out, m_mix.data(), bytes);
}

} // namespace

AudioConnection ConnectAudioSource(IAudioSource& source, const AudioFormat& format)
{
    return TheOutput().Connect(source, format);
}

void DisconnectAudioSource(AudioConnection connection)
{
    TheOutput().Disconnect(connection);
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

void CloseAudioOutput()
{
    TheOutput().Close();
}
