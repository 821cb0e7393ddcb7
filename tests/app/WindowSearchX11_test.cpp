#include "tests/app/AppTest.h"
#include "tests/app/XvfbServer.h"

#include "app/WindowSearch.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

namespace {

// Windows of "another program" on a private X server, made with Xlib.
class WindowSearchX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_server.Ok())
            GTEST_SKIP() << "Xvfb could not be started; the X11 window search is not tested";
        m_pDisplay = XOpenDisplay(m_server.Display().c_str());
        ASSERT_NE(m_pDisplay, nullptr);
    }

    void TearDown() override
    {
        if (m_pDisplay != nullptr)
            XCloseDisplay(m_pDisplay);
    }

    Window MakeWindow(Window parent = None)
    {
        const Window window =
            XCreateSimpleWindow(m_pDisplay, parent == None ? DefaultRootWindow(m_pDisplay) : parent,
                                10, 10, 50, 40, 0, 0, 0);
        XSync(m_pDisplay, False);
        return window;
    }

    void SetWmName(Window window, const char* name)
    {
        XStoreName(m_pDisplay, window, name);
        XSync(m_pDisplay, False);
    }

    void SetNetWmName(Window window, const std::string& name)
    {
        XChangeProperty(m_pDisplay, window, XInternAtom(m_pDisplay, "_NET_WM_NAME", False),
                        XInternAtom(m_pDisplay, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(name.data()),
                        static_cast<int>(name.size()));
        XSync(m_pDisplay, False);
    }

    bool IsShown(Window window)
    {
        XWindowAttributes attributes{};
        XSync(m_pDisplay, False);
        return XGetWindowAttributes(m_pDisplay, window, &attributes) != 0 &&
               attributes.map_state == IsViewable;
    }

    std::unique_ptr<CFoundWindow> Find(const std::string& title)
    {
        return FindX11Window(m_server.Display().c_str(), title);
    }

    CXvfbServer m_server;
    Display* m_pDisplay = nullptr;
};

TEST_F(WindowSearchX11, AHiddenWindowOfAnyProgramTitledSorvixIsFoundAndShown)
{
    const Window window = MakeWindow();
    SetWmName(window, "Sorvix");
    ASSERT_FALSE(IsShown(window));
    std::unique_ptr<CFoundWindow> pFound = Find("Sorvix");
    ASSERT_NE(pFound, nullptr);
    EXPECT_TRUE(pFound->ShowNormal());
    EXPECT_TRUE(IsShown(window));
}

TEST_F(WindowSearchX11, TheUtf8NameAloneIsEnough)
{
    const Window window = MakeWindow();
    SetNetWmName(window, "Sorvix");
    std::unique_ptr<CFoundWindow> pFound = Find("Sorvix");
    ASSERT_NE(pFound, nullptr);
    pFound->ShowNormal();
    EXPECT_TRUE(IsShown(window));
}

TEST_F(WindowSearchX11, OnlyTheExactTitleCounts)
{
    for (const char* title : {"sorvix", "Sorvix ", "Sorvixx", "Sorvi", "Sorvane"})
        SetWmName(MakeWindow(), title);
    EXPECT_EQ(Find("Sorvix"), nullptr);
}

TEST_F(WindowSearchX11, AClientInsideAWindowManagersFrameIsFound)
{
    const Window frame = MakeWindow();
    XMapWindow(m_pDisplay, frame);
    const Window client = MakeWindow(frame);
    SetWmName(client, "Sorvix");
    const long state[] = {1, 0};
    const Atom wmState = XInternAtom(m_pDisplay, "WM_STATE", False);
    XChangeProperty(m_pDisplay, client, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state), 2);
    ASSERT_FALSE(IsShown(client));
    std::unique_ptr<CFoundWindow> pFound = Find("Sorvix");
    ASSERT_NE(pFound, nullptr);
    pFound->ShowNormal();
    EXPECT_TRUE(IsShown(client));
}

TEST_F(WindowSearchX11, AWindowThatGoesAwayMeanwhileDoesNotDisturbTheSearch)
{
    for (int i = 0; i < 50; ++i)
        SetWmName(MakeWindow(), "other");
    const Window window = MakeWindow();
    SetWmName(window, "Sorvix");
    std::unique_ptr<CFoundWindow> pFound = Find("Sorvix");
    ASSERT_NE(pFound, nullptr);
    XDestroyWindow(m_pDisplay, window);
    XSync(m_pDisplay, False);
    pFound->ShowNormal();
}

