// The player beside the floor program (bench_floor_player: Qt 6, SDL2 and libmpg123 alone),
// measured in one run on a private X server (Xvfb), the two started in turn so that a change
// in the machine's load falls on both alike. Four figures each, medians over the runs:
//   window  start to the X server's first MapNotify of a normal window, nothing given;
//   ready   start with an MP3 given to both its window mapped and its first sound written
//           by SDL's disk driver (a sample that is not zero in SDL_DISKAUDIOFILE);
//   idle    resident memory (VmRSS) kIdleSettle after the window mapped, nothing given;
//   cpu     processor time (user and system, every thread) over [play-seconds] of playing
//           that MP3, from the moment it was ready, on the first [cpu-runs] runs.
//
//   bench_floor [runs] [play-seconds] [cpu-runs]      (defaults 10, 60, 3)
//
// The floor program runs from the bin/ directory beside this program, the player from a copy
// of its files there in a temporary directory, so that every start finds no settings and no
// kept queue of an earlier one (a build's player keeps them beside itself). Each start has
// fresh profile and runtime folders; under dbus-run-session the player is on the bus too.

#include "bench/PlayerProcess.h"
#include "tests/app/XvfbServer.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The longest a start may take before the run counts as failed.
constexpr auto kStartTimeout = std::chrono::seconds(30);
// How long after its window mapped a program counts as idle: the start's last work (fonts,
// the first paints, the bus) is done by then.
constexpr auto kIdleSettle = std::chrono::seconds(3);

struct Figures
{
    std::vector<double> windowMs;
    std::vector<double> readyMs;
    std::vector<double> idleMiB;
    std::vector<double> cpuSeconds;
};

struct Program
{
    const char* name;
    std::string path;
    // The arguments that make it play a file.
    std::vector<std::string> playArgs;
    Figures figures;
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double ResidentMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return static_cast<double>(std::atol(line.c_str() + 6)) / 1024.0;
    return 0;
}

// The player's files copied from the directory of this program into dir; its path there,
// empty when a file could not be copied.
std::string CopyPlayer(const CTempDir& dir)
{
    const std::string player = ProgramPath();
    const std::filesystem::path from = std::filesystem::path(player).parent_path();
    std::error_code ec;
    for (const char* file :
         {"sorvane", "libsorvane_audio.so", "Dekoda.so", "Kodekku.so", "Voxout.so"}) {
        std::filesystem::copy_file(from / file, dir / file, ec);
        if (ec)
            return {};
    }
    return dir / "sorvane";
}

// One start of a program with fresh folders: its X server, sound driver and settings.
class CStart
{
public:
    CStart(const Program& program, const std::string& display, std::vector<std::string> args)
    {
        const std::string runtime = m_dir / "runtime";
        ::mkdir(runtime.c_str(), 0700);
        m_strSound = m_dir / "sound.raw";
        std::vector<std::string> env = {"DISPLAY=" + display,
                                        "QT_QPA_PLATFORM=xcb",
                                        "SDL_AUDIODRIVER=disk",
                                        "SDL_DISKAUDIOFILE=" + m_strSound,
                                        "XDG_CONFIG_HOME=" + (m_dir / "config"),
                                        "XDG_CACHE_HOME=" + (m_dir / "cache"),
                                        "XDG_RUNTIME_DIR=" + runtime,
                                        "HOME=" + m_dir.Path()};
        for (const char* keep : {"PATH", "LANG", "LC_ALL", "DBUS_SESSION_BUS_ADDRESS"})
            if (const char* value = std::getenv(keep))
                env.push_back(std::string(keep) + "=" + value);
        // What an earlier start of the player kept beside it.
        const std::filesystem::path beside = std::filesystem::path(program.path).parent_path();
        std::error_code ec;
        std::filesystem::remove(beside / "Sorvix.ini", ec);
        std::filesystem::remove(beside / "SorvixQueue.txt", ec);
        m_start = Clock::now();
        m_pid = SpawnPlayer(program.path, std::move(args), std::move(env));
    }

    ~CStart()
    {
        if (m_pid > 0)
            StopPlayer(m_pid);
        if (m_nSoundFd >= 0)
            ::close(m_nSoundFd);
    }

    CStart(const CStart&) = delete;
    CStart& operator=(const CStart&) = delete;

    pid_t Pid() const { return m_pid; }
    Clock::time_point Started() const { return m_start; }
    bool TimedOut() const { return Clock::now() - m_start > kStartTimeout; }

    // Whether the disk driver has written a sample that is not zero; reads what came since
    // the last call.
    bool Sounded()
    {
        if (m_bSounded)
            return true;
        if (m_nSoundFd < 0)
            m_nSoundFd = ::open(m_strSound.c_str(), O_RDONLY | O_CLOEXEC);
        char buffer[65536];
        ssize_t n = 0;
        while (m_nSoundFd >= 0 && !m_bSounded &&
               (n = ::read(m_nSoundFd, buffer, sizeof(buffer))) > 0)
            m_bSounded = std::any_of(buffer, buffer + n, [](char c) { return c != 0; });
        return m_bSounded;
    }

private:
    CTempDir m_dir;
    std::string m_strSound;
    int m_nSoundFd = -1;
    bool m_bSounded = false;
    pid_t m_pid = 0;
    Clock::time_point m_start;
};

