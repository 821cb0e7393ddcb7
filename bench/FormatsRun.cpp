// Figures of the FFmpeg decoder plug-in (Kodekku) through the play engine.
//
//   bench_formats cpu [seconds]    CPU while a FLAC, an AAC (.m4a) and an Opus file of that
//                                  length (default 60 s, 1 kHz tone, 44.1/48 kHz stereo) play
//                                  to their end on SDL's dummy driver, beside
//                                  `ffmpeg -i F -f null -` decoding the same file alone
//   bench_formats first [hours]    a FLAC of that length (default 10 h): OpenAndPlay to its
//                                  first sample on the device (SDL's disk driver, in
//                                  /dev/shm), and `sorvane --play F` (a new process, then a
//                                  running player) to its first sample
//   bench_formats cue [minutes]    a FLAC of that length (default 70 min) split by a CUE
//                                  sheet into 5-minute tracks, silent but for the first
//                                  second of track 10:
//                                  OpenAndPlayTrack of track 10 to its first sample on the
//                                  device, and `sorvane --play album.cue#10` (a new process,
//                                  then a running player) to its first sample
//   bench_formats rss [seconds]    VmRSS of this process before a FLAC opens (the output
//                                  already open) and its peak while it plays (default 20 s)

#include "engine/PlayEngine.h"

#include "audio/SoundOutput.h"
#include "framework/Messages.h"
#include "media/CueSheet.h"
#include "media/Mci.h"
#include "tests/support/AvWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
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

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A field of /proc/self/status in KB: "VmRSS:" (all resident pages) or "RssAnon:" (the
// process's own, without the shared libraries' file pages).
long RssKb(const std::string& field = "VmRSS:")
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
    return 0;
}

std::string Beside(const std::string& name)
{
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    const std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + name;
}

// Spawns args with env added to this process's environment; its pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {})
{
    std::vector<std::string> all(env);
    for (char** e = environ; *e != nullptr; ++e)
        all.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : all)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// CPU seconds of this process's thread named name so far; 0 when there is none.
double ThreadCpuSeconds(const std::string& name)
{
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return 0;
    double seconds = 0;
    while (dirent* entry = readdir(tasks)) {
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string threadName;
        if (!std::getline(comm, threadName) || threadName != name)
            continue;
        // Fields 14 and 15 of the thread's stat: user and system time in clock ticks.
        std::ifstream stat(std::string("/proc/self/task/") + entry->d_name + "/stat");
        std::string text;
        std::getline(stat, text);
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        long ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i >= 14)
                ticks += std::atol(field.c_str());
        seconds = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    closedir(tasks);
    return seconds;
}

// CPU seconds that `ffmpeg -i path -f null -` takes; negative when it fails.
double FfmpegDecodeSeconds(const std::string& path)
{
    std::string ffmpeg = "/usr/bin/ffmpeg";
    const pid_t pid =
        Spawn({ffmpeg, "-nostdin", "-loglevel", "error", "-i", path, "-f", "null", "-"});
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    auto sec = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
    };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// An engine notifying a window on this thread.
struct CNotifiedEngine
{
    bool bEnded = false;
    CMessageWindow window{[this](UINT message, WPARAM, LPARAM) {
        if (message == MM_MCINOTIFY)
            bEnded = true;
    }};
    CPlayEngine engine;

    CNotifiedEngine() { engine.SetNotifyWindow(window.GetSafeHwnd()); }
};

