#include "tests/app/AppTest.h"
#include "tests/app/TestSessionBus.h"
#include "tests/app/XvfbServer.h"

#include "tests/support/TestMedia.h"
#include "tests/support/WestonServer.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QUrl>

#include "tests/app/X11Windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <optional>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.sorvane");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

// Windows may go away while the test looks at them; that is no error of the test's.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The real program (a copy, its settings file beside it) on a desktop of the test's own: a
// private session bus, and a headless Wayland compositor, an X server or both.
class PlayerOnDesktop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        ::mkdir(m_strRuntime.c_str(), 0700);
        m_strProgram = CopyProgram(m_dir.Path());
        ASSERT_FALSE(m_strProgram.empty());
        ASSERT_TRUE(m_bus.Start()) << "no dbus-daemon";
    }

    void TearDown() override
    {
        if (m_player.state() != QProcess::NotRunning) {
            m_player.kill();
            m_player.waitForFinished(10000);
        }
        if (m_pDisplay != nullptr) {
            XCloseDisplay(m_pDisplay);
            XSetErrorHandler(m_pPreviousHandler);
        }
    }

    // Starts the compositor; false (the test skips) where weston cannot run.
    bool StartCompositor()
    {
        m_pWeston = std::make_unique<CWestonServer>(m_strRuntime);
        return m_pWeston->Ok();
    }

    // Starts the X server and opens it for the test; false where Xvfb cannot run.
    bool StartXServer()
    {
        m_pXvfb = std::make_unique<CXvfbServer>();
        if (!m_pXvfb->Ok())
            return false;
        m_pDisplay = XOpenDisplay(m_pXvfb->Display().c_str());
        m_pPreviousHandler = XSetErrorHandler(IgnoreXError);
        return m_pDisplay != nullptr;
    }

    // The desktop's environment: the player picks its platform itself.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QT_SCALE_FACTOR"})
            env.remove(name);
        env.insert("XDG_SESSION_TYPE", "wayland");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_strRuntime));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir / "config"));
        env.insert("XDG_CACHE_HOME", QString::fromStdString(m_dir / "cache"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
        if (m_pWeston != nullptr)
            env.insert("WAYLAND_DISPLAY", QString::fromStdString(m_pWeston->Socket()));
        if (m_pXvfb != nullptr)
            env.insert("DISPLAY", QString::fromStdString(m_pXvfb->Display()));
        return env;
    }

    void Run(QProcess& process, const QStringList& args) const
    {
        EndWithParent(process);
        process.setProcessEnvironment(Environment());
        process.start(QString::fromStdString(m_strProgram), args);
    }

    // Starts the player and waits until it holds its name on the bus.
    bool StartPlayer(const QStringList& args)
    {
        Run(m_player, args);
        return m_bus.WaitForName(kService, m_player);
    }

    // Ends the player as a session's end does; false when it did not end.
    bool Terminate()
    {
        m_player.terminate();
        return m_player.waitForFinished(30000) && m_player.exitStatus() == QProcess::NormalExit;
    }

    QVariant Property(const QString& name) const
    {
        QDBusInterface props(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                             m_bus.Connection());
        const QDBusReply<QDBusVariant> reply = props.call(QStringLiteral("Get"), kPlayer, name);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }

    std::string Settings() const { return CTempDir::Read(m_dir / "Sorvix.ini"); }

    std::string Wav(const std::string& name)
    {
        WavTone tone;
        tone.nRate = 8000;
        tone.nFrames = 8000U * 10;
        return m_dir.Write(name, MakeWav(tone));
    }

    // The player's mapped top-level window; None while there is none.
    Window PlayerWindow() const { return MappedTopLevel(m_pDisplay, "Sorvix"); }

    Window WaitForPlayerWindow()
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 30000 && m_player.state() != QProcess::NotRunning) {
            if (const Window window = PlayerWindow(); window != None)
                return window;
            m_player.waitForFinished(20);
        }
        return None;
    }

    QPoint WindowPlace(Window window) const
    {
        int x = 0;
        int y = 0;
        Window child = None;
        XTranslateCoordinates(m_pDisplay, window, DefaultRootWindow(m_pDisplay), 0, 0, &x, &y,
                              &child);
        return {x, y};
    }

    bool HasState(Window window, const char* state) const
    {
        const Atom wanted = XInternAtom(m_pDisplay, state, False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* pData = nullptr;
        bool bFound = false;
        if (XGetWindowProperty(m_pDisplay, window, XInternAtom(m_pDisplay, "_NET_WM_STATE", False),
                               0, 64, False, XA_ATOM, &type, &format, &count, &after,
                               &pData) == Success &&
            pData != nullptr) {
            const auto* pAtoms = reinterpret_cast<const Atom*>(pData);
            for (unsigned long i = 0; i < count; ++i)
                bFound = bFound || pAtoms[i] == wanted;
            XFree(pData);
        }
        return bFound;
    }

    CTempDir m_dir;
    std::string m_strRuntime = m_dir / "runtime";
    std::string m_strProgram;
    std::unique_ptr<CWestonServer> m_pWeston;
    std::unique_ptr<CXvfbServer> m_pXvfb;
    Display* m_pDisplay = nullptr;
    XErrorHandler m_pPreviousHandler = nullptr;
    CTestSessionBus m_bus;
    QProcess m_player;
};

