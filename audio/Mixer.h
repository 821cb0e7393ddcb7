#pragma once

#include "audio/AudioStreamImpl.h"
#include "audio/Limiter.h"
#include "audio/Samples.h"
#include "audio/SdlDevice.h"
#include "audio/SoundOutput.h"

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <semaphore>
#include <stop_token>
#include <thread>
#include <vector>

// The mix's gain, 0..1 (SetAudioOutputVolume); 1 multiplies nothing.
extern std::atomic<double> g_dAudioVolume;

// The process's one sound output behind SoundOutput.h: the table of streams, the mix, the
// device (or the silent output, or the manual clock) and the service thread. The lock order
// and what each lock covers are written at the top of Mixer.cpp.
class CMixer
{
public:
    static CMixer& Instance();

    // Any thread but the output's. A stream for frames of format (null when the format is
    // not valid or the table is full), opening, reopening or trying the device again first.
    std::shared_ptr<CAudioStreamImpl> Connect(const AudioFormat& format, unsigned ringMs,
                                              IAudioStreamOwner* owner);
    // Any thread but the output's. The stream is no longer pulled, and its owner is not called
    // once this returns.
    void Disconnect(const std::shared_ptr<CAudioStreamImpl>& stream);
    // Any thread. The stream plays out what it holds and is then released by the service.
    void Detach(std::shared_ptr<CAudioStreamImpl> stream);
    AudioOutputKind Open();
    bool Select(AudioOutputKind kind);
    void Close();
    unsigned LatencyMs() const { return m_nLatencyMs.load(); }
    AudioFormat Format();

    // Test seams (MixerTestSeams.cpp): the manual clock's advance, a stalled callback, a
    // removed device.
    std::size_t Advance(unsigned ms, std::vector<float>* captured);
    void Stall(unsigned ms) { m_nStallMs.store(ms); }
    void Lose();

private:
    struct Slot
    {
        CAudioStreamImpl* stream = nullptr;
    };

    // m_control held: opens the output of kind (a Device falls back to Silent) for format's
    // rate and sample format, and starts the service thread.
    void OpenLocked(AudioOutputKind kind, const AudioFormat& format);
    // m_control held: closes the output; returns the service thread, told to stop, for the
    // caller to join once m_control is released.
    std::jthread CloseLocked();
    // m_control held: opens a device for mix and only then lets the old one go; false, with
    // everything as it was, when none opens.
    bool OpenDeviceLocked(const AudioFormat& mix, bool bExact, std::string& reason);
    // m_control held: the silent output at mix (or the manual clock when kind is that).
    void MixWithoutDeviceLocked(AudioOutputKind kind, const AudioFormat& mix);
    // m_control held, a device asked for but none open: tries one again at mix.
    void RetryDeviceLocked(const AudioFormat& mix, bool bExact);
    // m_control held: the device was removed; the default one, else the silent output.
    void RecoverLocked();
    // m_control held: lets go of the streams that were playing out after their close.
    void DropDetachedLocked(bool bOnlyPlayedOut);
    // m_render held: the buffers for mixing at mix, blocks of frames at most.
    void SizeBuffersLocked(const AudioFormat& mix, std::size_t frames);

    void ServiceThread(std::stop_token stop);
    // Service thread: the silent output's clock.
    void TickSilent(const std::stop_token& stop);
    // Tells owners whose ends were heard, and releases detached streams that have played out.
    void Service();

    static void Callback(void* self, unsigned char* out, int len);
    // m_render held: mixes frames frames of every playing stream into out (the mix format;
    // null for the silent output); returns whether a stream's end was heard.
    bool MixLocked(void* out, std::size_t frames);

    // See the lock order in Mixer.cpp.
    std::mutex m_control;
    std::mutex m_hooks;
    std::mutex m_render;

    std::atomic<bool> m_bOpen{false};
    std::atomic<AudioOutputKind> m_kind{AudioOutputKind::Silent};
    bool m_bWantDevice = false; // m_control: the output asked for is the device
    AudioFormat m_mix{44100, kMixChannels, SampleFormat::S16};
    std::vector<std::shared_ptr<CAudioStreamImpl>> m_streams; // owned, under m_control
    std::array<Slot, kMaxStreams> m_table{};                  // what mixing reads, m_render
    CSdlDevice m_device;                                      // m_control
    std::vector<float> m_mixBuffer;                           // m_render
    std::vector<unsigned char> m_pullBuffer;                  // m_render
    std::vector<unsigned char> m_scratch;                     // m_render (manual clock)
    CLimiter m_limiter;                                       // m_render

    std::jthread m_service; // m_control
    std::binary_semaphore m_wake{0};
    std::chrono::steady_clock::time_point m_silentStart; // m_render
    std::uint64_t m_nSilentFrames = 0;                   // m_render
    std::chrono::steady_clock::time_point m_lastTry;     // m_control
    bool m_bToldSilent = false;                          // m_control
    std::atomic<unsigned> m_nLatencyMs{0};
    std::atomic<unsigned> m_nStallMs{0};
    std::atomic<bool> m_bLost{false};
};
