#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Test media made from tones: WAV files of any sample format, Standard MIDI Files, and CD
// images (a BIN file of raw audio sectors with its CUE sheet). The bytes are written here by
// hand, independently of the libraries that read them.

// A sine tone as a WAV file.
struct WavTone
{
    int nRate = 44100;
    int nChannels = 1;
    int nBits = 16; // 8 (unsigned), 16, 24, 32 integer; 32 or 64 with bFloat
    bool bFloat = false;
    std::uint32_t nFrames = 44100;
    double frequency = 440.0; // every channel carries the same tone
    double amplitude = 0.5;   // of full scale
    int nOnlyChannel = -1;    // when 0 or more, only that channel carries it, the others are 0
    std::uint32_t nChannelMask = 0; // the speaker positions written (extensible files only)
};

// The bytes of a RIFF WAVE file holding tone; WAVE_FORMAT_EXTENSIBLE for more than two
// channels or more than 16 integer bits, as the format asks.
std::string MakeWav(const WavTone& tone);

// One event of a MIDI track: the absolute tick and the event's bytes (status included).
struct MidiEvent
{
    std::uint32_t tick = 0;
    std::string bytes;
};

struct MidiTrack
{
    std::vector<MidiEvent> events; // in tick order
    std::uint32_t endTick = 0;     // tick of the end-of-track event (at least the last event's)
};

// The bytes of a Standard MIDI File of type 0 or 1 with ticksPerQuarter timing.
std::string MakeMidi(int type, int ticksPerQuarter, const std::vector<MidiTrack>& tracks);

// Events for MakeMidi.
MidiEvent MidiTempo(std::uint32_t tick, std::uint32_t usPerQuarter);
MidiEvent MidiNoteOn(std::uint32_t tick, int channel, int key, int velocity = 100);
MidiEvent MidiNoteOff(std::uint32_t tick, int channel, int key);
MidiEvent MidiProgram(std::uint32_t tick, int channel, int program);

// A track of one CD image: its length in sectors (75 a second) and its tone; a data track is
// written as zero bytes in MODE1/2352 form.
struct CdTrackTone
{
    int nSectors = 75;
    double frequency = 440.0;
    bool bData = false;
};

// Writes <dir>/<name>.bin and <dir>/<name>.cue (one BIN, tracks back to back, 44.1 kHz stereo
// 16-bit little-endian sectors) and returns the path of the .cue file.
std::string WriteCdImage(const std::string& dir, const std::string& name,
                         const std::vector<CdTrackTone>& tracks);

// The frequency of the tone in the first channel of interleaved samples, from its rising zero
// crossings; 0 for silence.
double ToneFrequency(const std::vector<float>& samples, int nChannels, int nRate);

// Root mean square of samples (all channels).
double Rms(const std::vector<float>& samples);

// THD+N in dB of a 1 kHz tone (within 1 Hz) in samples of one channel at rate: the one
// sinusoid (frequency, amplitude, phase and offset) that fits best is the signal; everything
// else counts as distortion and noise.
double ThdPlusNoise(const std::vector<float>& x, int rate);
