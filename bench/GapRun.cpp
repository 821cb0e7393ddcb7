// The gap between two files that the real program plays in a row: "sorvane --play A B" on
// SDL's disk driver (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE in a temporary directory),
// whose output is then searched for the longest run of silent frames between the first
// sound and the last. The pairs: 44.1 kHz 16-bit stereo WAV files; 44.1 kHz stereo MP3 files;
// FLAC files, an MP3 then a FLAC file, and a 44.1 kHz MP3 then a 48 kHz one (the second of
// each pair held behind the first on a decoder of its own); each pair two tones of the given
// length. The device opens once, for the first
// file; a reopen would start the output file afresh and lose the first file's sound, so
// the sound's length is printed beside the gap (more than both files when the player's
// repeat setting is on). Each tone starts at phase 0, so a boundary shows as one silent
// frame: the next file's first sample.
// Then a pair of MIDI files of one held organ note each, searched for a dip in the level
// instead, and the player's resident memory at their end (both synthesizers then hold the
// SoundFont, which SORVANE_SOUNDFONT may name) beside that after a WAV pair; and a queue of
// MIDI and WAV files in turn, searched for a dip at each change of kind.
//
//   bench_gap [seconds-per-file [midi]]     (midi: the MIDI pair and the mixed queue only)
//
// The player runs from the bin/ directory beside this program on Qt's offscreen platform,
// with its settings in the temporary directory.

#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;