TEST(WindowSearchWithoutX, WithoutAnXServerNothingIsFound)
{
    EXPECT_EQ(FindX11Window(":65000", "Sorvix"), nullptr);
}

// The real program twice on the private X server.
class RunningPlayerX11 : public WindowSearchX11
{
protected:
    void SetUp() override
    {
        WindowSearchX11::SetUp();
        if (IsSkipped())
            return;
        EnsureQtApplication();
        m_strProgram = CopyProgram(m_dir.Path());
        ASSERT_FALSE(m_strProgram.empty());
        // A notification area on the server, as a desktop's panel holds one: the player
        // hides its window only where a tray icon can bring it back.
        XSetSelectionOwner(m_pDisplay, XInternAtom(m_pDisplay, "_NET_SYSTEM_TRAY_S0", False),
                           MakeWindow(), CurrentTime);
        XSync(m_pDisplay, False);
    }

    void TearDown() override
    {
        if (m_first.state() != QProcess::NotRunning) {
            m_first.terminate();
            m_first.waitForFinished(10000);
        }
        WindowSearchX11::TearDown();
    }

    void StartPlayer(QProcess& process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", QString::fromStdString(m_server.Display()));
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir / "config"));
        // The X server's tray alone, not one on the machine's session bus.
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(m_strProgram), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    // The top-level window titled Sorvix, or None.
    Window PlayerWindow()
    {
        Window root = None;
        Window parent = None;
        Window* pChildren = nullptr;
        unsigned count = 0;
        Window found = None;
        XSync(m_pDisplay, False);
        if (XQueryTree(m_pDisplay, DefaultRootWindow(m_pDisplay), &root, &parent, &pChildren,
                       &count) != 0) {
            for (unsigned i = 0; i < count && found == None; ++i) {
                char* pName = nullptr;
                if (XFetchName(m_pDisplay, pChildren[i], &pName) != 0 && pName != nullptr) {
                    found = std::string(pName) == "Sorvix" ? pChildren[i] : None;
                    XFree(pName);
                }
            }
        }
        if (pChildren != nullptr)
            XFree(pChildren);
        return found;
    }

    static bool Eventually(const std::function<bool()>& condition, int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    // A double click of the left button on the window's top-left pixel, its border.
    void DoubleClickBorder(Window window)
    {
        for (Time time : {Time{100000}, Time{100100}}) {
            time += m_nextTime;
            for (int type : {ButtonPress, ButtonRelease}) {
                XEvent event{};
                event.xbutton.type = type;
                event.xbutton.window = window;
                event.xbutton.root = DefaultRootWindow(m_pDisplay);
                event.xbutton.time = time + (type == ButtonRelease ? 10 : 0);
                event.xbutton.button = Button1;
                event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
                event.xbutton.same_screen = True;
                XSendEvent(m_pDisplay, window, False, 0, &event);
            }
        }
        m_nextTime += 10000;
        XSync(m_pDisplay, False);
    }

    CTempDir m_dir;
    std::string m_strProgram;
    QProcess m_first;
    Time m_nextTime = 0;
};

TEST_F(RunningPlayerX11, ASecondCopyShowsTheFirstsHiddenWindowAndEnds)
{
    StartPlayer(m_first);
    Window window = None;
    ASSERT_TRUE(Eventually([&] { return (window = PlayerWindow()) != None && IsShown(window); }))
        << "the first player did not show its window";

    DoubleClickBorder(window);
    ASSERT_TRUE(Eventually([&] { return !IsShown(window); }))
        << "a double click on the border did not hide the player";

    QProcess second;
    StartPlayer(second);
    ASSERT_TRUE(second.waitForFinished(60000)) << "the second copy did not end";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(Eventually([&] { return IsShown(window); }));

    // The first player knows it is shown again: the border hides it once more.
    QThread::msleep(200);
    DoubleClickBorder(window);
    EXPECT_TRUE(Eventually([&] { return !IsShown(window); }));
    EXPECT_EQ(m_first.state(), QProcess::Running);
}

} // namespace
