#pragma once

#include <optional>
#include <string>

// Loudness normalisation by the gain a file's tags store: the track gain and peak and the
// album gain and peak of the ReplayGain convention (REPLAYGAIN_TRACK_GAIN "-6.00 dB", ...,
// relative to a reference of 89 dB SPL, about -18 LUFS), read from every tag kind TagLib
// reads, and Opus's R128_TRACK_GAIN / R128_ALBUM_GAIN (Q7.8 fixed point dB relative to
// -23 LUFS, so 5 dB are added to reach the same reference). Pure functions; any thread.

// What a file's tags say of its loudness; a value left empty was absent or unreadable.
struct ReplayGainTags
{
    std::optional<double> trackGainDb;
    std::optional<double> trackPeak; // linear, 1 is full scale
    std::optional<double> albumGainDb;
    std::optional<double> albumPeak;
    std::string strAlbum; // the album's name (UTF-8), to tell neighbouring entries' albums
    // Whether a gain of either kind was found.
    bool HasGain() const { return trackGainDb.has_value() || albumGainDb.has_value(); }
};

// The user's choice of gain. Stored in the settings file as whole numbers (the mode's number,
// the two gains in tenths of a dB).
enum class ReplayGainMode {
    Off = 0,   // every file as it is
    Track = 1, // each file's own track gain
    Album = 2, // the album gain (the track gain when a file has none)
    Auto = 3,  // album gain while neighbouring queue entries are of one album, else track gain
};

struct ReplayGainSettings
{
    ReplayGainMode mode = ReplayGainMode::Auto;
    double dPreampDb = 0.0;   // added to a tagged file's gain
    double dUntaggedDb = 0.0; // the gain of a medium without gain tags (MIDI, CD, untagged files)
};

// The tags of the plain file at strPath; all empty for a file that is missing, special,
// unreadable or without gain tags. Garbage values (no number, out of range, not finite) are
// left out as if absent. Reads the file's header only.
ReplayGainTags ReadReplayGainTags(const std::string& strPath);

// A gain tag's text as dB: "-6.00 dB", "+12 dB", "3.5" (a decimal comma is taken too);
// empty for anything else or a value beyond +-64 dB.
std::optional<double> ParseGainDb(const std::string& strText);
// A peak tag's text as a linear value ("0.988831"); empty for anything else, 0 or below, or
// above 64.
std::optional<double> ParsePeak(const std::string& strText);
// An Opus R128 gain ("-1536": Q7.8 dB relative to -23 LUFS) as dB relative to the ReplayGain
// reference (+5 dB); empty for anything but a whole number from -32768 to 32767.
std::optional<double> ParseR128GainDb(const std::string& strText);

// The linear factor that a medium with tags plays at under settings: Off gives 1; otherwise
// the album gain when bAlbum and the file has one, else the track gain, else the album gain,
// plus the preamp; without any gain tag the untagged gain. The factor is lowered so that the
// matching stored peak times the factor stays at or under 1 (a factor already under
// 1/peak stays); without a peak it is not lowered. Exactly 1 for 0 dB.
double ReplayGainFactor(const ReplayGainTags& tags, bool bAlbum,
                        const ReplayGainSettings& settings);
