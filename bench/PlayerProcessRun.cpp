// The real program under a private X server (Xvfb): how long from starting the process until
// its window is on the screen with the display panel painted, and how much processor time
// the idle player (nothing playing, the panel timer ticking) takes over 30 seconds; then how
// long "sorvane --play FILE" takes to a mapped window, and the processor time per minute and
// the peak memory of playing an MP3 that way. The idle player's resident memory is given too.
//
//   bench_player_process [runs] [idle-seconds] [play-seconds]
//
// The player runs from the bin/ directory beside this program, on SDL's dummy sound driver,
// with its settings file and profile in a temporary directory. Run under dbus-run-session to
// measure the idle player with its MPRIS service on the bus.

#include "app/SorvaneApp.h"
#include "bench/PlayerProcess.h"
#include "tests/app/XvfbServer.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The display panel's background colour (the default settings) as X pixel values.
constexpr unsigned long kLedPixel = 0xF7FFE7;

pid_t StartPlayer(const std::string& program, const std::string& display, const CTempDir& dir,
                  const std::string& playFile = {})
{
    std::vector<std::string> env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                    "SDL_AUDIODRIVER=dummy", "XDG_CONFIG_HOME=" + (dir / "config"),
                                    "HOME=" + dir.Path()};
    for (const char* keep :
         {"PATH", "LANG", "LC_ALL", "LC_MESSAGES", "SORVANE_LANG", "DBUS_SESSION_BUS_ADDRESS"})
        if (const char* value = std::getenv(keep))
            env.push_back(std::string(keep) + "=" + value);
    std::vector<std::string> args;
    if (!playFile.empty())
        args = {"--play", playFile};
    return SpawnPlayer(program, std::move(args), std::move(env));
}

// A window may go away while it is looked at (a player just stopped); that is no error here.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The player's window when it is on the screen and its panel shows the panel's background
// (only mapped when bMappedOnly: a playing title may cover the panel's point).
bool PanelPainted(Display* pDisplay, bool bMappedOnly = false)
{
    Window root = None;
    Window parent = None;
    Window* pChildren = nullptr;
    unsigned count = 0;
    bool bPainted = false;
    if (XQueryTree(pDisplay, DefaultRootWindow(pDisplay), &root, &parent, &pChildren, &count) == 0)
        return false;
    for (unsigned i = 0; i < count && !bPainted; ++i) {
        char* pName = nullptr;
        if (XFetchName(pDisplay, pChildren[i], &pName) == 0 || pName == nullptr)
            continue;
        const bool bPlayer = std::string(pName) == CSorvaneApp::kMainWindowTitle;
        XFree(pName);
        XWindowAttributes attributes{};
        if (!bPlayer || XGetWindowAttributes(pDisplay, pChildren[i], &attributes) == 0 ||
            attributes.map_state != IsViewable)
            continue;
        if (bMappedOnly) {
            bPainted = true;
            break;
        }
        // A point of the panel clear of the marker and the time: client (40, 5), 3 px inside.
        XImage* pImage = XGetImage(pDisplay, pChildren[i], 43, 8, 1, 1, AllPlanes, ZPixmap);
        if (pImage != nullptr) {
            bPainted = (XGetPixel(pImage, 0, 0) & 0xFFFFFF) == kLedPixel;
            XDestroyImage(pImage);
        }
    }
    XFree(pChildren);
    return bPainted;
}

// A memory figure of a process's status ("VmHWM:" the peak, "VmRSS:" the resident memory
// now), in KiB; 0 when unknown.
long StatusKiB(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + field.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    const int playSeconds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 60;
    CXvfbServer server;
    if (!server.Ok()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    Display* pDisplay = XOpenDisplay(server.Display().c_str());
    if (pDisplay == nullptr) {
        std::fprintf(stderr, "the X server %s cannot be reached\n", server.Display().c_str());
        return 1;
    }
    XSetErrorHandler(IgnoreXError);
    const std::string program = ProgramPath();
    CTempDir dir;

    std::vector<double> startMs;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t pid = StartPlayer(program, server.Display(), dir);
        if (pid == 0) {
            std::fprintf(stderr, "%s cannot be started\n", program.c_str());
            return 1;
        }
        while (!PanelPainted(pDisplay)) {
            if (Clock::now() - start > std::chrono::seconds(30)) {
                std::fprintf(stderr, "the player showed no painted window in 30 s\n");
                StopPlayer(pid);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        startMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        StopPlayer(pid);
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("start-up to the first painted window over %d runs: median %.1f ms, min %.1f ms, "
                "max %.1f ms\n",
                runs, startMs[startMs.size() / 2], startMs.front(), startMs.back());

    const pid_t pid = StartPlayer(program, server.Display(), dir);
    while (!PanelPainted(pDisplay))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double used = CpuSeconds(pid) - before;
    const long residentKiB = StatusKiB(pid, "VmRSS:");
    StopPlayer(pid);
    std::printf("idle player over %d s: %.2f s of processor time, %.3f %% of one core, "
                "%ld KiB resident\n",
                idleSeconds, used, 100.0 * used / idleSeconds, residentKiB);

    Mp3Tone tone;
    tone.dSeconds = playSeconds + 30.0;
    const std::string mp3 = dir / "tone.mp3";
    if (!WriteMp3(mp3, tone)) {
        std::fprintf(stderr, "the MP3 could not be written\n");
        return 1;
    }
    std::vector<double> playMs;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t player = StartPlayer(program, server.Display(), dir, mp3);
        while (!PanelPainted(pDisplay, true)) {
            if (Clock::now() - start > std::chrono::seconds(30)) {
                std::fprintf(stderr, "the player showed no window in 30 s\n");
                StopPlayer(player);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        playMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (run + 1 < runs) {
            StopPlayer(player);
            continue;
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double playBefore = CpuSeconds(player);
        std::this_thread::sleep_for(std::chrono::seconds(playSeconds));
        const double playUsed = CpuSeconds(player) - playBefore;
        const long peak = StatusKiB(player, "VmHWM:");
        StopPlayer(player);
        std::sort(playMs.begin(), playMs.end());
        std::printf("--play MP3 to a mapped window over %d runs: median %.1f ms, min %.1f ms, "
                    "max %.1f ms\n",
                    runs, playMs[playMs.size() / 2], playMs.front(), playMs.back());
        std::printf("playing the MP3 for %d s: %.2f s of processor time, %.2f s per minute "
                    "(%.2f %% of one core); peak memory %.1f MiB\n",
                    playSeconds, playUsed, playUsed * 60.0 / playSeconds,
                    100.0 * playUsed / playSeconds, static_cast<double>(peak) / 1024.0);
    }
    XCloseDisplay(pDisplay);
    return 0;
}
