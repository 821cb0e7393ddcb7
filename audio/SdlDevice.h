#pragma once

#include "audio/SoundOutput.h"

#include <cstdint>
#include <string>

// One SDL audio device (the default one), stereo, opened paused. SDL's audio is started by
// the first Open and stopped by QuitAudio, so that the next Open reads SDL's environment
// variables and looks for devices afresh.
//
// Threads: the sound output calls every function with its control lock held, so that no two
// run at once; the device's callback runs on SDL's audio thread until Close returns.
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
    // the device may choose its own rate. The device starts paused. False, with SDL's reason
    // in reason, when none opens.
    bool Open(const AudioFormat& mix, bool bExact, Callback callback, void* user,
              std::string& reason);
    // Closes the device (waiting for a callback in progress); harmless when not open.
    void Close();
    bool IsOpen() const { return m_nDevice != 0; }
    void SetPaused(bool bPaused) const;
    // SDL reports the device stopped: it was removed.
    bool Removed() const;
    // The format the device was opened with: its rate, the asked-for sample format, stereo.
    AudioFormat Mix() const { return m_mix; }
    // Frames of one callback.
    std::size_t BufferFrames() const { return m_nBufferFrames; }
    // The driver's buffer and the one being filled.
    unsigned LatencyMs() const;

    // Stops SDL's audio (no device may be open).
    static void QuitAudio();

private:
    std::uint32_t m_nDevice = 0;
    AudioFormat m_mix;
    std::size_t m_nBufferFrames = 0;
};
