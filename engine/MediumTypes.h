#pragma once

#include <cstdint>

// What a medium is, where it comes from and where it stands: the words the engine, its back
// ends and the windows share.

// What a medium is, chosen from its file extension.
enum DeviceKind : std::int32_t {
    DEVICE_NONE = -1,   // not playable
    DEVICE_CDAUDIO = 0, // audio CD
    DEVICE_MIDI = 1,    // MIDI file, sequencer device
    DEVICE_WAVE = 2,    // WAV file, waveform-audio device
    DEVICE_PLUGIN = 3,  // compressed audio, the plug-ins
};

// Where CPlayEngine::OpenMedium takes a medium from.
enum MediumSource : std::int32_t {
    MEDIUM_CD = 0,   // the audio CD; the path is not used
    MEDIUM_FILE = 1, // the file at the path, played as its extension says
};

// A play position. A CD fills track, minutes and seconds within the track and frames within
// the second; MIDI and WAV fill minutes and seconds and, in milliseconds, the whole position
// (not the remainder); a compressed file fills minutes and seconds and the whole position in
// milliseconds, counted from the sound it has played.
struct PlayPosition
{
    std::int32_t nTrack;
    std::int32_t nMinutes;
    std::int32_t nSeconds;
    std::int32_t nMilliseconds;
    std::int32_t nFrames;
};
