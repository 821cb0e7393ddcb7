// Figures of the play engine, its CD position monitor and the compressed-audio plug-ins.
//
//   bench_engine cpu [seconds]      CPU share while an MP3 of that length (default 60 s,
//                                   128 kbps) plays through the plug-ins into the silent
//                                   output, beside `mpg123 -t` decoding the same file
//   bench_engine latency [runs]     OpenAndPlay to first audio for MP3, WAV, MIDI and a CD
//                                   image; CloseMedium with a running monitor
//   bench_engine monitor [seconds]  the monitor thread's own CPU while a CD image plays
//   bench_engine open-long [hours]  the time OpenMedium holds the user-interface thread for
//                                   a long (default 10 h) 128 kbps MP3 without an Info frame,
//                                   and the length it gives, also with a corrupt Info count
//   bench_engine sdl [seconds]      CPU of the engine playing an MP3 of that length (default
//                                   60 s, 128 kbps, 44.1 kHz) on SDL's dummy driver, beside
//                                   bench_mp3_floor (libmpg123 straight into SDL) on the same
//   bench_engine ui                 on SDL's dummy driver: the longest wait of a position
//                                   query while a WAV's read hangs; stop, close and eject
//                                   while a read hangs (WAV, CD image, MP3); the underruns
//                                   while the user-interface thread is busy for 500 ms (five
//                                   times each: WAV at 44.1 kHz stereo, 8 kHz mono and 192 kHz
//                                   eight channels, MP3, and the 8 kHz file resampled into a
//                                   44.1 kHz mix)
//   bench_engine soundfont [sf2]    resident memory idle, while a MIDI file plays with that
//                                   SoundFont (default: the player's choice), and 10 s after
//                                   an MP3 followed it; then a queue of MIDI and WAV files in
//                                   turn, each followed on as the player's queue does (the next
//                                   prepared at each start, adopted at the end): the longest
//                                   hold of the user-interface thread by one engine call (a
//                                   stall of the window), the CPU those calls took (the
//                                   SoundFont's loads), the whole process's CPU, and memory
//   bench_engine gain [seconds]     CPU while a FLAC of that length (default 60 s, 44.1 kHz
//                                   stereo) plays through the plug-ins into the silent
//                                   output at a loudness gain of -6 dB, against the same file
//                                   at gain 1 (nothing multiplied); three rounds alternating
//   bench_engine                    cpu, latency and monitor with their defaults

#include "engine/PlayEngine.h"

