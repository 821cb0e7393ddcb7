#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// CUE sheets of albums kept as one file (or a few): which span of which audio file each track
// is, and its title and performer. A sheet is a .cue file beside the audio, or the CUESHEET
// tag of a FLAC, WavPack or APE file (then it describes that file, whatever its FILE line
// names), or a FLAC file's cue sheet block.
//
// A track of a sheet stands in the play queue as the entry "<sheet>#<N>": the sheet's path
// (the .cue file, or the audio file holding the sheet), '#', and the track's number in
// decimal. It is a plain path-like string: it survives a playlist file's save and load, and
// never begins with the backslash of a CD track marker. Usable from any thread.

// One track: its span of its audio file, in milliseconds from the file's start.
struct CueTrack
{
    std::string strFile; // the audio file, a full path (relative FILE names resolved)
    int nNumber = 0;     // 1 to kMaxCueTrack
    std::int64_t nStartMs = 0;
    std::int64_t nEndMs = -1; // the next track's start in the same file; -1: the file's end
    std::string strTitle;     // UTF-8; empty when the sheet gives none
    std::string strPerformer; // the track's, else the sheet's
    std::string strAlbum;     // the sheet's TITLE
};

// The tracks a sheet names, in the sheet's order.
struct CueSheet
{
    std::vector<CueTrack> tracks;
};

// The sheet in text (bytes in any encoding the legacy-text rule reads; a UTF-8 byte-order
// mark is taken off). Relative FILE names are joined to strDirectory; with strOnlyFile set,
// every FILE line is taken to name that file (a sheet embedded in it). Refused, and so left
// out, are tracks numbered out of order or beyond kMaxCueTrack, tracks without INDEX 01 or
// outside any FILE, and tracks whose start is not after the previous track's in their file.
// Never fails: garbage gives a sheet without tracks.
CueSheet ParseCueSheet(std::string_view text, const std::string& strDirectory,
                       const std::string& strOnlyFile = {});

// The sheet of strPath: the .cue file itself, or the sheet embedded in the audio file.
// nullopt when there is none or it cannot be read (a FIFO or a directory is not read).
std::optional<CueSheet> ReadCueSheet(const std::string& strPath);

// Whether strPath's extension is one whose files may hold a sheet of their own.
bool MayEmbedCueSheet(std::string_view strPath);

// The queue entry of track nNumber of the sheet at strSheet.
std::string CueTrackEntry(const std::string& strSheet, int nNumber);
// The sheet and the track number of a queue entry made by CueTrackEntry; nullopt for any
// other entry.
std::optional<std::pair<std::string, int>> SplitCueTrackEntry(std::string_view entry);
// The track a queue entry names, read from its sheet now; nullopt when the entry names no
// track or the sheet no longer holds it.
std::optional<CueTrack> ReadCueTrackEntry(std::string_view entry);
// The name a track is shown by: its title, else "Track <N>".
std::string CueTrackName(const CueTrack& track);
