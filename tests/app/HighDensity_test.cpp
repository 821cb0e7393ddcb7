#include "tests/app/AppTest.h"
#include "tests/app/XvfbServer.h"

#include <QImage>

#include "tests/app/X11Windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <sys/prctl.h>

#include <csignal>

namespace {

// Windows may go away while the test looks at them; that is no error of the test's.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The real program on a private X server at a given QT_SCALE_FACTOR, and what its window
// shows there, read back from the server.
class HighDensity : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_server.Ok())
            GTEST_SKIP() << "Xvfb could not be started";
        m_pDisplay = XOpenDisplay(m_server.Display().c_str());
        ASSERT_NE(m_pDisplay, nullptr);
        m_pPreviousHandler = XSetErrorHandler(IgnoreXError);
        m_strProgram = CopyProgram(m_dir.Path());
        ASSERT_FALSE(m_strProgram.empty());
    }

    void TearDown() override
    {
        if (m_pDisplay != nullptr) {
            XCloseDisplay(m_pDisplay);
            XSetErrorHandler(m_pPreviousHandler);
        }
    }

    // The player's mapped top-level window; None while there is none.
    Window PlayerWindow() const { return MappedTopLevel(m_pDisplay, "Sorvix"); }

    static bool OneColour(const QImage& image)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != image.pixel(0, 0))
                    return false;
        }
        return true;
    }

    QImage Grab(Window window) const
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(m_pDisplay, window, &attributes);
        XImage* pImage =
            XGetImage(m_pDisplay, window, 0, 0, static_cast<unsigned>(attributes.width),
                      static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
        QImage image(attributes.width, attributes.height, QImage::Format_RGB32);
        for (int y = 0; pImage != nullptr && y < attributes.height; ++y)
            for (int x = 0; x < attributes.width; ++x)
                image.setPixel(x, y, static_cast<QRgb>(XGetPixel(pImage, x, y) & 0xFFFFFF));
        if (pImage != nullptr)
            XDestroyImage(pImage);
        return image;
    }

    // The player's window at scale factor, once it has painted and settled.
    QImage WindowAtScale(const char* factor)
    {
        QProcess player;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(m_server.Display()));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_SCALE_FACTOR", factor);
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_dir.Path()));
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        player.setProcessEnvironment(env);
        player.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        player.start(QString::fromStdString(m_strProgram), {});
        // Settled: painted (not one colour) and the same in two looks further apart than the
        // panel timer's 450 ms, however long a loaded machine takes to get there.
        QImage picture;
        QImage previous;
        QElapsedTimer timer;
        timer.start();
        while (picture.isNull() && timer.elapsed() < 60000 &&
               player.state() != QProcess::NotRunning) {
            if (const Window window = PlayerWindow(); window != None) {
                const QImage now = Grab(window);
                if (now == previous && !OneColour(now))
                    picture = now;
                previous = now;
                player.waitForFinished(600);
            } else {
                player.waitForFinished(20);
            }
        }
        player.terminate();
        player.waitForFinished(10000);
        return picture;
    }

    CXvfbServer m_server;
    Display* m_pDisplay = nullptr;
    XErrorHandler m_pPreviousHandler = nullptr;
    CTempDir m_dir;
    std::string m_strProgram;
};

// Catches panel text, glyphs, bitmaps or border drawn at the screen's resolution (smooth
// or thin) instead of as whole 2x2 blocks of the design's pixels.
TEST_F(HighDensity, ATwiceDenseScreenShowsEveryDesignPixelAsA2x2Block)
{
    const QImage single = WindowAtScale("1");
    ASSERT_FALSE(single.isNull());
    const QImage dense = WindowAtScale("2");
    EXPECT_EQ(dense,
              single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// Catches a fractional scale passed on to Qt, which blurs every picture.
TEST_F(HighDensity, AFractionalScaleIsRoundedToAWholeOne)
{
    const QImage single = WindowAtScale("1");
    ASSERT_FALSE(single.isNull());
    EXPECT_EQ(WindowAtScale("1.5").size(), single.size() * 2);
    EXPECT_EQ(WindowAtScale("1.25").size(), single.size());
}

} // namespace