#include "audio/AudioStreamImpl.h"
#include "audio/SoundOutput.h"
#include "framework/Messages.h"
#include "media/MciDevice.h"
#include "media/SequencerDevice.h"
#include "plugins/MpegDecoder.h"
#include "plugins/PcmOutput.h"
#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string Mp3File(const CTempDir& dir, double seconds)
{
    Mp3Tone tone;
    tone.dSeconds = seconds;
    tone.nBitrateKbps = 128;
    const std::string path = dir / "bench.mp3";
    if (!WriteMp3(path, tone)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

// CPU seconds that `mpg123 -q -t path` takes to decode the file; negative when it cannot run.
double Mpg123DecodeSeconds(const std::string& path)
{
    std::string program = "mpg123";
    std::vector<char*> argv = {program.data(), const_cast<char*>("-q"), const_cast<char*>("-t"),
                               const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "mpg123", nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    auto sec = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// An engine notifying a window on this thread; Ended() pumps and tells whether the medium
// has played to its end.
struct CNotifiedEngine
{
    bool bEnded = false;
    CMessageWindow window{[this](UINT message, WPARAM wParam, LPARAM) {
        if (message == MM_MCINOTIFY && wParam == 1)
            bEnded = true;
    }};
    CPlayEngine engine;

    CNotifiedEngine() { engine.SetNotifyWindow(window.GetSafeHwnd()); }
    bool WaitForEnd(DWORD ms)
    {
        PumpMessages(ms);
        return bEnded;
    }
};

// CPU time in nanoseconds of this process's thread named name; -1 when there is none.
long long ThreadRunNs(const std::string& name)
{
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return -1;
    long long ns = -1;
    while (dirent* entry = readdir(tasks)) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string threadName;
        if (!std::getline(comm, threadName) || threadName != name)
            continue;
        // The kernel's CPU clock of one thread, named by its id.
        const auto tid = static_cast<clockid_t>(std::atoi(entry->d_name));
        const clockid_t clock = static_cast<clockid_t>((~tid) * 8) | 6;
        timespec ts{};
        if (clock_gettime(clock, &ts) == 0)
            ns = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    }
    closedir(tasks);
    return ns;
}

// What playing a file to its end cost this process: CPU seconds and wall seconds. poll runs
// between waits of pollMs while the file plays.
struct PlayCost
{
    double dCpu = 0;
    double dWall = 0;
};

PlayCost PlayToTheEnd(const std::string& path, double seconds, DWORD pollMs,
                      const std::function<void()>& poll = {}, float gain = 1.0f)
{
    CNotifiedEngine ne;
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    if (ne.engine.OpenAndPlay(path, gain) == 0) {
        std::fprintf(stderr, "%s did not play\n", path.c_str());
        std::exit(1);
    }
    const auto limit = std::chrono::duration<double>(seconds * 2 + 10);
    while (!ne.WaitForEnd(pollMs) && Clock::now() - wall0 < limit)
        if (poll)
            poll();
    const PlayCost cost{ProcessCpuSeconds() - cpu0, Seconds(Clock::now() - wall0)};
    ne.engine.CloseMedium();
    return cost;
}

void BenchCpu(double seconds)
{
    CTempDir dir;
    const std::string path = Mp3File(dir, seconds);
    std::printf("MP3 of %.0f s at 128 kbps, 44.1 kHz stereo\n", seconds);

    const double mpg123 = Mpg123DecodeSeconds(path);

    SelectAudioOutput(AudioOutputKind::Silent);
    long long decodeNs = 0;
    auto lastSample = Clock::now();
    const PlayCost play = PlayToTheEnd(path, seconds, 200, [&] {
        // The decode thread ends with the file: keep its last reading.
        if (Clock::now() - lastSample >= std::chrono::seconds(1)) {
            decodeNs = std::max(decodeNs, ThreadRunNs("dekoda-decode"));
            lastSample = Clock::now();
        }
    });
    const double playCpu = play.dCpu;
    const double playWall = play.dWall;

    // The output's own cost for a stream of the same length: a WAV file, whose device only
    // copies its samples.
    WavTone tone;
    tone.nChannels = 2;
    tone.nFrames = static_cast<std::uint32_t>(seconds * 44100);
    const PlayCost wavPlay = PlayToTheEnd(dir.Write("baseline.wav", MakeWav(tone)), seconds, 1000);
    const double wavCpu = wavPlay.dCpu;
    const double wavWall = wavPlay.dWall;

    // The same pipeline as fast as it goes: the manual clock pulls as soon as there is sound.
    SelectAudioOutput(AudioOutputKind::ManualClock);
    double fastCpu = 0;
    double fastWall = 0;
    {
        CNotifiedEngine ne;
        const double cpu0 = ProcessCpuSeconds();
        const auto wall0 = Clock::now();
        ne.engine.OpenAndPlay(path);
        while (!ne.bEnded) {
            if (AdvanceManualAudioClock(100) == 0)
                std::this_thread::yield();
            PumpMessages(0);
        }
        fastCpu = ProcessCpuSeconds() - cpu0;
        fastWall = Seconds(Clock::now() - wall0);
        ne.engine.CloseMedium();
    }
    SelectAudioOutput(AudioOutputKind::Silent);

    std::printf("  playing in real time (silent output): %.3f s CPU over %.2f s = %.2f %% of a "
                "core\n",
                playCpu, playWall, 100.0 * playCpu / playWall);
    std::printf("    of which the decode thread:          %.3f s CPU = %.2f %% of a core\n",
                static_cast<double>(decodeNs) * 1e-9,
                100.0 * static_cast<double>(decodeNs) * 1e-9 / playWall);
    std::printf("  a WAV of the same length, for scale:  %.3f s CPU = %.2f %% of a core\n", wavCpu,
                100.0 * wavCpu / wavWall);
    std::printf("  as fast as the clock can pull:        %.3f s CPU (%.3f s wall)\n", fastCpu,
                fastWall);
    if (mpg123 >= 0) {
        std::printf("  mpg123 -t, same file:                 %.3f s CPU = %.2f %% of a core over "
                    "the file's length\n",
                    mpg123, 100.0 * mpg123 / seconds);
        std::printf("  ratio, real-time play / mpg123 -t:    %.2f (goal <= 1.2)\n",
                    playCpu / mpg123);
        std::printf("  ratio, decode thread / mpg123 -t:     %.2f\n",
                    static_cast<double>(decodeNs) * 1e-9 / mpg123);
        std::printf("  ratio, fast play / mpg123 -t:         %.2f\n", fastCpu / mpg123);
    } else {
        std::printf("  mpg123 -t could not be run\n");
    }
}

void BenchGain(double seconds)
{
    CTempDir dir;
    EncodedTone tone;
    tone.dSeconds = seconds;
    const std::string path = dir / "tone.flac";
    if (!WriteEncodedTone(path, tone)) {
        std::fprintf(stderr, "the FLAC file could not be made\n");
        std::exit(1);
    }
    std::printf("FLAC of %.0f s, 44.1 kHz stereo, 16-bit, silent output\n", seconds);
    SelectAudioOutput(AudioOutputKind::Silent);
    // Alternating rounds, so that a change of the machine's load falls on both alike.
    double plain = 0;
    double gained = 0;
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        const PlayCost without = PlayToTheEnd(path, seconds, 1000);
        const PlayCost with = PlayToTheEnd(path, seconds, 1000, {}, 0.5f);
        std::printf(
            "  round %d: gain 1 %.3f s CPU over %.2f s, gain -6 dB %.3f s CPU over %.2f s\n",
            round + 1, without.dCpu, without.dWall, with.dCpu, with.dWall);
        plain += without.dCpu;
        gained += with.dCpu;
    }
    std::printf("  total: gain 1 %.3f s CPU, gain -6 dB %.3f s CPU, ratio %.3f (goal <= 1.05)\n",
                plain, gained, gained / plain);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Milliseconds from open to the first frames the manual clock can pull.
double OpenToFirstAudioMs(CPlayEngine& engine, const std::function<int()>& open)
{
    const auto t0 = Clock::now();
    if (open() == 0)
        return -1;
    while (AdvanceManualAudioClock(1) == 0) {
        if (Clock::now() - t0 > std::chrono::seconds(5))
            return -1;
        std::this_thread::yield();
    }
    const double ms = Seconds(Clock::now() - t0) * 1000.0;
    engine.Stop();
    engine.CloseMedium();
    return ms;
}

void Report(const char* what, const std::vector<double>& ms)
{
    std::printf("  %-34s median %7.2f ms, max %7.2f ms (%zu runs)\n", what, Median(ms),
                *std::max_element(ms.begin(), ms.end()), ms.size());
}

void BenchLatency(int runs)
{
    CTempDir dir;
    const std::string mp3 = Mp3File(dir, 10);
    WavTone wav;
    wav.nChannels = 2;
    wav.nFrames = 10 * 44100;
    const std::string wave = dir.Write("bench.wav", MakeWav(wav));
    MidiTrack track;
    track.events.push_back(MidiTempo(0, 500000));
    for (int i = 0; i < 20; ++i) {
        track.events.push_back(MidiNoteOn(static_cast<std::uint32_t>(i * 96), 0, 60 + i % 12));
        track.events.push_back(
            MidiNoteOff(static_cast<std::uint32_t>(i * 96 + 90), 0, 60 + i % 12));
    }
    track.endTick = 20 * 96;
    const std::string midi = dir.Write("bench.mid", MakeMidi(0, 96, {track}));
    const std::string cue =
        WriteCdImage(dir.Path(), "disc", {CdTrackTone{750}, CdTrackTone{750}, CdTrackTone{750}});
    ::setenv("SORVANE_CDROM", cue.c_str(), 1);

    SelectAudioOutput(AudioOutputKind::ManualClock);
    CNotifiedEngine ne;
    CPlayEngine& engine = ne.engine;
    std::printf("OpenAndPlay to first audio (manual-clock output)\n");
    const double midiFirst = OpenToFirstAudioMs(engine, [&] { return engine.OpenAndPlay(midi); });
    std::printf("  %-34s %7.2f ms (loads the SoundFont)\n", "MIDI, first open", midiFirst);

    struct Case
    {
        const char* name;
        std::function<int()> open;
    };
    const std::vector<Case> cases = {
        {"MP3 (plug-ins loaded on the 1st)", [&] { return engine.OpenAndPlay(mp3); }},
        {"WAV", [&] { return engine.OpenAndPlay(wave); }},
        {"MIDI, SoundFont already loaded", [&] { return engine.OpenAndPlay(midi); }},
        {"CD image, open and Play(1)",
         [&] { return engine.OpenMedium({}, MEDIUM_CD) != 0 ? engine.Play(1) : 0; }},
    };
    for (const Case& c : cases) {
        std::vector<double> ms;
        for (int i = 0; i < runs; ++i) {
            const double t = OpenToFirstAudioMs(engine, c.open);
            if (t < 0) {
                std::printf("  %s failed\n", c.name);
                break;
            }
            ms.push_back(t);
        }
        if (!ms.empty())
            Report(c.name, ms);
    }

    std::vector<double> closeMs;
    for (int i = 0; i < runs; ++i) {
        engine.OpenMedium({}, MEDIUM_CD);
        engine.Play(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto t0 = Clock::now();
        engine.CloseMedium();
        closeMs.push_back(Seconds(Clock::now() - t0) * 1000.0);
    }
    Report("CloseMedium with a running monitor", closeMs);
    SelectAudioOutput(AudioOutputKind::Silent);
}

void BenchMonitor(double seconds)
{
    CTempDir dir;
    const int sectors = static_cast<int>(seconds + 5) * 75;
    const std::string cue = WriteCdImage(dir.Path(), "disc", {CdTrackTone{sectors}});
    ::setenv("SORVANE_CDROM", cue.c_str(), 1);
    SelectAudioOutput(AudioOutputKind::Silent);
    CNotifiedEngine ne;
    if (ne.engine.OpenMedium({}, MEDIUM_CD) == 0 || ne.engine.Play(1) == 0) {
        std::fprintf(stderr, "the CD image did not play\n");
        std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long long run0 = ThreadRunNs(CPositionMonitor::kMonitorThreadName);
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const long long run1 = ThreadRunNs(CPositionMonitor::kMonitorThreadName);
    const double wall = Seconds(Clock::now() - wall0);
    const double cpu = ProcessCpuSeconds() - cpu0;
    ne.engine.CloseMedium();
    std::printf("CD image playing on the silent output for %.1f s\n", wall);
    if (run0 < 0 || run1 < 0) {
        std::printf("  the monitor thread was not found\n");
        return;
    }
    const double share = static_cast<double>(run1 - run0) * 1e-9 / wall;
    std::printf("  monitor thread: %.2f ms CPU = %.3f %% of a core (goal < 0.5 %%)\n",
                static_cast<double>(run1 - run0) * 1e-6, 100.0 * share);
    std::printf("  whole process meanwhile (CD decoding and output included): %.2f %% of a "
                "core\n",
                100.0 * cpu / wall);
}

} // namespace

// A long MP3: a 10 s stretch without an Info frame repeated, behind a leading Info frame
// whose frame count is corrupt when bCorruptInfo is set.
std::string LongMp3File(const CTempDir& dir, double hours, bool bCorruptInfo)
{
    Mp3Tone tone;
    tone.dSeconds = 10;
    tone.bInfoTag = false;
    const std::string stretch = EncodeMp3(tone);
    const std::string path = dir / (bCorruptInfo ? "long-info.mp3" : "long.mp3");
    std::ofstream out(path, std::ios::binary);
    if (bCorruptInfo) {
        tone.bInfoTag = true;
        std::string head = EncodeMp3(tone);
        const std::size_t tag =
            head.find("Info") != std::string::npos ? head.find("Info") : head.find("Xing");
        if (tag != std::string::npos && tag + 12 <= head.size())
            for (std::size_t i = tag + 8; i < tag + 12; ++i)
                head[i] = '\x7F';
        out << head;
    }
    for (double done = 0; done < hours * 3600; done += 10)
        out << stretch;
    if (stretch.empty() || !out.flush()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    return path;
}

void BenchLongOpen(double hours)
{
    CTempDir dir;
    SelectAudioOutput(AudioOutputKind::ManualClock);
    CNotifiedEngine ne;
    CPlayEngine& engine = ne.engine;
    std::printf("OpenMedium of a %.1f h 128 kbps MP3 (user-interface thread blocked)\n", hours);
    for (const bool bCorrupt : {false, true}) {
        const std::string path = LongMp3File(dir, hours, bCorrupt);
        // The plug-ins load on the first open; that is not the file's cost.
        engine.LoadPlugins();
        double best = 1e9;
        double worst = 0;
        for (int run = 0; run < 5; ++run) {
            const auto start = Clock::now();
            const int opened = engine.OpenMedium(path, MEDIUM_FILE);
            const double ms = Seconds(Clock::now() - start) * 1000;
            best = std::min(best, ms);
            worst = std::max(worst, ms);
            if (opened == 0) {
                std::fprintf(stderr, "cannot open %s\n", path.c_str());
                std::exit(1);
            }
            if (run == 4) {
                std::printf("  %-26s best %7.2f ms, worst %7.2f ms of 5; length %d s of %.0f s\n",
                            bCorrupt ? "with a corrupt Info count" : "without an Info frame", best,
                            worst, engine.GetLengthSeconds(0), hours * 3600 + (bCorrupt ? 10 : 0));
            }
            engine.CloseMedium();
        }
        std::filesystem::remove(path);
    }
}

std::string Beside(const std::string& name)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    const std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + name;
}

void BenchSdl(double seconds)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    CTempDir dir;
    const std::string path = Mp3File(dir, seconds);
    std::printf("MP3 of %.0f s at 128 kbps, 44.1 kHz stereo, on SDL's dummy driver\n", seconds);
    // The floor's own figure: CPU from its device's opening to the end of the file.
    double floorCpu = -1;
    if (FILE* floor = popen(("'" + Beside("bench_mp3_floor") + "' '" + path + "'").c_str(), "r")) {
        double wall = 0;
        if (std::fscanf(floor, "%lf %lf", &floorCpu, &wall) != 2)
            floorCpu = -1;
        pclose(floor);
    }

    SelectAudioOutput(AudioOutputKind::Device);
    const PlayCost play = PlayToTheEnd(path, seconds, 200);
    const double playCpu = play.dCpu;
    const double playWall = play.dWall;
    std::printf("  engine (Dekoda, Voxout, the sound output): %6.3f s CPU in %5.1f s = %5.2f %% "
                "of a core\n",
                playCpu, playWall, 100.0 * playCpu / playWall);
    std::printf("  floor (bench_mp3_floor, libmpg123 into SDL): %6.3f s CPU = %5.2f %% of a core\n",
                floorCpu, 100.0 * floorCpu / seconds);
    if (floorCpu > 0)
        std::printf("  engine / floor: %.2fx (goal <= 1.3x)\n", playCpu / floorCpu);
}

// Milliseconds that f takes.
double MsOf(const std::function<void()>& f)
{
    const auto t0 = Clock::now();
    f();
    return Seconds(Clock::now() - t0) * 1000.0;
}

// Keeps this thread busy (as a long handler on the user-interface thread would) for ms.
void BusyFor(int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    volatile unsigned long long spin = 0;
    while (Clock::now() < until)
        spin = spin + 1;
}

void BenchUi()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SelectAudioOutput(AudioOutputKind::Device);
    CTempDir dir;
    WavTone tone;
    tone.nChannels = 2;
    tone.nFrames = 44100 * 20;
    const std::string wav = dir.Write("long.wav", MakeWav(tone));
    const std::string mp3 = Mp3File(dir, 20);
    WavTone low;
    low.nRate = 8000;
    low.nFrames = 8000 * 8;
    const std::string lowWav = dir.Write("low.wav", MakeWav(low));
    WavTone high;
    high.nRate = 192000;
    high.nChannels = 8;
    high.nFrames = 192000 * 5;
    const std::string highWav = dir.Write("high.wav", MakeWav(high));
    {
        CNotifiedEngine ne;
        ne.engine.OpenAndPlay(wav);
        PumpMessages(500);
        // From here every read hangs: a seek makes the device read afresh.
        CMciDevice::BlockReadsForTest(true);
        ne.engine.SeekPercent(50);
        ne.engine.Play(0);
        double longest = 0;
        long queries = 0;
        const auto end = Clock::now() + std::chrono::milliseconds(2000);
        while (Clock::now() < end) {
            PlayPosition pos{};
            const auto t0 = Clock::now();
            ne.engine.GetPosition(&pos);
            longest = std::max(longest, Seconds(Clock::now() - t0));
            ++queries;
            PumpMessages(1);
        }
        std::printf("position queries while a read hangs: %ld, longest %.3f ms (goal < 1 "
                    "ms)\n",
                    queries, longest * 1000.0);
        const double stopMs = MsOf([&] { ne.engine.Stop(); });
        const double closeMs = MsOf([&] { ne.engine.CloseMedium(); });
        std::printf("WAV while a read hangs: stop %.1f ms, close %.1f ms (goal < 100 ms)\n", stopMs,
                    closeMs);
        CMciDevice::BlockReadsForTest(false);
    }
    {
        const std::string cue = WriteCdImage(dir.Path(), "disc", {{75 * 30, 441.0}});
        ::setenv("SORVANE_CDROM", cue.c_str(), 1);
        CNotifiedEngine ne;
        ne.engine.OpenMedium({}, MEDIUM_CD);
        ne.engine.Play(1);
        PumpMessages(500);
        CMciDevice::BlockReadsForTest(true);
        const auto until = Clock::now() + std::chrono::seconds(5);
        while (!CMciDevice::ReadStalledForTest() && Clock::now() < until)
            PumpMessages(1);
        const double ejectMs = MsOf([&] { ne.engine.Eject(); });
        const double closeMs = MsOf([&] { ne.engine.CloseMedium(); });
        std::printf("CD image while a read hangs: eject %.1f ms, close %.1f ms (goal < 100 ms)\n",
                    ejectMs, closeMs);
        CMciDevice::BlockReadsForTest(false);
        ::unsetenv("SORVANE_CDROM");
    }
    {
        // The decoder straight (the engine's copy lives in the loaded plug-in).
        CPcmOutput output;
        CMpegDecoder decoder;
        PluginMediaInfo info{};
        decoder.SetOutput(&output);
        decoder.Open(mp3.c_str(), &info);
        decoder.Play();
        PumpMessages(300);
        CMpegDecoder::BlockReadsForTest(true);
        const auto until = Clock::now() + std::chrono::seconds(5);
        while (!CMpegDecoder::ReadBlockedForTest() && Clock::now() < until)
            PumpMessages(1);
        const double stopMs = MsOf([&] { decoder.Pause(); });
        const double closeMs = MsOf([&] { decoder.Close(); });
        std::printf("MP3 decoder while a read hangs: stop %.1f ms, close %.1f ms (goal < 100 "
                    "ms)\n",
                    stopMs, closeMs);
        CMpegDecoder::BlockReadsForTest(false);
    }
    const std::pair<std::string, const char*> media[] = {{wav, "WAV 44.1 kHz stereo"},
                                                         {lowWav, "WAV 8 kHz mono"},
                                                         {highWav, "WAV 192 kHz 8 channels"},
                                                         {mp3, "MP3"}};
    for (const auto& [path, name] : media) {
        CNotifiedEngine ne;
        ne.engine.OpenAndPlay(path);
        PumpMessages(1000);
        const std::uint64_t before = AudioOutputUnderruns();
        for (int i = 0; i < 5; ++i) {
            BusyFor(500);
            PumpMessages(100);
        }
        std::printf("%s: underruns while the user-interface thread was busy 5 x 500 ms: %llu "
                    "(goal 0)\n",
                    name, static_cast<unsigned long long>(AudioOutputUnderruns() - before));
        ne.engine.CloseMedium();
    }
    {
        // A 44.1 kHz stream holds the device, so the 8 kHz file is resampled into the mix.
        auto holder = CAudioStream::Open(AudioFormat{44100, 2, SampleFormat::S16}, 100);
        CNotifiedEngine ne;
        ne.engine.OpenAndPlay(lowWav);
        PumpMessages(1000);
        const std::uint64_t before = AudioOutputUnderruns();
        for (int i = 0; i < 5; ++i) {
            BusyFor(500);
            PumpMessages(100);
        }
        std::printf("WAV 8 kHz mono into a 44.1 kHz mix: underruns while the user-interface "
                    "thread was busy 5 x 500 ms: %llu (goal 0)\n",
                    static_cast<unsigned long long>(AudioOutputUnderruns() - before));
        ne.engine.CloseMedium();
    }
}

// Resident memory of this process in MiB.
double RssMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// A MIDI file of chords on several instruments, so that many of the SoundFont's samples are
// used, seconds long.
std::string MidiFile(const CTempDir& dir, int seconds)
{
    MidiTrack track;
    track.events.push_back(MidiTempo(0, 500000));
    for (int ch = 0; ch < 8; ++ch)
        track.events.push_back(MidiProgram(0, ch, ch * 16));
    for (int i = 0; i < seconds * 2; ++i) {
        const auto tick = static_cast<std::uint32_t>(i * 96);
        for (int ch = 0; ch < 8; ++ch)
            track.events.push_back(MidiNoteOn(tick, ch, 48 + (i + ch * 5) % 24));
        for (int ch = 0; ch < 8; ++ch)
            track.events.push_back(MidiNoteOff(tick + 90, ch, 48 + (i + ch * 5) % 24));
    }
    track.endTick = static_cast<std::uint32_t>(seconds * 2 * 96);
    return dir.Write("bench.mid", MakeMidi(0, 96, {track}));
}

// Delivers this thread's messages for ms milliseconds (PumpMessages returns at the first).
void PumpFor(int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end)
        PumpMessages(static_cast<DWORD>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
}

// Delivers this thread's messages until the engine's medium ended or ms milliseconds passed.
bool PumpUntilEnd(CNotifiedEngine& ne, int ms)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!ne.bEnded && Clock::now() < end)
        PumpMessages(50);
    return ne.bEnded;
}

