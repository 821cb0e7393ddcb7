// The MIDI file reader: any bytes as a Standard MIDI File. A file it accepts must give a
// length and time conversions that agree with each other.
#include "fuzz/FuzzSupport.h"
#include "media/MidiFile.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CMidiFile midi;
    if (midi.Parse(AsText(data, size)) != CMidiFile::Result::Ok)
        return 0;
    const double length = midi.LengthMs();
    if (!std::isfinite(length) || length < 0.0 || midi.TrackCount() < 1)
        std::abort();
    const std::uint64_t half = midi.EndTick() / 2;
    const double halfMs = midi.TickToMs(half);
    if (halfMs > length || midi.TickToMs(midi.MsToTick(halfMs)) > halfMs + 1.0)
        std::abort();
    midi.MsToTick(length + 1000.0);
    return 0;
}