// Plays path to its end through the engine; the process's CPU seconds and the decode thread's
// (its last reading before the thread ended).
std::pair<double, double> PlayCpu(const std::string& path, double seconds)
{
    SelectAudioOutput(AudioOutputKind::Device);
    CNotifiedEngine ne;
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = Clock::now();
    if (ne.engine.OpenAndPlay(path) == 0) {
        std::fprintf(stderr, "%s did not play\n", path.c_str());
        std::exit(1);
    }
    double thread = 0;
    while (!ne.bEnded && Clock::now() - wall0 < std::chrono::duration<double>(seconds + 30)) {
        PumpMessages(200);
        thread = std::max(thread, ThreadCpuSeconds("kodekku-decode"));
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    ne.engine.CloseMedium();
    return {cpu, thread};
}

void BenchCpu(double seconds)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    CTempDir dir;
    struct Case
    {
        const char* name;
        const char* codec;
        int rate;
        int kbps;
    };
    std::printf("%.0f s of a 1 kHz stereo tone through Kodekku on SDL's dummy driver\n", seconds);
    // The output's own cost for as long a stream: a WAV, whose device only copies samples.
    WavTone wavTone;
    wavTone.nChannels = 2;
    wavTone.nFrames = static_cast<std::uint32_t>(seconds * 44100);
    const double output = PlayCpu(dir.Write("baseline.wav", MakeWav(wavTone)), seconds).first;
    std::printf("  a WAV of the same length (the output's own cost): %6.3f s CPU\n", output);
    std::fflush(stdout);
    for (const Case& c : {Case{"flac.flac", "flac", 44100, 0}, Case{"aac.m4a", "aac", 44100, 192},
                          Case{"opus.opus", "libopus", 48000, 128}}) {
        EncodedTone tone;
        tone.strCodec = c.codec;
        tone.nRate = c.rate;
        tone.nBitrateKbps = c.kbps;
        tone.dSeconds = seconds;
        const std::string path = dir / c.name;
        if (!WriteEncodedTone(path, tone)) {
            std::fprintf(stderr, "cannot encode %s\n", c.name);
            std::exit(1);
        }
        const double ffmpeg = FfmpegDecodeSeconds(path);
        const auto [cpu, thread] = PlayCpu(path, seconds);
        std::printf("  %-10s engine %6.3f s CPU (decode thread %6.3f s, less the WAV's %6.3f s); "
                    "ffmpeg -f null %6.3f s; decode thread / ffmpeg %.2fx, (engine - WAV) / "
                    "ffmpeg %.2fx (goal <= 1.3x)\n",
                    c.name, cpu, thread, cpu - output, ffmpeg, ffmpeg > 0 ? thread / ffmpeg : 0,
                    ffmpeg > 0 ? (cpu - output) / ffmpeg : 0);
        std::fflush(stdout);
    }
}

// The time until the file at path holds a non-zero byte (SDL's disk driver writes what the
// device plays), polled every 100 us; negative after timeout.
double FirstSoundMs(const std::string& path, Clock::time_point start,
                    std::chrono::seconds timeout = std::chrono::seconds(10))
{
    std::size_t seen = 0;
    while (Clock::now() - start < timeout) {
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(seen));
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            const auto got = static_cast<std::size_t>(in.gcount());
            if (std::any_of(buffer, buffer + got, [](char b) { return b != 0; }))
                return Ms(Clock::now() - start);
            seen += got;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return -1;
}

// The player on SDL's disk driver playing target, from a new process and then reached as the
// running copy: the time from each --play to the first non-zero byte in raw.
void TimeProgramRuns(const std::string& raw, const std::string& target, const CTempDir& dir,
                     const char* label)
{
    const std::vector<std::string> env = {
        "QT_QPA_PLATFORM=offscreen",         "SDL_AUDIODRIVER=disk",
        "SDL_DISKAUDIOFILE=" + raw,          "XDG_CONFIG_HOME=" + (dir / "config"),
        "XDG_RUNTIME_DIR=" + dir.Path(),     "XDG_CACHE_HOME=" + (dir / "cache"),
        "DBUS_SESSION_BUS_ADDRESS=disabled:"};
    const std::string program = Beside("sorvane");
    for (int run = 0; run < 3; ++run) {
        std::remove(raw.c_str());
        const auto start = Clock::now();
        const pid_t player = Spawn({program, "--play", target}, env);
        const double cold = FirstSoundMs(raw, start);
        // A second --play to the running player, once the tone has given way to silence: the
        // file is emptied, and its first non-zero byte after that is the new play's.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::ofstream(raw, std::ios::trunc).close();
        const auto again = Clock::now();
        const pid_t sender = Spawn({program, "--play", target}, env);
        const double warm = FirstSoundMs(raw, again);
        waitpid(sender, nullptr, 0);
        kill(player, SIGTERM);
        waitpid(player, nullptr, 0);
        std::printf("  %s, run %d: new process %7.2f ms, to the running player %7.2f ms\n", label,
                    run + 1, cold, warm);
    }
    std::remove(raw.c_str());
}