// Thread CPU seconds of the calling thread.
double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Twelve entries, MIDI and WAV in turn, 1.5 s each, played the way the document plays a
// queue: the next entry prepared right after each start, adopted at the open one's end.
// Prints the longest time one engine call held this (the user-interface) thread, the CPU
// the calls took, the process's CPU over the queue and its memory 10 s after the last MIDI
// file gave way to a WAV file, beside idle; and how long before each end notice was handled
// the next file's first sample was played (its stream's played frames then; a negative
// figure would be a start that waited for the notice).
void BenchMixedQueue(const CTempDir& dir, double idle)
{
    constexpr int kEntries = 12;
    WavTone tone;
    tone.nRate = 44100;
    tone.nChannels = 2;
    tone.nFrames = 44100 * 3 / 2;
    const std::string wav = dir.Write("mixed.wav", MakeWav(tone));
    const std::string midi = MidiFile(dir, 1);
    CNotifiedEngine ne;
    double longest = 0;
    double longestLater = 0; // after the first entry's open, which loads the SoundFont
    double callsCpu = 0;
    int calls = 0;
    const auto timed = [&](const std::function<int()>& call) {
        const auto start = Clock::now();
        const double cpu = ThreadCpuSeconds();
        const int result = call();
        callsCpu += ThreadCpuSeconds() - cpu;
        longest = std::max(longest, Seconds(Clock::now() - start));
        if (calls++ > 0)
            longestLater = std::max(longestLater, Seconds(Clock::now() - start));
        return result;
    };
    const auto entry = [&](int i) { return i % 2 == 0 ? midi : wav; };
    const double processCpu = ProcessCpuSeconds();
    const auto start = Clock::now();
    timed([&] { return ne.engine.OpenAndPlay(entry(0)); });
    timed([&] { return ne.engine.PrepareNext(entry(1)); });
    int played = 1;
    double earliestLead = 1e9;
    double latestLead = -1e9;
    while (played < kEntries) {
        if (!PumpUntilEnd(ne, 10000)) {
            std::printf("  entry %d never ended\n", played - 1);
            return;
        }
        ne.bEnded = false;
        if (const auto next = ne.engine.Stream(true).lock(); next != nullptr) {
            const double lead = static_cast<double>(next->Played()) * 1000 / tone.nRate;
            earliestLead = std::min(earliestLead, lead);
            latestLead = std::max(latestLead, lead);
        }
        if (timed([&] { return ne.engine.AdoptPrepared(); }) != 1) {
            std::printf("  entry %d did not follow on\n", played);
            return;
        }
        ++played;
        if (played < kEntries)
            timed([&] { return ne.engine.PrepareNext(entry(played)); });
    }
    PumpUntilEnd(ne, 10000);
    const double wall = Seconds(Clock::now() - start);
    const double queueCpu = ProcessCpuSeconds() - processCpu;
    PumpFor(10000);
    const double after = RssMiB();
    ne.engine.CloseMedium();
    std::printf("  %d entries, MIDI and WAV in turn, in %.1f s: longest engine call %.0f ms (after "
                "the first open %.0f ms), engine calls %.2f s CPU, process %.2f s CPU; RSS 10 s "
                "after the last MIDI file %.1f MiB = idle %+.1f MiB\n",
                kEntries, wall, longest * 1000, longestLater * 1000, callsCpu, queueCpu, after,
                after - idle);
    std::printf("  end notice handled %.1f to %.1f ms after the next file's first sample\n",
                earliestLead, latestLead);
}