// Waits for the first MapNotify of a normal window since the last call; the time it came, or
// nothing by the time limit.
bool WaitForMap(Display* pDisplay, CStart& start, Clock::time_point& mapped)
{
    while (!start.TimedOut()) {
        pollfd pfd{ConnectionNumber(pDisplay), POLLIN, 0};
        if (XPending(pDisplay) == 0)
            ::poll(&pfd, 1, 1);
        while (XPending(pDisplay) > 0) {
            XEvent event{};
            XNextEvent(pDisplay, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                mapped = Clock::now();
                return true;
            }
        }
    }
    return false;
}

// Drops the X server's events so far (those of a program already ended).
void Drain(Display* pDisplay)
{
    XSync(pDisplay, False);
    while (XPending(pDisplay) > 0) {
        XEvent event{};
        XNextEvent(pDisplay, &event);
    }
}

// A start with nothing given: the time to the window, then the idle program's memory.
bool MeasureIdle(Display* pDisplay, Program& program, const std::string& display)
{
    Drain(pDisplay);
    CStart start(program, display, {});
    Clock::time_point mapped;
    if (start.Pid() <= 0 || !WaitForMap(pDisplay, start, mapped))
        return false;
    program.figures.windowMs.push_back(Ms(mapped - start.Started()));
    std::this_thread::sleep_for(kIdleSettle);
    program.figures.idleMiB.push_back(ResidentMiB(start.Pid()));
    return true;
}

// A start with the MP3 given: the time until it is both on the screen and sounding, then
// with bCpu what playing costs over playSeconds.
bool MeasurePlay(Display* pDisplay, Program& program, const std::string& display,
                 const std::string& mp3, int playSeconds, bool bCpu)
{
    Drain(pDisplay);
    std::vector<std::string> args = program.playArgs;
    args.push_back(mp3);
    CStart start(program, display, std::move(args));
    Clock::time_point mapped;
    if (start.Pid() <= 0 || !WaitForMap(pDisplay, start, mapped))
        return false;
    while (!start.Sounded()) {
        if (start.TimedOut())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const Clock::time_point ready = std::max(mapped, Clock::now());
    program.figures.readyMs.push_back(Ms(ready - start.Started()));
    if (bCpu) {
        const double before = CpuSeconds(start.Pid());
        std::this_thread::sleep_for(std::chrono::seconds(playSeconds));
        program.figures.cpuSeconds.push_back(CpuSeconds(start.Pid()) - before);
    }
    return true;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int playSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const int cpuRuns = argc > 3 ? std::max(0, std::atoi(argv[3])) : 3;
    CXvfbServer server;
    Display* pDisplay = server.Ok() ? XOpenDisplay(server.Display().c_str()) : nullptr;
    if (pDisplay == nullptr) {
        std::fprintf(stderr, "bench_floor: Xvfb could not be started\n");
        return 1;
    }
    XSelectInput(pDisplay, DefaultRootWindow(pDisplay), SubstructureNotifyMask);
    CTempDir media;
    Mp3Tone tone;
    tone.dSeconds = playSeconds + 30.0;
    const std::string mp3 = media / "tone.mp3";
    if (!WriteMp3(mp3, tone)) {
        std::fprintf(stderr, "bench_floor: the MP3 could not be written\n");
        return 1;
    }
    const CTempDir copy;
    const std::string player = CopyPlayer(copy);
    if (player.empty()) {
        std::fprintf(stderr, "bench_floor: the player could not be copied\n");
        return 1;
    }
    const std::string beside = ProgramPath();
    Program programs[] = {
        {"sorvane", player, {"--play"}, {}},
        {"floor", beside.substr(0, beside.rfind('/') + 1) + "bench_floor_player", {}, {}}};
    for (int run = 0; run < runs; ++run) {
        for (Program& program : programs) {
            if (!MeasureIdle(pDisplay, program, server.Display()) ||
                !MeasurePlay(pDisplay, program, server.Display(), mp3, playSeconds,
                             run < cpuRuns)) {
                std::fprintf(stderr, "bench_floor: %s did not start (run %d)\n", program.name,
                             run + 1);
                return 1;
            }
        }
    }
    XCloseDisplay(pDisplay);
    std::printf("medians over %d runs (cpu over %d runs of %d s)\n", runs, std::min(runs, cpuRuns),
                playSeconds);
    std::printf("%-8s %10s %10s %10s %10s\n", "", "window ms", "ready ms", "idle MiB", "cpu s");
    for (const Program& program : programs) {
        const Figures& f = program.figures;
        std::printf("%-8s %10.1f %10.1f %10.1f %10.3f\n", program.name, Median(f.windowMs),
                    Median(f.readyMs), Median(f.idleMiB), Median(f.cpuSeconds));
    }
    const Figures& s = programs[0].figures;
    const Figures& f = programs[1].figures;
    const double floorCpu = Median(f.cpuSeconds);
    std::printf("%-8s %+10.1f %+10.1f %+10.1f %9.2fx\n", "gap",
                Median(s.windowMs) - Median(f.windowMs), Median(s.readyMs) - Median(f.readyMs),
                Median(s.idleMiB) - Median(f.idleMiB),
                floorCpu > 0 ? Median(s.cpuSeconds) / floorCpu : 0.0);
    return 0;
}