void BenchFirst(double hours)
{
    CTempDir dir;
    const std::string flac = dir / "long.flac";
    // One second of tone, then silence, which FLAC keeps in a few bytes a frame.
    const auto seconds = std::to_string(static_cast<long>(hours * 3600));
    std::printf("encoding a %.1f h FLAC...\n", hours);
    if (!RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                     "sine=frequency=1000:sample_rate=44100:duration=" + seconds, "-af",
                     "volume=enable='gt(t,1)':volume=0", "-ac", "2", "-c:a", "flac",
                     "-compression_level", "0", flac})) {
        std::fprintf(stderr, "cannot encode %s\n", flac.c_str());
        std::exit(1);
    }
    const std::string raw = "/dev/shm/sorvane-bench-first-" + std::to_string(::getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    std::printf("%.1f h FLAC to its first sample on the device (SDL's disk driver)\n", hours);
    for (int run = 0; run < 5; ++run) {
        SelectAudioOutput(AudioOutputKind::Silent);
        std::remove(raw.c_str());
        SelectAudioOutput(AudioOutputKind::Device);
        CNotifiedEngine ne;
        const auto start = Clock::now();
        ne.engine.OpenAndPlay(flac);
        const double first = FirstSoundMs(raw, start);
        std::printf("  OpenAndPlay, run %d: %7.2f ms (length %d s)\n", run + 1, first,
                    ne.engine.GetLengthSeconds(0));
        ne.engine.CloseMedium();
    }
    SelectAudioOutput(AudioOutputKind::Silent);
    std::remove(raw.c_str());

    // The program itself: a new process, then a running one that a second --play reaches.
    TimeProgramRuns(raw, flac, dir, "sorvane --play");
}

void BenchCue(double minutes)
{
    constexpr int kTrackMinutes = 5;
    constexpr int kTrack = 10;
    CTempDir dir;
    const std::string flac = dir / "album.flac";
    const long seconds = static_cast<long>(minutes * 60);
    const long toneFrom = (kTrack - 1) * kTrackMinutes * 60;
    std::printf("encoding a %.0f min FLAC, the start of track %d a tone...\n", minutes, kTrack);
    if (!RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                     "sine=frequency=1000:sample_rate=44100:duration=" + std::to_string(seconds),
                     "-af",
                     "volume=enable='not(between(t," + std::to_string(toneFrom) + "," +
                         std::to_string(toneFrom + 1) + "))':volume=0",
                     "-ac", "2", "-c:a", "flac", "-compression_level", "0", flac})) {
        std::fprintf(stderr, "cannot encode %s\n", flac.c_str());
        std::exit(1);
    }
    std::string sheet = "FILE \"album.flac\" WAVE\n";
    for (int n = 1; (n - 1) * kTrackMinutes * 60 < seconds; ++n) {
        char track[96];
        std::snprintf(track, sizeof track, "TRACK %02d AUDIO\nINDEX 01 %d:00:00\n", n,
                      (n - 1) * kTrackMinutes);
        sheet += track;
    }
    const std::string cue = dir.Write("album.cue", sheet);
    const std::optional<CueTrack> track = ReadCueTrackEntry(CueTrackEntry(cue, kTrack));
    if (!track) {
        std::fprintf(stderr, "the sheet has no track %d\n", kTrack);
        std::exit(1);
    }
    const std::string raw = "/dev/shm/sorvane-bench-cue-" + std::to_string(::getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    std::printf("track %d of a %.0f min FLAC to its first sample on the device (SDL's disk "
                "driver; goal < 150 ms)\n",
                kTrack, minutes);
    for (int run = 0; run < 5; ++run) {
        SelectAudioOutput(AudioOutputKind::Silent);
        std::remove(raw.c_str());
        SelectAudioOutput(AudioOutputKind::Device);
        CNotifiedEngine ne;
        const auto start = Clock::now();
        ne.engine.OpenAndPlayTrack(*track);
        const double first = FirstSoundMs(raw, start);
        std::printf("  OpenAndPlayTrack, run %d: %7.2f ms\n", run + 1, first);
        ne.engine.CloseMedium();
    }
    SelectAudioOutput(AudioOutputKind::Silent);
    std::remove(raw.c_str());
    TimeProgramRuns(raw, CueTrackEntry(cue, kTrack), dir, "sorvane --play album.cue#10");
}

