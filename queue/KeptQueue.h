#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The queue kept between runs: its entries, its current entry and the place in it, in a
// small text file beside the settings, so that the next start can carry on where this one
// left off. User-interface thread only.
//
// The file: a first line kKeptQueueMagic, then "#CURRENT=n", "#POSITION=ms" and
// "#LENGTH=ms" (any order, any missing), then a line "#ENTRIES", then one entry per line
// exactly as the queue holds it (a line that begins with '#' is an entry there too).
struct KeptQueue
{
    std::vector<std::string> entries;
    int nCurrent = 0;             // the current entry; 0 when none
    std::int64_t nPositionMs = 0; // where in the current entry play stood
    std::int64_t nLengthMs = 0;   // the current entry's length, 0 when unknown
};

inline constexpr const char* kKeptQueueMagic = "#SORVANE-QUEUE 1";
// The kept queue's file, in the folder of the settings file.
inline constexpr const char* kKeptQueueFileName = "SorvixQueue.txt";
// At most this many entries are taken back (the rest of a longer file is left): far beyond a
// real queue, and few enough that filling the queue and its list stays well within a second
// at start (100,000 entries cost about 70 ms).
inline constexpr std::size_t kKeptQueueMaxEntries = 250'000;

// Reads the kept queue at strPath. Whatever cannot be read (no file, another kind of file,
// a damaged header, a read error part way) leaves what was read before it; entries beyond
// kKeptQueueMaxEntries and blank lines are passed over; the current index is clamped into
// the entries (0 when there are none). Silent, never throws.
KeptQueue ReadKeptQueue(const std::string& strPath);
// Writes kept to strPath through a temporary file that replaces the old one only when
// complete. Entries holding a line break cannot be kept and are left out (the current index
// follows its entry). 1 when written; 0, silently, when it could not be.
int WriteKeptQueue(const std::string& strPath, const KeptQueue& kept);
