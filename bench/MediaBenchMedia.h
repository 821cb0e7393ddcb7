#pragma once

#include "tests/support/TestMedia.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

// Long media for the media benchmarks, written in blocks so that making them needs little
// memory: a 44.1 kHz stereo 16-bit WAV file, a CD image of several tracks, and a MIDI file of
// a minute of chords on four channels.

inline void WriteLe(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Writes seconds of stereo tone as 44.1 kHz 16-bit frames (the form of both a WAV file's data
// and a CD image's sectors).
inline void WriteToneFrames(std::ofstream& out, unsigned seconds, double frequency)
{
    std::vector<char> block(44100 * 4);
    for (unsigned s = 0; s < seconds; ++s) {
        for (std::size_t f = 0; f < 44100; ++f) {
            const auto v = static_cast<std::int16_t>(
                8000 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(f) / 44100));
            const auto u = static_cast<std::uint16_t>(v);
            block[4 * f] = block[4 * f + 2] = static_cast<char>(u & 0xFF);
            block[4 * f + 1] = block[4 * f + 3] = static_cast<char>(u >> 8);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

inline std::string WriteLongWav(const std::string& dir, unsigned seconds)
{
    const std::string path = dir + "/long.wav";
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t data = seconds * 44100u * 4u;
    out.write("RIFF", 4);
    WriteLe(out, 36 + data, 4);
    out.write("WAVEfmt ", 8);
    WriteLe(out, 16, 4);
    WriteLe(out, 1, 2);
    WriteLe(out, 2, 2);
    WriteLe(out, 44100, 4);
    WriteLe(out, 44100 * 4, 4);
    WriteLe(out, 4, 2);
    WriteLe(out, 16, 2);
    out.write("data", 4);
    WriteLe(out, data, 4);
    WriteToneFrames(out, seconds, 440.0);
    return path;
}

// tracks tracks of trackSeconds each, in one BIN.
inline std::string WriteLongCdImage(const std::string& dir, unsigned tracks, unsigned trackSeconds)
{
    std::ofstream bin(dir + "/long.bin", std::ios::binary);
    std::ofstream cue(dir + "/long.cue", std::ios::binary);
    cue << "FILE \"long.bin\" BINARY\r\n";
    for (unsigned t = 0; t < tracks; ++t) {
        const unsigned start = t * trackSeconds;
        char line[80];
        std::snprintf(line, sizeof line, "  TRACK %02u AUDIO\r\n    INDEX 01 %02u:%02u:00\r\n",
                      t + 1, start / 60, start % 60);
        cue << line;
        WriteToneFrames(bin, trackSeconds, 300.0 + 100.0 * t);
    }
    return dir + "/long.cue";
}

// A minute of four-note chords, one each half second, on four channels (type 1).
inline std::string WriteMinuteOfMidi(const std::string& dir)
{
    std::vector<MidiTrack> tracks(1);
    tracks[0].events.push_back(MidiTempo(0, 500000));
    tracks[0].endTick = 480 * 120;
    for (int c = 0; c < 4; ++c) {
        MidiTrack track;
        track.events.push_back(MidiProgram(0, c, c * 8));
        for (std::uint32_t beat = 0; beat < 120; ++beat) {
            const int key = 48 + c * 7 + static_cast<int>(beat % 12);
            track.events.push_back(MidiNoteOn(beat * 480, c, key, 90));
            track.events.push_back(MidiNoteOff(beat * 480 + 400, c, key));
        }
        track.endTick = 480 * 120;
        tracks.push_back(track);
    }
    const std::string path = dir + "/minute.mid";
    std::ofstream(path, std::ios::binary) << MakeMidi(1, 480, tracks);
    return path;
}
