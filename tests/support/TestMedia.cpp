#include "tests/support/TestMedia.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numbers>

namespace {

void PutLe(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutBe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutVarLen(std::string& out, std::uint32_t value)
{
    std::string bytes(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0)
        bytes.insert(bytes.begin(), static_cast<char>((value & 0x7F) | 0x80));
    out += bytes;
}

double Sample(double frequency, double amplitude, int rate, std::uint64_t frame)
{
    return amplitude *
           std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(frame) / rate);
}

std::string MsfText(int sectors)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", sectors / 4500, (sectors / 75) % 60,
                  sectors % 75);
    return text;
}

} // namespace

std::string MakeWav(const WavTone& tone)
{
    const int bytesPerSample = tone.nBits / 8;
    const bool bExtensible = tone.nChannels > 2 || (!tone.bFloat && tone.nBits > 16);
    std::string data;
    data.reserve(static_cast<std::size_t>(tone.nFrames) *
                 static_cast<std::size_t>(tone.nChannels * bytesPerSample));
    for (std::uint32_t f = 0; f < tone.nFrames; ++f) {
        const double tv = Sample(tone.frequency, tone.amplitude, tone.nRate, f);
        for (int c = 0; c < tone.nChannels; ++c) {
            const double v = tone.nOnlyChannel < 0 || tone.nOnlyChannel == c ? tv : 0.0;
            if (tone.bFloat && tone.nBits == 32) {
                const float x = static_cast<float>(v);
                std::uint32_t bits = 0;
                std::memcpy(&bits, &x, 4);
                PutLe(data, bits, 4);
            } else if (tone.bFloat) {
                std::uint64_t bits = 0;
                std::memcpy(&bits, &v, 8);
                PutLe(data, bits, 8);
            } else if (tone.nBits == 8) {
                PutLe(data, static_cast<std::uint64_t>(std::lround(128 + v * 127)), 1);
            } else {
                const double full = std::ldexp(1.0, tone.nBits - 1) - 1;
                const auto s = static_cast<std::int64_t>(std::llround(v * full));
                PutLe(data, static_cast<std::uint64_t>(s), bytesPerSample);
            }
        }
    }
    std::string fmt;
    PutLe(fmt, bExtensible ? 0xFFFE : (tone.bFloat ? 3 : 1), 2);
    PutLe(fmt, static_cast<std::uint64_t>(tone.nChannels), 2);
    PutLe(fmt, static_cast<std::uint64_t>(tone.nRate), 4);
    PutLe(fmt, static_cast<std::uint64_t>(tone.nRate * tone.nChannels * bytesPerSample), 4);
    PutLe(fmt, static_cast<std::uint64_t>(tone.nChannels * bytesPerSample), 2);
    PutLe(fmt, static_cast<std::uint64_t>(tone.nBits), 2);
    if (bExtensible) {
        PutLe(fmt, 22, 2);
        PutLe(fmt, static_cast<std::uint64_t>(tone.nBits), 2);
        PutLe(fmt, tone.nChannelMask, 4); // 0: no speaker positions named
        PutLe(fmt, tone.bFloat ? 3 : 1, 2);
        fmt += std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    std::string out = "RIFF";
    PutLe(out, 4 + 8 + fmt.size() + 8 + data.size() + (data.size() & 1), 4);
    out += "WAVEfmt ";
    PutLe(out, fmt.size(), 4);
    out += fmt;
    out += "data";
    PutLe(out, data.size(), 4);
    out += data;
    if ((data.size() & 1) != 0)
        out.push_back('\0');
    return out;
}

std::string MakeMidi(int type, int ticksPerQuarter, const std::vector<MidiTrack>& tracks)
{
    std::string out = "MThd";
    PutBe(out, 6, 4);
    PutBe(out, static_cast<std::uint32_t>(type), 2);
    PutBe(out, static_cast<std::uint32_t>(tracks.size()), 2);
    PutBe(out, static_cast<std::uint32_t>(ticksPerQuarter), 2);
    for (const MidiTrack& track : tracks) {
        std::string body;
        std::uint32_t last = 0;
        for (const MidiEvent& e : track.events) {
            PutVarLen(body, e.tick - last);
            body += e.bytes;
            last = e.tick;
        }
        PutVarLen(body, track.endTick > last ? track.endTick - last : 0);
        body += std::string("\xFF\x2F\x00", 3);
        out += "MTrk";
        PutBe(out, static_cast<std::uint32_t>(body.size()), 4);
        out += body;
    }
    return out;
}

MidiEvent MidiTempo(std::uint32_t tick, std::uint32_t usPerQuarter)
{
    std::string bytes("\xFF\x51\x03", 3);
    PutBe(bytes, usPerQuarter, 3);
    return {tick, bytes};
}

MidiEvent MidiNoteOn(std::uint32_t tick, int channel, int key, int velocity)
{
    return {
        tick,
        {static_cast<char>(0x90 | channel), static_cast<char>(key), static_cast<char>(velocity)}};
}

MidiEvent MidiNoteOff(std::uint32_t tick, int channel, int key)
{
    return {tick, {static_cast<char>(0x80 | channel), static_cast<char>(key), 0}};
}

MidiEvent MidiProgram(std::uint32_t tick, int channel, int program)
{
    return {tick, {static_cast<char>(0xC0 | channel), static_cast<char>(program)}};
}

std::string WriteCdImage(const std::string& dir, const std::string& name,
                         const std::vector<CdTrackTone>& tracks)
{
    constexpr int kFramesPerSector = 588;
    std::string bin;
    std::string cue = "FILE \"" + name + ".bin\" BINARY\r\n";
    int sector = 0;
    int number = 1;
    for (const CdTrackTone& t : tracks) {
        char header[64];
        std::snprintf(header, sizeof header, "  TRACK %02d %s\r\n    INDEX 01 ", number++,
                      t.bData ? "MODE1/2352" : "AUDIO");
        cue += header + MsfText(sector) + "\r\n";
        const auto frames = static_cast<std::uint64_t>(t.nSectors) * kFramesPerSector;
        for (std::uint64_t f = 0; f < frames; ++f) {
            const auto s = t.bData ? 0 : std::lround(Sample(t.frequency, 0.5, 44100, f) * 32767);
            PutLe(bin, static_cast<std::uint64_t>(s), 2);
            PutLe(bin, static_cast<std::uint64_t>(s), 2);
        }
        sector += t.nSectors;
    }
    std::ofstream(dir + "/" + name + ".bin", std::ios::binary) << bin;
    const std::string cuePath = dir + "/" + name + ".cue";
    std::ofstream(cuePath, std::ios::binary) << cue;
    return cuePath;
}

double ToneFrequency(const std::vector<float>& samples, int nChannels, int nRate)
{
    const std::size_t frames = samples.size() / static_cast<std::size_t>(nChannels);
    if (frames < 2 || Rms(samples) < 1e-3)
        return 0.0;
    std::size_t first = 0;
    std::size_t last = 0;
    int crossings = 0;
    for (std::size_t f = 1; f < frames; ++f) {
        const float a = samples[(f - 1) * static_cast<std::size_t>(nChannels)];
        const float b = samples[f * static_cast<std::size_t>(nChannels)];
        if (a < 0.0f && b >= 0.0f) {
            if (crossings == 0)
                first = f;
            last = f;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * static_cast<double>(nRate) / static_cast<double>(last - first);
}

double Rms(const std::vector<float>& samples)
{
    if (samples.empty())
        return 0.0;
    double sum = 0.0;
    for (float s : samples)
        sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double ThdPlusNoise(const std::vector<float>& x, int rate)
{
    auto residual = [&](double w, double* signal) {
        double s[3][3] = {};
        double r[3] = {};
        for (std::size_t n = 0; n < x.size(); ++n) {
            const double b[3] = {std::cos(w * static_cast<double>(n)),
                                 std::sin(w * static_cast<double>(n)), 1.0};
            for (int i = 0; i < 3; ++i) {
                r[i] += b[i] * x[n];
                for (int j = 0; j < 3; ++j)
                    s[i][j] += b[i] * b[j];
            }
        }
        // Solve the 3x3 normal equations by Cramer's rule.
        auto det = [](double m[3][3]) {
            return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                   m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                   m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        };
        const double d = det(s);
        double c[3];
        for (int k = 0; k < 3; ++k) {
            double m[3][3];
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    m[i][j] = j == k ? r[i] : s[i][j];
            c[k] = det(m) / d;
        }
        double err = 0.0;
        double sig = 0.0;
        for (std::size_t n = 0; n < x.size(); ++n) {
            const double fit = c[0] * std::cos(w * static_cast<double>(n)) +
                               c[1] * std::sin(w * static_cast<double>(n));
            const double e = x[n] - fit - c[2];
            err += e * e;
            sig += fit * fit;
        }
        if (signal != nullptr)
            *signal = sig;
        return err;
    };
    // Golden-section search for the frequency within 1 Hz of 1 kHz.
    const double toW = 2.0 * std::numbers::pi / rate;
    double lo = 999.0 * toW;
    double hi = 1001.0 * toW;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 40; ++i) {
        const double a = hi - g * (hi - lo);
        const double b = lo + g * (hi - lo);
        if (residual(a, nullptr) < residual(b, nullptr))
            hi = b;
        else
            lo = a;
    }
    double signal = 0.0;
    const double err = residual((lo + hi) / 2.0, &signal);
    return 10.0 * std::log10(err / signal);
}
