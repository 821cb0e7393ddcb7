// The real program's start-up on the two platforms of a Wayland desktop: how long from
// starting the process until its window is mapped on an X server (Xvfb, as XWayland serves
// it) and natively on a headless Wayland compositor (weston), so that running on X costs no
// more than running natively. Mapped means the X server's MapNotify of the window, and on
// Wayland the first commit of the window's surface with a buffer (read from the client's
// WAYLAND_DEBUG trace), each platform's own moment of a window coming on the screen.
//
//   bench_platform_start [runs]
//
// The player runs from the bin/ directory beside this program, on SDL's dummy sound driver,
// with its settings file and profile in a temporary directory.

#include "bench/PlayerProcess.h"
#include "tests/app/XvfbServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/WestonServer.h"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The longest a start may take before the run counts as failed.
constexpr int kTimeoutMs = 30000;

// Starts the player with env added to PATH and the sound and settings variables; its
// standard error goes to errFd (-1: nowhere).
pid_t StartPlayer(const CTempDir& dir, std::vector<std::string> env, int errFd)
{
    env.push_back("SDL_AUDIODRIVER=dummy");
    env.push_back("XDG_CONFIG_HOME=" + (dir / "config"));
    env.push_back("HOME=" + dir.Path());
    for (const char* keep : {"PATH", "LANG", "LC_ALL"})
        if (const char* value = std::getenv(keep))
            env.push_back(std::string(keep) + "=" + value);
    return SpawnPlayer(ProgramPath(), {}, std::move(env), errFd);
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Milliseconds from the start to the X server's first MapNotify of a normal window; < 0 on
// failure.
double StartOnX(const CXvfbServer& server, Display* pDisplay, const CTempDir& dir)
{
    XSelectInput(pDisplay, DefaultRootWindow(pDisplay), SubstructureNotifyMask);
    XSync(pDisplay, True);
    const Clock::time_point start = Clock::now();
    const pid_t pid = StartPlayer(dir, {"DISPLAY=" + server.Display(), "QT_QPA_PLATFORM=xcb"}, -1);
    double result = -1;
    while (pid > 0 && result < 0 && Ms(Clock::now() - start) < kTimeoutMs) {
        pollfd pfd{ConnectionNumber(pDisplay), POLLIN, 0};
        if (XPending(pDisplay) == 0)
            ::poll(&pfd, 1, 100);
        while (XPending(pDisplay) > 0) {
            XEvent event{};
            XNextEvent(pDisplay, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect && result < 0)
                result = Ms(Clock::now() - start);
        }
    }
    if (pid > 0)
        StopPlayer(pid);
    return result;
}

// Milliseconds from the start to the first commit of a surface with a buffer attached, as the
// client's protocol trace shows it; < 0 on failure.
double StartOnWayland(const CWestonServer& server, const std::string& runtime, const CTempDir& dir)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const Clock::time_point start = Clock::now();
    const pid_t pid =
        StartPlayer(dir,
                    {"WAYLAND_DISPLAY=" + server.Socket(), "XDG_RUNTIME_DIR=" + runtime,
                     "QT_QPA_PLATFORM=wayland", "WAYLAND_DEBUG=client"},
                    fds[1]);
    ::close(fds[1]);
    std::string pending;
    std::string surface;
    double result = -1;
    while (pid > 0 && result < 0 && Ms(Clock::now() - start) < kTimeoutMs) {
        pollfd pfd{fds[0], POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end = 0;
        while (result < 0 && (end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            // " -> wl_surface@12.attach(wl_buffer@30, 0, 0)", then " -> wl_surface@12.commit()".
            const std::size_t at = line.find("-> wl_surface@");
            if (at == std::string::npos)
                continue;
            const std::size_t dot = line.find('.', at);
            const std::string id = line.substr(at + 3, dot - at - 3);
            if (line.find(".attach(wl_buffer@", at) != std::string::npos)
                surface = id;
            else if (id == surface && line.find(".commit()", at) != std::string::npos)
                result = Ms(Clock::now() - start);
        }
    }
    if (pid > 0)
        StopPlayer(pid);
    ::close(fds[0]);
    return result;
}

void Report(const char* what, std::vector<double> times)
{
    if (times.empty()) {
        std::printf("%s: no run succeeded\n", what);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s over %zu runs: median %.1f ms, min %.1f ms, max %.1f ms\n", what, times.size(),
                times[times.size() / 2], times.front(), times.back());
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    CTempDir dir;
    const std::string runtime = dir / "runtime";
    ::mkdir(runtime.c_str(), 0700);
    const CXvfbServer xServer;
    const CWestonServer compositor(runtime);
    Display* pDisplay = xServer.Ok() ? XOpenDisplay(xServer.Display().c_str()) : nullptr;
    if (pDisplay == nullptr || !compositor.Ok()) {
        std::fprintf(stderr, "bench_platform_start: Xvfb or weston could not be started\n");
        return 1;
    }
    std::vector<double> onX;
    std::vector<double> onWayland;
    // Alternating, so that a change in the machine's load falls on both alike.
    for (int i = 0; i < runs; ++i) {
        if (const double ms = StartOnX(xServer, pDisplay, dir); ms >= 0)
            onX.push_back(ms);
        if (const double ms = StartOnWayland(compositor, runtime, dir); ms >= 0)
            onWayland.push_back(ms);
    }
    XCloseDisplay(pDisplay);
    Report("Start to a mapped window on X (Xvfb)", onX);
    Report("Start to a mapped window natively on Wayland (weston)", onWayland);
    return 0;
}
