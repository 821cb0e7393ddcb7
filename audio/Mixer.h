#pragma once

#include "audio/AudioStreamImpl.h"
#include "audio/Limiter.h"
#include "audio/Samples.h"
#include "audio/SdlDevice.h"
#include "audio/SoundOutput.h"
#include "audio/WakeSignal.h"
#include "base/Contract.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

// The mix's gain, 0..1 (SetAudioOutputVolume); 1 multiplies nothing.
extern std::atomic<double> g_dAudioVolume;

// The process's one sound output behind SoundOutput.h: the table of streams, the mix, the
// device (or the silent output, or the manual clock) and the service thread. The lock order
// and what each lock covers are written at the top of Mixer.cpp. A private function that needs
// m_control or m_render held takes the caller's lock as proof (control, render) and checks it.
class CMixer
{
public:
    // A lock on m_control or m_render, passed as proof that it is held.
    using Lock = std::unique_lock<std::mutex>;

    static CMixer& Instance();

    // Any thread but the output's. A stream for frames of format (null when the format is
    // not valid or the table is full), opening, reopening or trying the device again first
    // (the output's first stream does not wait for the device: see SoundOutput.h);
    // on terms' leader and gain (see CAudioStreamTicket), and handed back through it.
    std::shared_ptr<CAudioStreamImpl> Connect(const AudioFormat& format, unsigned ringMs,
                                              IAudioStreamOwner* owner,
                                              const AudioStreamTicket& terms = nullptr);
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
    // Any thread, lock-free: a device is asked for and none plays, so every stream holds.
    bool Held() const { return m_bHeld.load(); }

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

    // What a close leaves to finish once m_control is let go: the service thread (told to
    // stop) and the device.
    struct Closing
    {
        std::jthread service;
        CSdlDevice device;
    };

    // Opens the output of kind for format's rate and sample format and starts the service
    // thread; a Device is asked of the service thread (AskDeviceLocked), and until it opens
    // the output holds every stream.
    void OpenLocked(const Lock& control, AudioOutputKind kind, const AudioFormat& format);
    // Closes the output; what is left to finish goes to FinishClose.
    Closing CloseLocked(const Lock& control);
    // No lock held: stops the service thread and closes the device on a thread of its own,
    // waiting kCloseWait at most; true when all of it finished (SDL's audio is then stopped).
    static bool FinishClose(Closing closing);
    // Asks the service thread for a device at mix (bExact: at that rate, SDL converting) and
    // returns the ticket that WaitForDeviceLocked waits for.
    std::uint64_t AskDeviceLocked(const Lock& control, const AudioFormat& mix, bool bExact);
    // Waits at most kDeviceWait for the attempt of ticket, letting control go meanwhile.
    void WaitForDeviceLocked(Lock& control, std::uint64_t ticket);
    // No device: the silent output at mix (or the manual clock when kind is that); while a
    // device is asked for it pulls nothing and every stream holds. Takes m_render.
    void MixWithoutDeviceLocked(const Lock& control, AudioOutputKind kind, const AudioFormat& mix);
    // Service thread: the device was removed, its server stopped answering or the test seam
    // lost it; it is closed aside (control let go meanwhile) and the streams hold.
    void LoseDeviceLocked(Lock& control);
    // Service thread: one attempt to open a device (the one asked for, or the retry while
    // none plays), with control let go while SDL works.
    void TryDeviceLocked(Lock& control, const std::stop_token& stop);
    // Whether the playing device's callbacks stopped coming.
    bool StalledLocked(const Lock& control) const;
    // The device plays (streams open) or rests (none); its callbacks are watched from now on.
    void PauseDeviceLocked(const Lock& control, bool bPaused);
    // Lets go of the streams that were playing out after their close. Takes m_render.
    void DropDetachedLocked(const Lock& control, bool bOnlyPlayedOut);
    // The buffers for mixing at mix, blocks of frames at most.
    void SizeBuffersLocked(const Lock& render, const AudioFormat& mix, std::size_t frames);

