#include "tests/support/BadInputCorpus.h"

#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/stat.h>

namespace {

using enum BadInputKind;
using enum BadInputOutcome;

// Offsets in the header MakeWav writes for at most two channels of 8 or 16 bits.
constexpr std::size_t kWavFmtSize = 16;
constexpr std::size_t kWavChannels = 22;
constexpr std::size_t kWavRate = 24;
constexpr std::size_t kWavDataSize = 40;
constexpr std::size_t kWavHeader = 44;
// Offsets in the file MakeMidi writes.
constexpr std::size_t kMidiHeaderSize = 4;
constexpr std::size_t kMidiType = 8;
constexpr std::size_t kMidiTracks = 10;
constexpr std::size_t kMidiDivision = 12;
constexpr std::size_t kMidiTrackSize = 18;
constexpr std::size_t kMidiEvents = 22;

void PatchLe(std::string& bytes, std::size_t at, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PatchBe(std::string& bytes, std::size_t at, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes[at + static_cast<std::size_t>(size - 1 - i)] =
            static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A copy of bytes with a field patched.
std::string WithLe(std::string bytes, std::size_t at, std::uint32_t value, int size)
{
    PatchLe(bytes, at, value, size);
    return bytes;
}

std::string WithBe(std::string bytes, std::size_t at, std::uint32_t value, int size)
{
    PatchBe(bytes, at, value, size);
    return bytes;
}

std::string Garbage(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

class CCorpus
{
public:
    explicit CCorpus(std::string dir)
        : m_strDir(std::move(dir))
    {}

    void Add(const std::string& name, const std::string& bytes, BadInputKind kind,
             BadInputOutcome outcome)
    {
        m_inputs.push_back({Write(name, bytes), kind, outcome});
    }
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = m_strDir + "/" + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    void AddFifo(const std::string& name, BadInputKind kind)
    {
        const std::string path = m_strDir + "/" + name;
        ::mkfifo(path.c_str(), 0600);
        m_inputs.push_back({path, kind, Refused});
    }
    void AddDirectory(const std::string& name, BadInputKind kind)
    {
        const std::string path = m_strDir + "/" + name;
        std::filesystem::create_directory(path);
        m_inputs.push_back({path, kind, Refused});
    }

    std::vector<BadInput> m_inputs;
    std::string m_strDir;
};

std::string Wav(int bits, int channels, bool bFloat = false)
{
    WavTone tone;
    tone.nRate = 8000;
    tone.nBits = bits;
    tone.nChannels = channels;
    tone.bFloat = bFloat;
    tone.nFrames = 4000;
    return MakeWav(tone);
}

// An IMA ADPCM file of silent blocks: 256-byte mono blocks of 505 samples each.
std::string AdpcmWav()
{
    constexpr std::uint32_t kBlocks = 16;
    std::string fmt(20, '\0');
    PatchLe(fmt, 0, 0x11, 2);
    PatchLe(fmt, 2, 1, 2);
    PatchLe(fmt, 4, 8000, 4);
    PatchLe(fmt, 8, 8000 * 256 / 505, 4);
    PatchLe(fmt, 12, 256, 2);
    PatchLe(fmt, 14, 4, 2);
    PatchLe(fmt, 16, 2, 2);
    PatchLe(fmt, 18, 505, 2);
    const std::string data(256 * kBlocks, '\0');
    std::string out = "RIFF    WAVEfmt     " + fmt + "data    " + data;
    PatchLe(out, 4, static_cast<std::uint32_t>(out.size() - 8), 4);
    PatchLe(out, 16, static_cast<std::uint32_t>(fmt.size()), 4);
    PatchLe(out, 24 + fmt.size(), static_cast<std::uint32_t>(data.size()), 4);
    return out;
}

void AddWaves(CCorpus& c)
{
    const std::string good = Wav(16, 1);
    c.Add("wav-zero-length.wav", {}, Media, Refused);
    c.Add("wav-truncated-header.wav", good.substr(0, 30), Media, Refused);
    c.Add("wav-truncated-data.wav", good.substr(0, good.size() / 2), Media, Accepted);
    c.Add("wav-huge-data-size.wav", WithLe(good, kWavDataSize, 0xFFFFFFF0u, 4), Media, Accepted);
    c.Add("wav-huge-fmt-size.wav", WithLe(good, kWavFmtSize, 0xFFFFFFF0u, 4), Media, Refused);
    c.Add("wav-zero-channels.wav", WithLe(good, kWavChannels, 0, 2), Media, Refused);
    c.Add("wav-huge-channel-count.wav", WithLe(good, kWavChannels, 0xFFFF, 2), Media, Refused);
    c.Add("wav-zero-rate.wav", WithLe(good, kWavRate, 0, 4), Media, Refused);
    c.Add("wav-huge-rate.wav", WithLe(good, kWavRate, 0xFFFFFFFFu, 4), Media, Refused);
    c.Add("wav-riff-garbage.wav", "RIFF" + Garbage(4000, 1), Media, Refused);
    c.Add("wav-24-bit.wav", Wav(24, 2), Media, Accepted);
    c.Add("wav-float.wav", Wav(32, 2, true), Media, Accepted);
    c.Add("wav-8-channels.wav", Wav(16, 8), Media, Accepted);
    c.Add("wav-adpcm.wav", AdpcmWav(), Media, Accepted);
    c.AddFifo("wav-fifo.wav", Media);
    c.AddDirectory("wav-directory.wav", Media);
}

std::string Midi(std::uint32_t tempo = 500000)
{
    MidiTrack track;
    track.events = {MidiTempo(0, tempo), MidiNoteOn(0, 0, 60), MidiNoteOff(96, 0, 60)};
    track.endTick = 192;
    return MakeMidi(0, 96, {track});
}

void AddMidis(CCorpus& c)
{
    const std::string good = Midi();
    c.Add("mid-zero-length.mid", {}, Media, Refused);
    c.Add("mid-truncated.mid", good.substr(0, good.size() - 5), Media, Refused);
    c.Add("mid-track-past-its-end.mid", WithBe(good, kMidiTrackSize, 0x7FFFFFF0u, 4), Media,
          Refused);
    c.Add("mid-huge-header-size.mid", WithBe(good, kMidiHeaderSize, 0xFFFFFFF0u, 4), Media,
          Refused);
    // The first event's status byte dropped: running status with nothing to run on.
    std::string bytes = good;
    const std::size_t firstStatus = kMidiEvents + 1;
    bytes.erase(firstStatus, 1);
    PatchBe(bytes, kMidiTrackSize, static_cast<std::uint32_t>(bytes.size() - kMidiEvents), 4);
    c.Add("mid-running-status-at-start.mid", bytes, Media, Refused);
    MidiTrack huge;
    for (std::uint32_t i = 1; i <= 8; ++i)
        huge.events.push_back(MidiNoteOn(i * 0x01FFFFFFu, 0, 60));
    huge.endTick = 0x0FFFFFFF;
    c.Add("mid-huge-delta-times.mid", MakeMidi(1, 1, {huge, huge}), Media, Refused);
    // Read as the shortest tempo: the file plays and ends at once.
    c.Add("mid-tempo-zero.mid", Midi(0), Media, Accepted);
    c.Add("mid-type-2.mid", WithBe(good, kMidiType, 2, 2), Media, Refused);
    c.Add("mid-no-tracks.mid", MakeMidi(1, 96, {}), Media, Refused);
    c.Add("mid-more-tracks-than-the-file-holds.mid", WithBe(good, kMidiTracks, 0xFFFF, 2), Media,
          Refused);
    c.Add("mid-zero-ticks-per-quarter.mid", WithBe(good, kMidiDivision, 0, 2), Media, Refused);
    c.Add("mid-smpte-timing.mid", WithBe(good, kMidiDivision, 0xE728, 2), Media, Refused);
    c.Add("mid-garbage.mid", "MThd" + Garbage(2000, 2), Media, Refused);
}

std::string Mp3(int rate, int channels, bool bInfoTag = true)
{
    Mp3Tone tone;
    tone.dSeconds = 1.0;
    tone.nSampleRate = rate;
    tone.nChannels = channels;
    tone.nBitrateKbps = rate < 32000 ? 32 : 128;
    tone.bInfoTag = bInfoTag;
    return EncodeMp3(tone);
}

// An ID3v2 tag of the stated body size (syncsafe, at most 2^28 - 1) and the given body.
std::string Id3(std::uint32_t statedSize, std::size_t bodySize)
{
    std::string tag = "ID3\x03\x00\x00";
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(static_cast<char>((statedSize >> shift) & 0x7F));
    return tag + std::string(bodySize, '\0');
}

void AddMp3s(CCorpus& c)
{
    const std::string good = Mp3(44100, 2, false);
    c.Add("mp3-zero-length.mp3", {}, Media, Refused);
    c.Add("mp3-garbage.mp3", Garbage(20000, 3), Media, Refused);
    c.Add("mp3-id3-only.mp3", Id3(1000, 1000), Media, Refused);
    c.Add("mp3-huge-id3-size.mp3", Id3(0x0FFFFFFF, 100) + good, Media, Refused);
    c.Add("mp3-mid-stream-garbage.mp3",
          good.substr(0, good.size() / 2) + Garbage(4096, 4) + good.substr(good.size() / 2), Media,
          Accepted);
    c.Add("mp3-truncated.mp3", good.substr(0, good.size() / 3 + 77), Media, Accepted);
    c.Add("mp3-mono.mp3", Mp3(44100, 1), Media, Accepted);
    c.Add("mp3-8-khz.mp3", Mp3(8000, 1), Media, Accepted);
    c.Add("mp3-a-wav-named-mp3.mp3", Wav(16, 2), Media, Refused);
    // An Info frame that states far more frames than the file holds.
    std::string bytes = Mp3(44100, 2);
    if (const std::size_t info = bytes.find("Info"); info != std::string::npos)
        PatchBe(bytes, info + 8, 0x7FFFFFFF, 4);
    c.Add("mp3-huge-info-frame-count.mp3", bytes, Media, Accepted);
    c.AddFifo("mp3-fifo.mp3", Media);
}

// The bytes of a tone of seconds encoded with codec into a file of the given extension.
std::string Encoded(const CCorpus& c, const std::string& codec, const std::string& ext,
                    double seconds = 1.0)
{
    EncodedTone tone;
    tone.strCodec = codec;
    tone.nRate = 48000;
    tone.dSeconds = seconds;
    const std::string path = c.m_strDir + "/encoded." + ext;
    if (!WriteEncodedTone(path, tone))
        return {};
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(path.c_str());
    return bytes;
}

// The formats of the FFmpeg decoder: damaged, cut and misnamed files.
void AddCompressed(CCorpus& c)
{
    const std::string flac = Encoded(c, "flac", "flac");
    // An Ogg page holds up to a second: three seconds make pages enough for a cut to keep some.
    const std::string opus = Encoded(c, "libopus", "opus", 3.0);
    const std::string m4a = Encoded(c, "aac", "m4a");
    c.Add("flac-zero-length.flac", {}, Media, Refused);
    c.Add("flac-garbage.flac", Garbage(20000, 5), Media, Refused);
    c.Add("flac-header-only.flac", flac.substr(0, 42), Media, Refused);
    // The muxer leaves room for tags in front, so a cut keeps three quarters to keep sound.
    c.Add("flac-truncated.flac", flac.substr(0, flac.size() * 3 / 4), Media, Accepted);
    c.Add("flac-mid-stream-garbage.flac",
          flac.substr(0, flac.size() / 2) + Garbage(4096, 6) + flac.substr(flac.size() / 2), Media,
          Accepted);
    c.Add("opus-zero-length.opus", {}, Media, Refused);
    c.Add("opus-truncated.opus", opus.substr(0, opus.size() * 3 / 4), Media, Accepted);
    c.Add("opus-header-pages-only.opus", opus.substr(0, 200), Media, Refused);
    // The muxer writes the index after the sound, so half a file has none.
    c.Add("m4a-truncated-no-index.m4a", m4a.substr(0, m4a.size() / 2), Media, Refused);
    c.Add("m4a-garbage.m4a", Garbage(20000, 7), Media, Refused);
    c.Add("m4a-text-named-m4a.m4a", std::string(3000, 'x'), Media, Refused);
    c.Add("ogg-a-flac-named-ogg.ogg", flac, Media, Accepted);
    c.Add("aac-a-playlist-named-aac.aac", "#EXTM3U\n/etc/passwd\n", Media, Refused);
    c.AddFifo("flac-fifo.flac", Media);
    c.AddDirectory("flac-directory.flac", Media);
}

// A CUE sheet of the given text with a data file of its own name holding dataBytes bytes
// of quiet audio, or no data file when dataBytes is negative.
void AddCue(CCorpus& c, const std::string& stem, const std::string& sheet, long dataBytes,
            BadInputOutcome outcome = Refused)
{
    if (dataBytes >= 0)
        c.Write(stem + ".bin", std::string(static_cast<std::size_t>(dataBytes), '\x01'));
    c.Add(stem + ".cue", sheet, CdImage, outcome);
}

std::string CueSheet(const std::string& stem, const std::string& tracks)
{
    return "FILE \"" + stem + ".bin\" BINARY\n" + tracks;
}

// CUE sheets; the FIFOs stand as the sheet and as the data file a sheet names.
void AddCdImages(CCorpus& c)
{
    constexpr long kSecond = 75 * 2352;
    const std::string oneTrack = "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    AddCue(c, "cue-missing-data-file", CueSheet("cue-missing-data-file", oneTrack), -1);
    AddCue(c, "cue-empty-data-file", CueSheet("cue-empty-data-file", oneTrack), 0);
    AddCue(c, "cue-no-tracks", CueSheet("cue-no-tracks", ""), kSecond);
    AddCue(
        c, "cue-track-past-the-end",
        CueSheet("cue-track-past-the-end", oneTrack + "  TRACK 02 AUDIO\n    INDEX 01 10:00:00\n"),
        kSecond);
    // libcdio reads outside its track table when the first track has a high number.
    AddCue(c, "cue-first-track-70",
           CueSheet("cue-first-track-70", "  TRACK 70 AUDIO\n    INDEX 01 00:00:00\n"), kSecond);
    AddCue(c, "cue-data-track-only",
           CueSheet("cue-data-track-only", "  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"),
           kSecond);
    AddCue(c, "cue-garbage", Garbage(3000, 5), kSecond);
    AddCue(c, "cue-zero-length", {}, kSecond);
    AddCue(c, "cue-odd-data-size", CueSheet("cue-odd-data-size", oneTrack), kSecond + 1001,
           Accepted);
    AddCue(c, "cue-naming-another-data-file", CueSheet("cue-odd-data-size", oneTrack), -1,
           Accepted);
    c.AddFifo("cue-fifo.cue", CdImage);
    c.AddFifo("cue-data-fifo.bin", CdImage);
    AddCue(c, "cue-data-file-a-fifo", CueSheet("cue-data-fifo", oneTrack), -1);
}

void AddPlaylists(CCorpus& c)
{
    c.Add("m3u-zero-length.m3u", {}, Playlist, Refused);
    c.Add("m3u-self-loop.m3u", "a.wav\nm3u-self-loop.m3u\nb.wav\n", Playlist, Accepted);
    c.Write("m3u-loop-b.m3u", "b.wav\nm3u-loop-a.m3u\n");
    c.Add("m3u-loop-a.m3u", "a.wav\nm3u-loop-b.m3u\n", Playlist, Accepted);
    for (int i = 0; i < 20; ++i) {
        c.Write("m3u-nesting-" + std::to_string(i + 1) + ".m3u",
                "level" + std::to_string(i + 1) + ".wav\nm3u-nesting-" + std::to_string(i + 2) +
                    ".m3u\n");
    }
    c.Add("m3u-nesting-20-deep.m3u", "level0.wav\nm3u-nesting-1.m3u\n", Playlist, Accepted);
    c.AddFifo("m3u-fifo.m3u", Playlist);
    c.AddDirectory("m3u-directory.m3u", Playlist);
    c.Add("m3u-naming-a-fifo-and-a-directory.m3u", "m3u-fifo.m3u\nm3u-directory.m3u\nc.wav\n",
          Playlist, Accepted);
    c.Add("m3u-nul-bytes.m3u", std::string("a\0b.wav\n\0\0\n", 11), Playlist, Accepted);
    c.Add("m3u-1-mb-line.m3u", std::string(1 << 20, 'x') + ".wav\nshort.wav\n", Playlist, Accepted);
    c.Add("m3u-garbage.m3u", Garbage(5000, 6), Playlist, Accepted);
}

void AddSettings(CCorpus& c)
{
    c.Add("ini-zero-length.ini", {}, Settings, Accepted);
    c.Add("ini-garbage.ini", Garbage(5000, 7), Settings, Accepted);
    c.Add("ini-huge-numbers.ini",
          "[TOPMOST]=99999999999999999999\n[LAYOUT]=-99999999999999999999\n"
          "[LAUNCHPOS]=4294967296 -4294967297\n[TEXT_COLOR]=18446744073709551616\n",
          Settings, Accepted);
    c.Add("ini-nul-bytes.ini", std::string("[LAYOUT]=\0\n[REPEAT]=0\0\n", 23), Settings, Accepted);
    std::string big;
    while (big.size() < 10u << 20)
        big += "[LED_COLOR]=123456 and some words that are not a setting at all\n";
    c.Add("ini-10-mb.ini", big, Settings, Accepted);
    c.Add("ini-10-mb-line.ini", "[LAYOUT]=" + std::string(10u << 20, '7') + "\n", Settings,
          Accepted);
    c.AddDirectory("ini-directory.ini", Settings);
}

} // namespace

std::vector<BadInput> WriteBadInputCorpus(const std::string& dir)
{
    CCorpus corpus(dir);
    AddWaves(corpus);
    AddMidis(corpus);
    AddMp3s(corpus);
    AddCompressed(corpus);
    AddCdImages(corpus);
    AddPlaylists(corpus);
    AddSettings(corpus);
    return corpus.m_inputs;
}

std::string BadInputName(const BadInput& input)
{
    return std::filesystem::path(input.path).filename().string();
}
