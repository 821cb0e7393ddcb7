// The player's user interface under a storm of bus calls: the player runs in this process
// (Qt's offscreen platform, SDL's dummy sound driver) on a private session bus, playing a WAV
// file, while a client thread sends calls (Next, Previous, PlayPause, Seek, SetPosition,
// OpenUri, property reads) as fast as it can and then waits for one last answer. A 10 ms
// timer on the user-interface thread records the longest gap between its ticks: the worst
// stall a user would see. Prints that, the calls a second and the resident memory.
//
//   bench_bus_storm [calls]

#include "app/MprisService.h"
#include "app/SorvaneApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QTimer>
#include <QUrl>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

// A private session bus daemon; its address, empty when it did not start.
std::string StartBus(pid_t& pid)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const std::string fd = std::to_string(fds[1]);
    const std::string print = "--print-address=" + fd;
    const char* argv[] = {"dbus-daemon", "--session",   "--nofork",
                          "--nopidfile", print.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const int error = posix_spawnp(&pid, "dbus-daemon", &actions, nullptr,
                                   const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string address;
    pollfd pfd{fds[0], POLLIN, 0};
    while (error == 0 && ::poll(&pfd, 1, 10000) > 0) {
        char c = 0;
        if (::read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        address += c;
    }
    ::close(fds[0]);
    return address;
}

long ResidentKiB()
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE) / 1024;
}

QDBusMessage StormCall(int i, const QString& uri)
{
    const QString service = QString::fromUtf8(CMprisService::kServiceName);
    const QString path = QString::fromUtf8(CMprisService::kObjectPath);
    const QString player = QStringLiteral("org.mpris.MediaPlayer2.Player");
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
    QDBusMessage call;
    switch (i % 10) {
    case 0:
        return QDBusMessage::createMethodCall(service, path, player, "Next");
    case 1:
        return QDBusMessage::createMethodCall(service, path, player, "Previous");
    case 2:
        return QDBusMessage::createMethodCall(service, path, player, "PlayPause");
    case 3:
        call = QDBusMessage::createMethodCall(service, path, player, "Seek");
        call << qlonglong{(i % 20 == 3 ? 1 : -1) * 5'000'000LL};
        return call;
    case 4:
        call = QDBusMessage::createMethodCall(service, path, player, "SetPosition");
        call << QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/track/0"))
             << qlonglong{1'000'000};
        return call;
    case 5:
        call = QDBusMessage::createMethodCall(service, path, player, "OpenUri");
        call << (i % 20 == 5 ? uri : QStringLiteral("http://example.invalid/a.mp3"));
        return call;
    case 6:
        call = QDBusMessage::createMethodCall(service, path, props, "GetAll");
        call << player;
        return call;
    default:
        call = QDBusMessage::createMethodCall(service, path, props, "Get");
        call << player << (i % 2 == 0 ? QStringLiteral("Position") : QStringLiteral("Metadata"));
        return call;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int nCalls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    pid_t busPid = 0;
    const std::string address = StartBus(busPid);
    if (address.empty()) {
        std::fprintf(stderr, "bench_bus_storm: no dbus-daemon\n");
        return 1;
    }
    const CTempDir dir;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000 * 600;
    const std::string wav = dir.Write("tone.wav", MakeWav(tone));

    QApplication qtApp(argc, argv);
    CSorvaneApp app;
    app.m_settings.UseFile(dir / "Sorvix.ini");
    app.SetArguments({"--play", wav});
    if (app.InitInstance() == 0) {
        std::fprintf(stderr, "bench_bus_storm: the player did not start\n");
        return 1;
    }

    QElapsedTimer sinceTick;
    qint64 worstGapMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { worstGapMs = std::max(worstGapMs, sinceTick.restart()); });
    std::atomic<bool> bAnswered{false};
    qint64 sendMs = 0;
    qint64 answerMs = 0;
    const long rssBefore = ResidentKiB();
    const QString uri = QUrl::fromLocalFile(QString::fromStdString(wav)).toString();
    std::thread client([&] {
        QDBusConnection bus =
            QDBusConnection::connectToBus(QString::fromStdString(address), QStringLiteral("storm"));
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < nCalls; ++i)
            bus.send(StormCall(i, uri));
        sendMs = timer.elapsed();
        QDBusMessage last = StormCall(7, uri);
        bAnswered = bus.call(last, QDBus::Block, 600000).type() == QDBusMessage::ReplyMessage;
        answerMs = timer.elapsed();
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    sinceTick.start();
    ticker.start(10);
    QApplication::exec();
    client.join();
    QDBusConnection::disconnectFromBus(QStringLiteral("storm"));
    const long rssAfter = ResidentKiB();

    std::printf("%d calls sent in %lld ms, all answered after %lld ms (%.0f calls/s)%s\n", nCalls,
                static_cast<long long>(sendMs), static_cast<long long>(answerMs),
                answerMs > 0 ? 1000.0 * nCalls / static_cast<double>(answerMs) : 0.0,
                bAnswered ? "" : " -- NO ANSWER");
    std::printf("worst user-interface stall: %lld ms (10 ms timer)\n",
                static_cast<long long>(worstGapMs));
    std::printf("resident memory: %ld KiB before, %ld KiB after (%+ld KiB)\n", rssBefore, rssAfter,
                rssAfter - rssBefore);
    app.CloseAllDocuments();
    app.ExitInstance();
    ::kill(busPid, SIGTERM);
    ::waitpid(busPid, nullptr, 0);
    return bAnswered ? 0 : 1;
}
