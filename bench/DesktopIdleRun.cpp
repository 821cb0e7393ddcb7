// What the player costs the desktop while nothing happens, and how fast it answers the bus:
// the real program under a private X server (Xvfb) on the session bus of this process.
//
//   dbus-run-session -- bench_desktop_idle [seconds]
//
// 1. Idle with nothing open: processor time of the player and of its X server over
//    [seconds] (30 by default), as a share of one core.
// 2. The same while a bus client asks for Position once a second, as desktop panels do.
// 3. While a file plays: the round trip of 200 bus method calls (Get Position, then
//    PlayPause twice), median and 95th percentile.

#include "app/SorvaneApp.h"
#include "bench/PlayerProcess.h"
#include "tests/app/XvfbServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.sorvane");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

pid_t StartPlayer(const std::string& program, const std::string& display, const CTempDir& dir,
                  std::vector<std::string> args)
{
    std::vector<std::string> env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                                    "SDL_AUDIODRIVER=dummy", "XDG_CONFIG_HOME=" + (dir / "config"),
                                    "HOME=" + dir.Path()};
    for (const char* keep : {"PATH", "LANG", "LC_ALL", "DBUS_SESSION_BUS_ADDRESS"})
        if (const char* value = std::getenv(keep))
            env.push_back(std::string(keep) + "=" + value);
    return SpawnPlayer(program, std::move(args), std::move(env));
}

bool WaitForService(QDBusConnection& bus)
{
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(30)) {
        if (bus.interface()->isServiceRegistered(kService).value())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

QDBusMessage GetPosition()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << kPlayer << QStringLiteral("Position");
    return call;
}

// Player and X server processor time over seconds, in percent of one core; with bPoll a bus
// client asks for Position once a second meanwhile.
void MeasureIdle(QDBusConnection& bus, pid_t player, pid_t server, int seconds, bool bPoll,
                 const char* label)
{
    // The start's last work (fonts, the first paints) can trail on a loaded machine.
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double playerBefore = CpuSeconds(player);
    const double serverBefore = CpuSeconds(server);
    for (int s = 0; s < seconds; ++s) {
        if (bPoll)
            bus.call(GetPosition());
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    const double playerUsed = CpuSeconds(player) - playerBefore;
    const double serverUsed = CpuSeconds(server) - serverBefore;
    std::printf("%s over %d s: player %.2f s (%.3f %% of one core), X server %.2f s (%.3f %%)\n",
                label, seconds, playerUsed, 100.0 * playerUsed / seconds, serverUsed,
                100.0 * serverUsed / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "no session bus: run under dbus-run-session\n");
        return 1;
    }
    CXvfbServer server;
    if (!server.Ok()) {
        std::fprintf(stderr, "Xvfb could not be started\n");
        return 1;
    }
    const std::string program = ProgramPath();
    CTempDir dir;

    pid_t player = StartPlayer(program, server.Display(), dir, {});
    if (player == 0 || !WaitForService(bus)) {
        std::fprintf(stderr, "the player did not come onto the bus\n");
        return 1;
    }
    MeasureIdle(bus, player, server.Pid(), seconds, false, "idle, nothing open");
    MeasureIdle(bus, player, server.Pid(), seconds, true, "idle, Position polled every second");
    StopPlayer(player);

    WavTone tone;
    tone.nRate = 44100;
    tone.nFrames = 44100U * 600U;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));
    player = StartPlayer(program, server.Display(), dir, {"--play", wav});
    if (player == 0 || !WaitForService(bus)) {
        std::fprintf(stderr, "the playing player did not come onto the bus\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
        const QDBusMessage call = i % 20 < 18
                                      ? GetPosition()
                                      : QDBusMessage::createMethodCall(kService, kPath, kPlayer,
                                                                       QStringLiteral("PlayPause"));
        const auto start = Clock::now();
        const QDBusMessage reply = bus.call(call);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (reply.type() != QDBusMessage::ReplyMessage) {
            std::fprintf(stderr, "a call failed: %s\n", qPrintable(reply.errorMessage()));
            StopPlayer(player);
            return 1;
        }
    }
    StopPlayer(player);
    std::sort(ms.begin(), ms.end());
    std::printf("bus method round trip while playing, 200 calls (Get Position, PlayPause): "
                "median %.2f ms, 95th percentile %.2f ms, max %.2f ms\n",
                ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
    return 0;
}
