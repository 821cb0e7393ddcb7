#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The timing of a Standard MIDI File (type 0 or 1, ticks per quarter note): its tempo map and
// its length, read from the file's own events. The sequencer takes a medium's length, its
// end and the conversion between milliseconds and ticks from here.
class CMidiFile
{
public:
    enum class Result {
        Ok,
        NotMidi,         // no header, a truncated chunk or event, a malformed event
        UnsupportedType, // type 2, or no tracks
        SmpteTiming,     // time division in SMPTE frames
        TooLong          // longer than 2^31 milliseconds
    };

    // Reads bytes; the object is usable only when the result is Ok. Never reads past bytes.
    Result Parse(std::string_view bytes);

    int Type() const { return m_nType; }
    int TrackCount() const { return m_nTracks; }
    // The tick of the last event of the longest track (its end-of-track event included).
    std::uint64_t EndTick() const { return m_nEndTick; }
    // Milliseconds from the start to EndTick().
    double LengthMs() const { return TickToMs(m_nEndTick); }

    // The time of tick in milliseconds, with every tempo change before it.
    double TickToMs(std::uint64_t tick) const;
    // The last tick that starts at or before ms.
    std::uint64_t MsToTick(double ms) const;

private:
    struct TempoChange
    {
        std::uint64_t tick = 0;
        std::uint32_t usPerQuarter = 500000;
    };
    bool ReadTrack(std::string_view track);

    int m_nType = 0;
    int m_nTracks = 0;
    int m_nDivision = 0;
    std::uint64_t m_nEndTick = 0;
    std::vector<TempoChange> m_tempo; // sorted by tick; begins with the default at tick 0
};
