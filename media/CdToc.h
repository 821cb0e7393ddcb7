#pragma once

#include <vector>

// A disc's table of contents as the CD device plays it: where each track starts and ends, in
// logical sectors (75 a second), and whether it holds audio.
struct CdTocTrack
{
    int lsnStart = 0;
    int lsnEnd = 0; // first sector after the track
    bool bAudio = true;
};

// An enhanced CD (audio, then a data track in a later session): the gap from the end of the
// audio session to the data track's start (lead-out 90 s, lead-in 60 s, pregap 2 s).
constexpr int kCdExtraGapSectors = 11400;

// Sets each track's end from the next track's start and, for the last, leadOut. An audio
// track followed by a data track that starts a later session (lastSessionLsn, the first
// sector of the disc's last session; 0 for a disc of one session or when unknown) ends
// kCdExtraGapSectors before that data track: the sectors between cannot be read. False when
// the starts are not in order or a track would be empty.
bool SetCdTrackEnds(std::vector<CdTocTrack>& tracks, int leadOut, int lastSessionLsn);