void BenchRss(double seconds)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    CTempDir dir;
    EncodedTone tone;
    tone.dSeconds = seconds + 5;
    const std::string flac = dir / "rss.flac";
    if (!WriteEncodedTone(flac, tone)) {
        std::fprintf(stderr, "cannot encode %s\n", flac.c_str());
        std::exit(1);
    }
    SelectAudioOutput(AudioOutputKind::Device);
    OpenAudioOutput();
    CNotifiedEngine ne;
    ne.engine.LoadPlugins();
    PumpMessages(500);
    const long fresh = RssKb();
    const long freshAnon = RssKb("RssAnon:");
    // The decoder library and FFmpeg's load with the first such file and stay: a short file
    // opened and closed first puts them in the idle player's footprint.
    EncodedTone shortTone;
    shortTone.dSeconds = 0.5;
    const std::string warm = dir / "warm.flac";
    WriteEncodedTone(warm, shortTone);
    ne.engine.OpenMedium(warm, MEDIUM_FILE);
    ne.engine.CloseMedium();
    PumpMessages(500);
    const long idle = RssKb();
    const long idleAnon = RssKb("RssAnon:");
    ne.engine.OpenAndPlay(flac);
    long peak = idle;
    long peakAnon = idleAnon;
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        PumpMessages(100);
        peak = std::max(peak, RssKb());
        peakAnon = std::max(peakAnon, RssKb("RssAnon:"));
    }
    ne.engine.CloseMedium();
    std::printf("FLAC 44.1 kHz 16-bit stereo for %.0f s: VmRSS before any FFmpeg file %ld KB, "
                "idle with the decoder library loaded %ld KB (+%.2f MiB), peak while playing "
                "%ld KB, +%.2f MiB over idle (goal <= 8 MiB)\n",
                seconds, fresh, idle, static_cast<double>(idle - fresh) / 1024.0, peak,
                static_cast<double>(peak - idle) / 1024.0);
    std::printf("  of which the process's own (RssAnon): %ld KB, %ld KB (+%.2f MiB for the "
                "libraries), %ld KB while playing (+%.2f MiB)\n",
                freshAnon, idleAnon, static_cast<double>(idleAnon - freshAnon) / 1024.0, peakAnon,
                static_cast<double>(peakAnon - idleAnon) / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    // Delivers the engine's notifications.
    QCoreApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "cpu";
    const double arg = argc > 2 ? std::atof(argv[2]) : 0;
    if (mode == "cpu")
        BenchCpu(arg > 0 ? arg : 60);
    else if (mode == "first")
        BenchFirst(arg > 0 ? arg : 10);
    else if (mode == "cue")
        BenchCue(arg > 0 ? arg : 70);
    else if (mode == "rss")
        BenchRss(arg > 0 ? arg : 20);
    CloseAudioOutput();
    return 0;
}
