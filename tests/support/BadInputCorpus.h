#pragma once

#include <string>
#include <vector>

// A corpus of bad input files, each named after its defect: broken or unusual WAV, MIDI,
// MPEG audio, FLAC, Opus and MP4 audio files, CD images, playlists and settings files. The player
// must give every one of them a clear error or play it, and never crash, hang or leak.

enum class BadInputKind {
    Media,    // a WAV, MIDI or compressed audio file for the engine
    CdImage,  // a CUE sheet (with its data file, when it has one) for the CD device
    Playlist, // an M3U playlist for the queue
    Settings, // a settings file
};

// What the player must make of a file.
enum class BadInputOutcome {
    Refused,  // a clear error; a playlist adds nothing, a settings file changes nothing
    Accepted, // usable: it plays (what it holds), a playlist adds entries, settings load
};

struct BadInput
{
    std::string path;
    BadInputKind kind;
    BadInputOutcome outcome;
};

// Writes the corpus into the existing directory dir and lists its files. A few of them are
// FIFOs and directories.
std::vector<BadInput> WriteBadInputCorpus(const std::string& dir);

// The file name of input, for messages.
std::string BadInputName(const BadInput& input);
