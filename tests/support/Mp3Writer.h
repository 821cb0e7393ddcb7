#pragma once

#include <string>

// Generated MPEG audio test media. Layer 3 is encoded from a tone with the LAME encoder;
// layers 1 and 2 are built frame by frame as valid silent frames (no subband carries any
// sample), which is enough for a decoder to find, time and play them.

enum class Mp3Bitrate {
    Constant,   // every frame at nBitrateKbps
    Variable,   // frames of varying size (the tone alternates with silence and noise)
    FreeFormat, // a constant rate outside the standard table, signalled by bitrate index 0
};

struct Mp3Tone
{
    double dSeconds = 2.0;
    int nSampleRate = 44100;
    int nChannels = 2;
    int nBitrateKbps = 128; // constant and free-format rates
    Mp3Bitrate bitrate = Mp3Bitrate::Constant;
    bool bInfoTag = true; // a leading Info/Xing frame that states the exact length
};

// Encodes tone as MPEG-1 layer 3 and writes it to path (created or replaced). Returns false
// when the encoder refuses the settings or the file cannot be written.
bool WriteMp3(const std::string& path, const Mp3Tone& tone);

// The encoded bytes of tone, as WriteMp3 would write them; empty on failure.
std::string EncodeMp3(const Mp3Tone& tone);

// dSeconds of silent MPEG-1 layer 1 or 2 frames at 44100 Hz stereo and the given standard
// bitrate, without padding. Returns false for another layer or when the file cannot be
// written.
bool WriteSilentMpeg(const std::string& path, int layer, double dSeconds, int nBitrateKbps);
