#pragma once

#include "engine/MediumTypes.h"

#include <cstdint>

// Whether the open medium plays, halts where the pause button left it, or stands stopped
// (never started, stopped, played to its end, or nothing open).
enum class PlaybackState : std::int32_t {
    Stopped = 0,
    Paused = 1,
    Playing = 2,
};

// What plays and what may be done with it, read once from the document so that the window,
// the display panel and the bus service agree. Positions are of the current track on a CD.
struct PlaybackSnapshot
{
    bool bOpen = false; // a medium is open
    PlaybackState nState = PlaybackState::Stopped;
    bool bHeldBySystem = false;     // Paused because no sound device plays (it went away)
    bool bStandsStill = true;       // the medium reports the stop mode
    DeviceKind nKind = DEVICE_MIDI; // of the medium last opened
    int nTrack = 0;                 // the CD's current track; 0 for a file
    int nQueueIndex = -1;           // the queue's current entry
    std::int64_t nPositionMs = 0;   // from the start (of the track)
    std::int64_t nLengthMs = 0;     // 0 when unknown or nothing open
    int nMinutes = 0;               // the position as the medium reports it,
    int nSeconds = 0;               // in whole minutes and seconds
    int nLengthSeconds = 0;         // the length in whole seconds
    bool bCanPlay = false;          // Play is offered: the medium stands still
    bool bCanPause = false;         // Pause would halt sound
    bool bCanGoNext = false;        // Next and Previous would play an entry
    bool bCanGoPrevious = false;
    bool bCanSeek = false; // a seek has a length to move within
};
