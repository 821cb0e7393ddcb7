#pragma once

#include "platform/Mci.h"
#include "platform/SoundOutput.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

// One open media device: the play, stop, seek, set and status commands, the notifications and
// the position, common to the waveform, sequencer and CD devices, which supply the medium.
//
// A device's timeline is counted in frames of its own output format. Playing moves a position
// from a start to an end frame while the sound output pulls frames (Render, on the output's
// thread); the play ends, and its notification is posted, on the output's thread too, once
// the output's latency has passed after the last frame, so that the end is really heard.
//
// Threads: Command may be called from any thread. Commands that change playing are carried
// out one at a time (m_command); status questions only take m_state, which the output's
// thread holds while rendering, so a position query never waits for a play command. Every
// virtual hook below runs with m_state held, on a command thread or the output's thread.
class CMciDevice : private IAudioSource
{
public:
    explicit CMciDevice(MCIDEVICEID id)
        : m_nId(id)
    {}
    ~CMciDevice() override;
    CMciDevice(const CMciDevice&) = delete;
    CMciDevice& operator=(const CMciDevice&) = delete;

    MCIDEVICEID Id() const { return m_nId; }

    // Carries out any command but MCI_OPEN and MCI_CLOSE.
    MCIERROR Command(UINT message, DWORD flags, void* params);

    // Stops (a notifying play is reported aborted) and disconnects from the output; every
    // later command answers MCIERR_INVALID_DEVICE_ID. Every derived destructor calls it
    // first, so that the output never renders through a half-destroyed device.
    void Close();

protected:
    // The frame format the device renders in; fixed once the device is open.
    virtual AudioFormat Format() const = 0;
    // Length of the medium in frames.
    virtual std::uint64_t LengthFrames() const = 0;
    // Moves the decoder so that the next Decode starts at frame. False on failure.
    virtual bool Reposition(std::uint64_t frame) = 0;
    // Decodes up to frames frames from the decoder's position; fewer only on a read failure.
    virtual std::size_t Decode(void* buffer, std::size_t frames) = 0;

    // Time formats the device accepts; milliseconds unless overridden.
    virtual bool IsTimeFormatSupported(DWORD format) const;
    // A position given in the current time format, as a frame (MCIERR_OUTOFRANGE when it
    // names no position of the medium).
    virtual MCIERROR ToFrame(DWORD value, std::uint64_t& frame) const;
    // A frame as a position in the current time format.
    virtual DWORD FromFrame(std::uint64_t frame) const;
    // Answers one status item; the base answers length, position, number of tracks, mode,
    // media present, ready, time format and current track for a one-track medium.
    virtual MCIERROR StatusItem(DWORD item, DWORD flags, DWORD track, DWORD_PTR& answer);
    // MCIERR_... when the device cannot play now (a drive without a disc), else 0.
    virtual MCIERROR ReadyToPlay() { return 0; }
    // Where a play that starts at from really starts (the CD skips data tracks).
    virtual std::uint64_t PlayStart(std::uint64_t from) const { return from; }
    // Where a play without MCI_TO ends.
    virtual std::uint64_t PlayEnd() const { return LengthFrames(); }
    // Opens or closes the door, called after playing has stopped. Unsupported by default.
    virtual MCIERROR SetDoor(bool bOpen);

    DWORD TimeFormat() const { return m_nTimeFormat; }
    std::uint64_t Position() const { return m_nPos; }
    bool IsPlaying() const { return m_bPlaying; }
    // Milliseconds and frames of the device's format, each rounded to the nearest, so that
    // a whole number of milliseconds survives the round trip at any rate.
    std::uint64_t MsToFrames(std::uint64_t ms) const;
    DWORD FramesToMs(std::uint64_t frames) const;

private:
    std::size_t Render(void* buffer, std::size_t frames) override;

    MCIERROR Play(DWORD flags, MCI_PLAY_PARMS* params, std::unique_lock<std::mutex>& command);
    MCIERROR Seek(DWORD flags, const MCI_SEEK_PARMS* params);
    MCIERROR Set(DWORD flags, const MCI_SET_PARMS* params);
    MCIERROR Status(DWORD flags, MCI_STATUS_PARMS* params);
    // With m_state held: stops playing and reports a pending notification as code.
    void HaltLocked(WPARAM code);
    // Without m_state held: halts and disconnects from the output.
    void Halt();
    void Notify(DWORD_PTR callback, WPARAM code);

    const MCIDEVICEID m_nId;
    std::mutex m_command;
    std::mutex m_state;
    std::condition_variable m_ended;
    AudioConnection m_connection = 0; // guarded by m_command
    bool m_bClosed = false;
    bool m_bPlaying = false;
    std::uint64_t m_nPlays = 0; // counts plays, so a waiting play knows when it was replaced
    std::uint64_t m_nPos = 0;
    std::uint64_t m_nEnd = 0;
    std::uint64_t m_nDecoderPos = 0;
    std::uint64_t m_nTail = 0; // frames of silence still to play after the end, before it counts
    HWND m_hNotify = 0;        // the window a pending notification goes to
    DWORD m_nTimeFormat = MCI_FORMAT_MILLISECONDS;
};