// Catches a player that cannot start natively on Wayland, or whose bus service or hand-over
// to a second copy needs X11 there.
TEST_F(PlayerOnDesktop, OnWaylandAloneThePlayerAnswersTheBusAndTakesASecondCopysFiles)
{
    if (!StartCompositor())
        GTEST_SKIP() << "weston could not be started";
    const std::string first = Wav("first.wav");
    const std::string second = Wav("second.wav");
    ASSERT_TRUE(StartPlayer({"--play", QString::fromStdString(first)}))
        << m_player.readAllStandardError().toStdString();
    EXPECT_EQ(Property("PlaybackStatus").toString(), "Playing");
    QProcess other;
    Run(other, {"--enqueue", QString::fromStdString(second)});
    ASSERT_TRUE(other.waitForFinished(30000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    QDBusInterface(kService, kPath, kPlayer, m_bus.Connection()).call(QStringLiteral("Next"));
    const auto metadata = Property("Metadata").value<QDBusArgument>();
    QVariantMap map;
    metadata >> map;
    EXPECT_EQ(map.value("xesam:url").toString(),
              QUrl::fromLocalFile(QString::fromStdString(second)).toString());
    EXPECT_TRUE(Terminate());
}

// Catches the place the compositor never reported (0 0) written over the saved one, and the
// other settings left unsaved with it.
TEST_F(PlayerOnDesktop, OnWaylandAloneTheSavedPlaceStaysAndTheOtherSettingsAreSaved)
{
    if (!StartCompositor())
        GTEST_SKIP() << "weston could not be started";
    m_dir.Write("Sorvix.ini", "[REPEAT]=0\r\n[TOPMOST]=1\r\n[LAUNCHPOS]=300 200\r\n");
    ASSERT_TRUE(StartPlayer({})) << m_player.readAllStandardError().toStdString();
    QDBusInterface props(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                         m_bus.Connection());
    props.call(QStringLiteral("Set"), kPlayer, QStringLiteral("LoopStatus"),
               QVariant::fromValue(QDBusVariant(QStringLiteral("Playlist"))));
    ASSERT_TRUE(Terminate());
    const std::string settings = Settings();
    EXPECT_NE(settings.find("[LAUNCHPOS]=300 200\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("[REPEAT]=1\r\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("[TOPMOST]=1\r\n"), std::string::npos) << settings;
}

// Catches the player taking the compositor's platform although an X server beside it would
// give it its place and its stay-on-top.
TEST_F(PlayerOnDesktop, WithAnXServerBesideTheCompositorThePlayerShowsOnXAtItsPlaceOnTop)
{
    if (!StartCompositor() || !StartXServer())
        GTEST_SKIP() << "weston or Xvfb could not be started";
    m_dir.Write("Sorvix.ini", "[TOPMOST]=1\r\n[LAUNCHPOS]=300 200\r\n");
    Run(m_player, {});
    const Window window = WaitForPlayerWindow();
    ASSERT_NE(window, None) << m_player.readAllStandardError().toStdString();
    EXPECT_EQ(WindowPlace(window), QPoint(300, 200));
    EXPECT_TRUE(HasState(window, "_NET_WM_STATE_ABOVE"));
    ASSERT_TRUE(Terminate());
    EXPECT_NE(Settings().find("[LAUNCHPOS]=300 200\r\n"), std::string::npos) << Settings();
}

// Catches a place saved in Qt's scaled units and restored as screen pixels (or the other way
// round), which moves the window further at every start under a scale.
TEST_F(PlayerOnDesktop, UnderAScaleTheWindowOpensAndStaysWhereItWasSaved)
{
    if (!StartXServer())
        GTEST_SKIP() << "Xvfb could not be started";
    m_dir.Write("Sorvix.ini", "[LAUNCHPOS]=100 100\r\n");
    for (const char* factor : {"2", "1.5", "2"}) {
        QProcessEnvironment env = Environment();
        env.insert("QT_SCALE_FACTOR", factor);
        EndWithParent(m_player);
        m_player.setProcessEnvironment(env);
        m_player.start(QString::fromStdString(m_strProgram), {});
        const Window window = WaitForPlayerWindow();
        ASSERT_NE(window, None) << factor;
        EXPECT_EQ(WindowPlace(window), QPoint(100, 100)) << factor;
        ASSERT_TRUE(Terminate()) << factor;
        EXPECT_NE(Settings().find("[LAUNCHPOS]=100 100\r\n"), std::string::npos)
            << factor << Settings();
    }
}

} // namespace
