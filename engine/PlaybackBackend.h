#pragma once

#include "base/WinTypes.h"
#include "engine/MediumTypes.h"

#include <cstdint>
#include <string>

// One way of playing a medium: the media devices (audio CD, MIDI, WAV) or the plug-ins
// (compressed MPEG audio). CPlayEngine opens one medium at a time on the back end its kind
// asks for and forwards every operation on it there.
//
// Threads: every function is called on the user-interface thread. A back end's own threads
// (the CD position monitor, the decoder) reach the rest of the player only by posting to
// the window given to SetNotifyWindow and by single atomic values.
class IPlaybackBackend
{
public:
    virtual ~IPlaybackBackend() = default;

    // The window that receives MM_MCINOTIFY (and, from a CD, WM_PLAYPOS) from now on; 0 for
    // none. May come before or after Open.
    virtual void SetNotifyWindow(HWND hWnd) = 0;

    // Opens the medium of kind (never DEVICE_NONE): the file at strPath, or the audio CD for
    // DEVICE_CDAUDIO (strPath unused). Nothing is open on this back end before. 1 when open;
    // 0 after the message box of the failure (none when the decoder refuses the file).
    virtual int Open(const std::string& strPath, DeviceKind kind) = 0;
    // Closes the open medium, ending whatever threads it runs first (a CD's monitor waits at
    // most its stop timeout). Nothing when nothing is open.
    virtual void Close() = 0;
    // The open medium's id (a device id, or 1 for a compressed file); 0 when nothing is open.
    virtual UINT DeviceId() const = 0;

    // The operations below come only while a medium is open (DeviceId() non-zero), in any
    // order; each means what the CPlayEngine function of the same name means.

    // Starts or resumes; a non-zero nTrack starts a CD at that track. 1 when playing; 0 after
    // the message box of the failure (none for the decoder's).
    virtual int Play(int nTrack) = 0;
    // Halts at the current position. 1.
    virtual int Stop() = 0;
    // Moves to nPercent (0-100, already clamped) of the length, of the current track on a CD.
    // 1.
    virtual int SeekPercent(int nPercent) = 0;
    // Moves to nMilliseconds (0 up to the length, already clamped) from the start, of the
    // current track on a CD, as exactly as the medium allows; states as SeekPercent. 1.
    virtual int SeekMilliseconds(std::int64_t nMilliseconds) = 0;
    // Fills pos, which the caller has zeroed, for the open medium.
    virtual void GetPosition(PlayPosition& pos) = 0;
    // Length in whole seconds: of track nTrack (1-99) on a CD, of the medium otherwise.
    virtual int GetLengthSeconds(int nTrack) = 0;
    // Length in milliseconds, as exactly as the medium tells it (whole seconds for a
    // compressed file); nTrack as GetLengthSeconds.
    virtual std::int64_t GetLengthMilliseconds(int nTrack) = 0;
    // The media mode (MCI_MODE_STOP, MCI_MODE_PLAY, ...).
    virtual int GetMode() = 0;
    // The CD's number of tracks; 0 for any other medium.
    virtual int GetTrackCount() const = 0;
    // When the open medium is a CD: stops it and opens the drive's door, leaving it open for
    // the caller to close, and returns 1. Otherwise does nothing and returns 0.
    virtual int OpenDiscDoor() = 0;
};
