#pragma once

#include "audio/SoundOutput.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// One SDL audio device (the default one), stereo, opened paused. SDL's audio is started by
// the first Open and stopped by QuitAudio (or an Open afresh), so that the next Open reads
// SDL's environment variables and looks for devices afresh. Where SDL would reach PulseAudio,
// the server is asked first (PulseProbe.h): neither starting nor opening goes to a server
// without an output or one that does not answer.
//
// Threads: Open and Close may wait on the sound server (a server that hangs, without a limit
// inside SDL), so the sound output calls them on its service thread (or a closing thread of
// its own) with none of its locks held, one device object on one thread at a time; SetPaused,
// Removed and the queries are quick and called under the output's control lock. The device's
// callback runs on SDL's audio thread until Close returns.
class CSdlDevice
{
public:
    using Callback = void (*)(void* user, unsigned char* out, int len);

    CSdlDevice() = default;
    ~CSdlDevice() { Close(); }
    CSdlDevice(CSdlDevice&& other) noexcept { *this = std::move(other); }
    CSdlDevice& operator=(CSdlDevice&& other) noexcept;
    CSdlDevice(const CSdlDevice&) = delete;
    CSdlDevice& operator=(const CSdlDevice&) = delete;

    // Opens the default device for mix's rate and sample format (two channels); unless bExact
    // the device may choose its own rate. The device starts paused, or with bPlay playing at
    // once, so that SDL's first callback already asks for sound (a device that wrote its first
    // period silent would keep the first frames waiting for a whole period). False, with SDL's
    // reason in reason, when none opens. bAfresh stops SDL's audio first (when no other device
    // is open), so that its variables and devices are read again.
    bool Open(const AudioFormat& mix, bool bExact, Callback callback, void* user,
              std::string& reason, bool bAfresh = false, bool bPlay = false);
    // Closes the device (waiting for a callback in progress); harmless when not open.
    void Close();
    bool IsOpen() const { return m_nDevice != 0; }
    // From now on the callback is not called: the device plays silence until it is closed.
    // Any thread; for a device let go while its callbacks may still come (one lost, or one
    // replaced, whose close may wait).
    void Mute();
    void SetPaused(bool bPaused) const;
    // SDL reports the device stopped: it was removed.
    bool Removed() const;
    // The format the device was opened with: its rate, the asked-for sample format, stereo.
    AudioFormat Mix() const { return m_mix; }
    // Frames of one callback.
    std::size_t BufferFrames() const { return m_nBufferFrames; }
    // The driver's buffer and the one being filled.
    unsigned LatencyMs() const;

    // Whether the sound server behind SDL's driver still answers (only PulseAudio is asked;
    // false for the others). Waits at most a third of a second; no lock may be held.
    static bool ServerAnswers();
    // Starts SDL's audio, where the server allows it, without opening a device: the part of a
    // first Open that needs no format, done ahead. False, with the reason, as Open fails.
    static bool Prepare(std::string& reason);
    // Stops SDL's audio (no device may be opening); left up while a device is open or still
    // closing on another thread (one left behind on a server that hangs).
    static void QuitAudio();

private:
    // What SDL calls: the callback unless muted. Lives as long as the device is open.
    struct Relay
    {
        Callback callback = nullptr;
        void* user = nullptr;
        std::atomic<bool> bMuted{false};
    };
    static void Forward(void* relay, unsigned char* out, int len);

    std::uint32_t m_nDevice = 0;
    std::unique_ptr<Relay> m_pRelay;
    AudioFormat m_mix;
    std::size_t m_nBufferFrames = 0;
};