    // The service thread's loop; it plays m_serviceRole while it runs.
    void ServiceThread(std::stop_token stop);
    // Service thread: what the device needs (lost, asked for, due for a retry); returns how
    // long the service may sleep before it looks again.
    std::chrono::milliseconds WatchDevice(const std::stop_token& stop);
    // Whether the device asked for waits for the first frames of the streams it is asked
    // for: none is open, streams are, none has written anything yet, and kFirstFramesWait has
    // not passed since the ask. Opened before, the device would play its first period silent
    // and keep those frames waiting for the next one. left is the time still to wait.
    bool AwaitsFirstFramesLocked(const Lock& control, std::chrono::milliseconds& left) const;
    // Service thread: the silent output's clock.
    void TickSilent(const std::stop_token& stop);
    // Service thread (the manual clock: the thread advancing it): tells owners whose ends were
    // heard, and releases detached streams that have played out.
    void Service();

    // SDL's real-time thread: takes m_render and mixes; allocates nothing and waits for
    // nothing but that lock, which nobody holds longer than a mix or a short table change.
    static void Callback(void* self, unsigned char* out, int len);
    // Mixes frames frames of every playing stream into out (the mix format; null for the
    // silent output); returns whether a stream's end was heard. Allocates nothing.
    bool MixLocked(const Lock& render, void* out, std::size_t frames);
    // When the mix could only reproduce one stream's frames (a 16-bit device, one stream not
    // held behind a leader, whose end does not fall within this pull if a follower waits
    // behind it, gain and volume 1, the limiter at rest), copies them straight into out and
    // returns true; false leaves out untouched for MixLocked. Allocates nothing.
    bool CopyLoneStreamLocked(const Lock& render, void* out, std::size_t frames, bool& bEnded);

    // See the lock order in Mixer.cpp.
    std::mutex m_control;
    std::mutex m_hooks;
    std::mutex m_render;

    std::atomic<bool> m_bOpen{false};
    std::atomic<AudioOutputKind> m_kind{AudioOutputKind::Silent};
    std::atomic<bool> m_bWantDevice{false}; // written under m_control: the output is the device
    std::atomic<bool> m_bHeld{false};       // written under m_control: see Held()
    AudioFormat m_mix{44100, kMixChannels, SampleFormat::S16};
    std::vector<std::shared_ptr<CAudioStreamImpl>> m_streams; // owned, under m_control
    std::array<Slot, kMaxStreams> m_table{};                  // what mixing reads, m_render
    CSdlDevice m_device;                                      // m_control
    std::vector<float> m_mixBuffer;                           // m_render
    std::vector<unsigned char> m_pullBuffer;                  // m_render
    std::vector<unsigned char> m_scratch;                     // m_render (manual clock)
    CLimiter m_limiter;                                       // m_render

    std::jthread m_service; // m_control
    // Played by the running service thread: claimed and given up under m_control, so that a
    // service thread left to finish after a close never takes it from its successor.
    CThreadRole m_serviceRole;
    // Played by the thread that tells owners their ends (under m_hooks): an owner that closes
    // or opens a stream from OnStreamEnded would take m_control below m_hooks.
    CThreadRole m_tellingRole;
    CWakeSignal m_wake;
    std::chrono::steady_clock::time_point m_silentStart; // m_render
    std::uint64_t m_nSilentFrames = 0;                   // m_render
    std::chrono::steady_clock::time_point m_lastTry;     // m_control
    bool m_bToldSilent = false;                          // m_control
    bool m_bLostNews = false; // m_control: a lost device not yet reported on standard error
    // The device asked of the service thread (m_control): tickets count the asks, the
    // service thread serves the newest at each attempt and tells the waiters.
    std::uint64_t m_nAsked = 0;
    std::uint64_t m_nServed = 0;
    AudioFormat m_askedMix{44100, kMixChannels, SampleFormat::S16};
    std::chrono::steady_clock::time_point m_askedAt;
    std::uint64_t m_nPrepared = 0; // the ask for which SDL was started ahead of the first frames
    bool m_bAskedExact = false;
    bool m_bAfresh = false;      // m_control: the next attempt starts SDL's audio afresh
    bool m_bDevicePaused = true; // m_control
    std::condition_variable m_served;
    // A lost device's close, left to a thread of its own: ready once it returned.
    std::shared_future<void> m_lostClosed;        // m_control (waited on with m_control let go)
    std::atomic<std::int64_t> m_nLastCallback{0}; // steady clock, nanoseconds
    std::atomic<unsigned> m_nLatencyMs{0};
    std::atomic<unsigned> m_nStallMs{0};
    std::atomic<bool> m_bLost{false};
};