std::string ProgramPath()
{
    char path[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    std::string self(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    return self.substr(0, self.rfind('/') + 1) + "sorvane";
}

// Plays files with "sorvane --play", lets them play for seconds, ends the player and
// returns the raw output (16-bit stereo at the first file's rate).
// The output is 32-bit float when the first file is float (MIDI): bFloat converts it.
// residentKiB, when given, receives the player's resident memory just before it is ended.
std::vector<std::int16_t> PlayThroughDisk(const CTempDir& dir,
                                          const std::vector<std::string>& files, double seconds,
                                          bool bFloat = false, long* residentKiB = nullptr)
{
    const std::string out = dir / "out.raw";
    std::remove(out.c_str());
    std::vector<std::string> env = {
        "QT_QPA_PLATFORM=offscreen",     "SDL_AUDIODRIVER=disk",
        "SDL_DISKAUDIOFILE=" + out,      "XDG_CONFIG_HOME=" + (dir / "config"),
        "XDG_RUNTIME_DIR=" + dir.Path(), "HOME=" + dir.Path()};
    for (const char* keep : {"PATH", "LANG", "LC_ALL", "SORVANE_SOUNDFONT"})
        if (const char* value = std::getenv(keep))
            env.push_back(std::string(keep) + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = ProgramPath();
    std::string option = "--play";
    std::vector<std::string> args = files;
    std::vector<char*> argv = {program.data(), option.data()};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    if (pid == 0) {
        std::fprintf(stderr, "%s cannot be started\n", program.c_str());
        return {};
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    if (residentKiB != nullptr) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        *residentKiB = 0;
        while (std::getline(status, line))
            if (line.rfind("VmRSS:", 0) == 0)
                *residentKiB = std::atol(line.c_str() + 6);
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(out, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bFloat) {
        std::vector<float> floats(bytes.size() / 4);
        std::memcpy(floats.data(), bytes.data(), floats.size() * 4);
        std::vector<std::int16_t> samples(floats.size());
        std::transform(floats.begin(), floats.end(), samples.begin(), [](float f) {
            return static_cast<std::int16_t>(std::lround(std::clamp(f, -1.0f, 1.0f) * 32767.0f));
        });
        return samples;
    }
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// Prints the longest run of silent frames between the first and the last sounding frame.
void Report(const char* what, const std::vector<std::int16_t>& samples, double expectSeconds)
{
    const std::size_t frames = samples.size() / kChannels;
    auto silent = [&](std::size_t f) {
        return samples[f * kChannels] == 0 && samples[f * kChannels + 1] == 0;
    };
    std::size_t first = 0;
    while (first < frames && silent(first))
        ++first;
    std::size_t last = frames;
    while (last > first && silent(last - 1))
        --last;
    std::size_t longest = 0;
    std::size_t run = 0;
    for (std::size_t f = first; f < last; ++f) {
        run = silent(f) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    std::printf("%s: longest silence between the files %zu frames (%.2f ms); sound %.3f s of "
                "at least %.3f s expected\n",
                what, longest, 1000.0 * static_cast<double>(longest) / kRate,
                static_cast<double>(last - first) / kRate, expectSeconds);
}

// The levels (root mean square) of the 5 ms blocks of samples.
std::vector<double> BlockLevels(const std::vector<std::int16_t>& samples)
{
    constexpr std::size_t kBlock = kRate / 200;
    std::vector<double> levels;
    for (std::size_t i = 0; i + kBlock * kChannels <= samples.size(); i += kBlock * kChannels) {
        double sum = 0;
        for (std::size_t k = i; k < i + kBlock * kChannels; ++k)
            sum += static_cast<double>(samples[k]) * samples[k];
        levels.push_back(std::sqrt(sum / (kBlock * kChannels)));
    }
    return levels;
}

// The median level of the sounding 5 ms blocks; 0 when none sounds.
double MedianLevel(const std::vector<std::int16_t>& samples)
{
    std::vector<double> levels = BlockLevels(samples);
    std::erase_if(levels, [](double level) { return level < 1.0; });
    if (levels.empty())
        return 0;
    std::nth_element(levels.begin(),
                     levels.begin() + static_cast<std::ptrdiff_t>(levels.size() / 2), levels.end());
    return levels[levels.size() / 2];
}

// Prints the longest dip between the first and the last sound: the longest run of 5 ms
// blocks whose level is below half the median block's. A note's release fills the frames
// between two MIDI files, so a search for silent frames would miss a gap there. bEachDip
// lists every dip with its time from the first sound.
void ReportDip(const char* what, const std::vector<std::int16_t>& samples, bool bEachDip = false)
{
    constexpr std::size_t kBlock = kRate / 200;
    const std::vector<double> levels = BlockLevels(samples);
    std::size_t first = 0;
    while (first < levels.size() && levels[first] < 1.0)
        ++first;
    std::size_t last = levels.size();
    while (last > first && levels[last - 1] < 1.0)
        --last;
    if (first == last) {
        std::printf("%s: no sound\n", what);
        return;
    }
    std::vector<double> sorted(levels.begin() + static_cast<std::ptrdiff_t>(first),
                               levels.begin() + static_cast<std::ptrdiff_t>(last));
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double half = sorted[sorted.size() / 2] / 2;
    std::size_t longest = 0;
    std::size_t run = 0;
    std::string dips;
    for (std::size_t b = first; b < last; ++b) {
        run = levels[b] < half ? run + 1 : 0;
        longest = std::max(longest, run);
        if (run > 0 && (b + 1 == last || levels[b + 1] >= half))
            dips += " " + std::to_string(run * 5) + " ms at " +
                    std::to_string(static_cast<double>((b + 1 - run - first) * kBlock) / kRate)
                        .substr(0, 5) +
                    " s;";
    }
    std::printf("%s: longest dip below half the usual level %zu ms; sound %.3f s\n", what,
                longest * 5, static_cast<double>((last - first) * kBlock) / kRate);
    if (bEachDip)
        std::printf("  dips (from the first sound):%s\n", dips.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::max(0.5, std::atof(argv[1])) : 2.0;
    CTempDir dir;
    const double playFor = 2 * seconds + 2.0;
    const bool bMidiOnly = argc > 2 && std::strcmp(argv[2], "midi") == 0;

    WavTone wav;
    wav.nRate = kRate;
    wav.nChannels = kChannels;
    wav.nFrames = static_cast<std::uint32_t>(seconds * kRate);
    wav.frequency = 441.5; // no sample of either channel falls on zero after the first
    const std::string a = dir.Write("a.wav", MakeWav(wav));
    const std::string b = dir.Write("b.wav", MakeWav(wav));
    if (!bMidiOnly)
        Report("WAV to WAV", PlayThroughDisk(dir, {a, b}, playFor), 2 * seconds);

    Mp3Tone mp3;
    mp3.dSeconds = seconds;
    mp3.nSampleRate = kRate;
    mp3.nChannels = kChannels;
    const std::string c = dir / "c.mp3";
    const std::string d = dir / "d.mp3";
    if (!WriteMp3(c, mp3) || !WriteMp3(d, mp3)) {
        std::fprintf(stderr, "the MP3 files could not be written\n");
        return 1;
    }
    if (!bMidiOnly)
        Report("MP3 to MP3", PlayThroughDisk(dir, {c, d}, playFor), 2 * seconds);

    EncodedTone flac;
    flac.nRate = kRate;
    flac.nChannels = kChannels;
    flac.dSeconds = seconds;
    Mp3Tone mp3At48k = mp3;
    mp3At48k.nSampleRate = 48000;
    const std::string e = dir / "e.flac";
    const std::string f = dir / "f.flac";
    const std::string g = dir / "g.mp3";
    if (!WriteEncodedTone(e, flac) || !WriteEncodedTone(f, flac) || !WriteMp3(g, mp3At48k)) {
        std::fprintf(stderr, "the FLAC or 48 kHz MP3 files could not be written\n");
        return 1;
    }
    if (!bMidiOnly) {
        Report("FLAC to FLAC", PlayThroughDisk(dir, {e, f}, playFor), 2 * seconds);
        Report("MP3 to FLAC", PlayThroughDisk(dir, {c, e}, playFor), 2 * seconds);
        Report("MP3 44.1 kHz to MP3 48 kHz", PlayThroughDisk(dir, {c, g}, playFor), 2 * seconds);
    }

    // An organ holds its note at full strength, without reverb or chorus.
    const auto ticks = static_cast<std::uint32_t>(seconds * 1000); // a tick is 1 ms
    const MidiTrack organ{{MidiTempo(0, 96000), MidiProgram(0, 0, 16),
                           MidiEvent{0, std::string("\xB0\x5B\x00", 3)},
                           MidiEvent{0, std::string("\xB0\x5D\x00", 3)}, MidiNoteOn(0, 0, 69, 127),
                           MidiNoteOff(ticks, 0, 69)},
                          ticks};
    const std::string h = dir.Write("h.mid", MakeMidi(0, 96, {organ}));
    const std::string i = dir.Write("i.mid", MakeMidi(0, 96, {organ}));
    long residentKiB = 0;
    const std::vector<std::int16_t> organPair =
        PlayThroughDisk(dir, {h, i}, playFor, true, &residentKiB);
    ReportDip("MIDI to MIDI", organPair);
    std::printf("MIDI to MIDI: resident memory at the end %.1f MiB\n",
                static_cast<double>(residentKiB) / 1024.0);
    PlayThroughDisk(dir, {a, b}, playFor, false, &residentKiB);
    std::printf("WAV to WAV (no MIDI): resident memory at the end %.1f MiB\n",
                static_cast<double>(residentKiB) / 1024.0);

    // MIDI and WAV in turn, the WAV tone as loud as the organ, so that a dip at any of the
    // four changes of kind (where the SoundFont may be let go and loaded again) shows.
    WavTone matched = wav;
    matched.amplitude = std::clamp(MedianLevel(organPair) * std::sqrt(2.0) / 32767.0, 0.01, 0.9);
    const std::string j = dir.Write("j.wav", MakeWav(matched));
    ReportDip("MIDI, WAV, MIDI, WAV, MIDI",
              PlayThroughDisk(dir, {h, j, i, j, h}, 5 * seconds + 2.0, true), true);
    return 0;
}
