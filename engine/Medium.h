#pragma once

#include "audio/SoundOutput.h"
#include "engine/MediumTypes.h"
#include "engine/PositionMonitor.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

// One open medium: a media device (CD, MIDI, WAV) or a decoder and an output of their own (a
// compressed file). Made open by its class's Open, closed by its destructor, which ends the
// threads it runs and lets its stream's decay play out.
//
// Threads: made, called and destroyed on the user-interface thread only (each function
// asserts it). Its own threads (the device's decoder, the plug-in's decode thread, the CD
// position monitor) reach the player only by posting to the request's window, each notice
// carrying the medium's serial.

// What a medium is opened with.
struct MediumRequest
{
    std::string strPath;           // the file; unused for the CD
    DeviceKind kind = DEVICE_NONE; // never DEVICE_NONE
    std::uint32_t nSerial = 0;     // what its notices carry; never 0
    AudioStreamTicket ticket;      // how its stream opens (leader, gain), and hands it back
    // The window its notices go to (read when each is posted), and the CD track to pass over.
    std::shared_ptr<TrackWatch> pWatch;
    // Tests only: a CD's monitor reads the track through this instead of the device, and the
    // close waits monitorStopTimeout for it.
    CPositionMonitor::TrackReader readTrack;
    std::chrono::milliseconds monitorStopTimeout = CPositionMonitor::kMonitorStopTimeoutMs;
};

// What Open and Play say when they fail with nothing to tell (the decoder refused the file).
inline constexpr int kNothingToTell = -1;

class IMedium
{
public:
    virtual ~IMedium() = default;

    // Starts or resumes; a non-zero nTrack starts a CD at that track and is the track whose
    // arrival the monitor passes over. 0 when it plays; else the error to show
    // (ShowPlaybackError) or kNothingToTell.
    virtual int Play(int nTrack) = 0;
    // As Play(0) from nMilliseconds of the file (0 up to its length), with nothing before that
    // point heard.
    virtual int PlayFrom(std::int64_t nMilliseconds) = 0;
    // Halts at the current position (a pause for a compressed file).
    virtual void Stop() = 0;
    // Moves to nPercent (0-100, clamped) of the length, of the current track on a CD; a
    // device then stands stopped there, a compressed file keeps its state.
    virtual void SeekPercent(int nPercent) = 0;
    // Moves to nMilliseconds (clamped) from the start, of the current track on a CD, as
    // exactly as the medium allows; states as SeekPercent.
    virtual void SeekMilliseconds(std::int64_t nMilliseconds) = 0;
    // Fills pos, which the caller has zeroed.
    virtual void GetPosition(PlayPosition& pos) = 0;
    // Length in whole seconds: of track nTrack (1-99) on a CD, of the medium otherwise.
    virtual int GetLengthSeconds(int nTrack) = 0;
    // Length in milliseconds, as exactly as the medium tells it (whole seconds for a
    // compressed file); nTrack as GetLengthSeconds.
    virtual std::int64_t GetLengthMilliseconds(int nTrack) = 0;
    // The media mode (MCI_MODE_STOP, MCI_MODE_PLAY, ...); a compressed file reports
    // MCI_MODE_PLAY while playing and MCI_MODE_STOP otherwise.
    virtual int GetMode() = 0;
    // The CD's number of tracks; 0 for any other medium.
    virtual int GetTrackCount() const = 0;
    // A CD: stops it, opens the drive's door and returns true. Otherwise false.
    virtual bool OpenDiscDoor() = 0;
    // True while it plays from a start later than any end it may have reported, so that an
    // end notice coming now is old news. A device aborts its own notices; false for it.
    virtual bool PlaysOn() = 0;
};
