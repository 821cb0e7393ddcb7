#pragma once

#include <string>
#include <utility>
#include <vector>

// Test media in the formats of the FFmpeg decoder plug-in: a -6 dBFS 1 kHz tone made here as a
// WAV file, encoded by Debian's ffmpeg program into the container that the target's extension
// names (.flac, .m4a, .ogg, .opus, ...), with tags and an embedded cover when asked.

struct EncodedTone
{
    std::string strCodec = "flac"; // ffmpeg's encoder: flac, alac, aac, libvorbis, libopus, ...
    int nRate = 44100;
    int nChannels = 2;
    int nBits = 16; // of the source: 16 or 24
    double dSeconds = 2.0;
    int nBitrateKbps = 0; // lossy codecs; 0 for the encoder's default
    std::vector<std::pair<std::string, std::string>> tags; // title, artist, album, track
    std::string strCoverPath; // a JPEG embedded as the cover; empty for none
};

// Encodes tone into strPath (created or replaced). Returns false when ffmpeg fails. source,
// when given, receives the tone's samples as floats, interleaved, exactly as the WAV held them.
bool WriteEncodedTone(const std::string& strPath, const EncodedTone& tone,
                      std::vector<float>* source = nullptr);

// A small valid JPEG picture (8 x 8 pixels of one colour), made by ffmpeg; empty on failure.
std::string MakeJpeg(const std::string& strDir);

// Runs the program with the arguments, its output discarded; true when it exits with 0.
bool RunProgram(const std::vector<std::string>& args);