void BenchSoundFont(const std::string& soundFont)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    if (!soundFont.empty())
        setenv("SORVANE_SOUNDFONT", soundFont.c_str(), 1);
    SelectAudioOutput(AudioOutputKind::Device);
    CTempDir dir;
    const std::string mp3 = Mp3File(dir, 30);
    const std::string midi = MidiFile(dir, 10);
    CNotifiedEngine ne;
    // Idle: the output and the plug-ins as an MP3 leaves them.
    ne.engine.OpenAndPlay(mp3);
    PumpFor(2000);
    ne.engine.CloseMedium();
    PumpFor(1000);
    const double idle = RssMiB();
    ne.engine.OpenAndPlay(midi);
    PumpFor(3000);
    const double midiRss = RssMiB();
    ne.engine.OpenAndPlay(mp3);
    PumpFor(10000);
    const double after = RssMiB();
    const bool bKept = CSequencerDevice::SoundFontLoaded();
    ne.engine.CloseMedium();
    std::printf("SoundFont %s%s\n", bKept ? "(still loaded) " : "",
                soundFont.empty() ? "(the player's choice)" : soundFont.c_str());
    std::printf("  RSS idle %.1f MiB, playing MIDI %.1f MiB, 10 s after an MP3 followed: %.1f "
                "MiB = idle %+.1f MiB (goal <= idle + 5 MiB)\n",
                idle, midiRss, after, after - idle);
    BenchMixedQueue(dir, idle);
}

int main(int argc, char** argv)
{
    // Delivers the engine's notifications.
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "all";
    const double arg = argc > 2 ? std::atof(argv[2]) : 0;
    if (mode == "cpu" || mode == "all")
        BenchCpu(arg > 0 ? arg : 60);
    if (mode == "latency" || mode == "all")
        BenchLatency(arg > 0 ? static_cast<int>(arg) : 20);
    if (mode == "monitor" || mode == "all")
        BenchMonitor(arg > 0 ? arg : 20);
    if (mode == "open-long")
        BenchLongOpen(arg > 0 ? arg : 10);
    if (mode == "gain")
        BenchGain(arg > 0 ? arg : 60);
    if (mode == "sdl")
        BenchSdl(arg > 0 ? arg : 60);
    if (mode == "ui")
        BenchUi();
    if (mode == "soundfont")
        BenchSoundFont(argc > 2 ? argv[2] : "");
    CloseAudioOutput();
    return 0;
}
