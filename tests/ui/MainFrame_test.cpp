#include "ui/MainFrame.h"

#include "dialogs/WindowSystem.h"
#include "ui/Layout.h"

#include "tests/ui/UiTestSupport.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainFrame : public ::testing::Test
{
protected:
    void SetUp() override { EnsureQtApplication(); }

    std::unique_ptr<CMainFrame> MakeFrame()
    {
        auto frame = std::make_unique<CMainFrame>(m_settings);
        EXPECT_TRUE(frame->Create());
        return frame;
    }

    CPlayerSettings m_settings;
    // An X11 desktop with a tray, whatever desktop the test runs on.
    CWindowSystemForTest m_windowSystem{true, true};
};

TEST_F(MainFrame, OuterSizeFollowsTheLayout)
{
    const int layouts[] = {0, 1, 2, 5, -1};
    const QSize sizes[] = {{64, 100}, {40, 187}, {172, 53}, {64, 100}, {64, 100}};
    for (int i = 0; i < 5; ++i) {
        m_settings.Set(SK_LAYOUT, layouts[i]);
        auto frame = MakeFrame();
        EXPECT_EQ(frame->size(), sizes[i]) << layouts[i];
    }
}

TEST_F(MainFrame, CreationDescribesABorderedToolWindowWithoutName)
{
    m_settings.SetLaunchPos(-300, 4000);
    CMainFrame frame(m_settings);
    CREATESTRUCT cs;
    cs.lpszName = "Sorvane";
    cs.style = WS_OVERLAPPEDWINDOW;
    ASSERT_TRUE(frame.PreCreateWindow(cs));
    EXPECT_EQ(cs.style, 0x10880000u);
    EXPECT_EQ(cs.dwExStyle, 0x80u);
    EXPECT_TRUE(cs.lpszName.empty());
    EXPECT_EQ(cs.x, -300);
    EXPECT_EQ(cs.y, 4000);
}

TEST_F(MainFrame, TopmostSettingMakesATopmostFrame)
{
    m_settings.Set(SK_TOPMOST, 1);
    auto topmost = MakeFrame();
    EXPECT_TRUE(topmost->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    m_settings.Set(SK_TOPMOST, 0);
    auto normal = MakeFrame();
    EXPECT_FALSE(normal->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(normal->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(normal->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
}

TEST_F(MainFrame, SetTopmostChangesTheBandAndKeepsPlaceAndVisibility)
{
    m_settings.SetLaunchPos(120, 80);
    auto frame = MakeFrame();
    ASSERT_TRUE(frame->isVisible());
    frame->SetTopmost(true);
    EXPECT_TRUE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->pos(), QPoint(120, 80));
    frame->SetTopmost(false);
    EXPECT_FALSE(frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(MainFrame, AMinimisedFrameComesBackAtOnce)
{
    // Catches a window manager that minimises the player with its dialog leaving a window
    // without title bar or taskbar entry that only a second start brings back.
    auto frame = MakeFrame();
    frame->setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_FALSE(frame->isMinimized());
}

TEST_F(MainFrame, AHiddenFrameKeepsThePlaceItHadWhenItHid)
{
    // Catches the launch position read from a window out of the window manager's frame,
    // which a reparenting window manager can leave at (0, 0).
    auto frame = MakeFrame();
    frame->move(50, 60);
    frame->hide();
    frame->move(0, 0);
    frame.reset();
    EXPECT_EQ(m_settings.GetLaunchPos().x, 50);
    EXPECT_EQ(m_settings.GetLaunchPos().y, 60);
}

TEST_F(MainFrame, BorderIsTheButtonColourHalved)
{
    EXPECT_EQ(CMainFrame::BorderColor(0xFFC8B4), RGB(90, 100, 127));
    EXPECT_EQ(CMainFrame::BorderColor(0xFFFFFF), RGB(127, 127, 127));
    EXPECT_EQ(CMainFrame::BorderColor(0x010101), 0u);
}

// Paints the border into an image of the frame's size filled with white.
QImage PaintBorder(CMainFrame& frame, QSize size)
{
    QImage image = FilledImage(size.width(), size.height(), 0xFFFFFF);
    {
        CDC dc(&image);
        frame.OnNcPaint(&dc);
    }
    return image;
}

TEST_F(MainFrame, BorderCoversThreePixelsInsideEveryEdge)
{
    m_settings.Set(SK_BUTTON_COLOR, static_cast<int>(0xFFC8B4));
    CMainFrame frame(m_settings);
    const QImage image = PaintBorder(frame, {64, 100});
    const COLORREF border = RGB(90, 100, 127);
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(PixelAt(image, d, 50), border) << d;
        EXPECT_EQ(PixelAt(image, 63 - d, 50), border) << d;
        EXPECT_EQ(PixelAt(image, 30, d), border) << d;
        EXPECT_EQ(PixelAt(image, 30, 99 - d), border) << d;
    }
    EXPECT_EQ(PixelAt(image, 3, 50), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 60, 50), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 30, 96), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 0, 0), border);
    EXPECT_EQ(PixelAt(image, 63, 99), border);
}

TEST_F(MainFrame, BorderOfAnUnknownLayoutIsDrawnForTheGrid)
{
    m_settings.Set(SK_LAYOUT, 5);
    CMainFrame frame(m_settings);
    const QImage image = PaintBorder(frame, {100, 120});
    const COLORREF border = CMainFrame::BorderColor(CPlayerSettings::kDefaultButton);
    // The pen is centred on x 64 and y 100: three pixels on either side.
    EXPECT_EQ(PixelAt(image, 60, 50), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 61, 50), border);
    EXPECT_EQ(PixelAt(image, 66, 50), border);
    EXPECT_EQ(PixelAt(image, 67, 50), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 30, 96), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(image, 30, 97), border);
    EXPECT_EQ(PixelAt(image, 30, 102), border);
    EXPECT_EQ(PixelAt(image, 30, 103), 0xFFFFFFu);
}

TEST_F(MainFrame, PaintedWindowShowsTheBorderOnItsOuterPixel)
{
    auto frame = MakeFrame();
    const QImage image = frame->grab().toImage();
    ASSERT_EQ(image.size(), QSize(64, 100));
    EXPECT_EQ(PixelAt(image, 0, 40), RGB(90, 100, 127));
    EXPECT_EQ(PixelAt(image, 63, 40), RGB(90, 100, 127));
}

TEST_F(MainFrame, ViewFillsTheAreaInsideTheWindowBorder)
{
    m_settings.Set(SK_LAYOUT, LAYOUT_HORIZONTAL);
    auto frame = MakeFrame();
    auto* view = new QWidget;
    frame->SetView(view);
    EXPECT_EQ(view->geometry(), QRect(1, 1, 170, 51));
    frame->ResizeToLayout(LAYOUT_VERTICAL);
    EXPECT_EQ(frame->size(), QSize(40, 187));
    EXPECT_EQ(view->geometry(), QRect(1, 1, 38, 185));
}

// Catches a window restored where it cannot be seen, wholly or in part.
TEST_F(MainFrame, AStoredPositionOffTheScreenOpensOnTheNearestScreenEdge)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    m_settings.SetLaunchPos(-5000, -7000);
    EXPECT_EQ(MakeFrame()->pos(), screen.topLeft());
    m_settings.SetLaunchPos(screen.right() - 10, 40);
    EXPECT_EQ(MakeFrame()->pos(), QPoint(screen.right() + 1 - 64, 40));
    m_settings.SetLaunchPos(30, 40);
    EXPECT_EQ(MakeFrame()->pos(), QPoint(30, 40));
}

// Catches a place the window system never reported (Qt's 0 0 natively on Wayland) written
// over the saved one.
TEST_F(MainFrame, WhereTheCompositorPlacesWindowsTheLaunchPositionIsKept)
{
    const CWindowSystemForTest wayland(false, true);
    m_settings.SetLaunchPos(300, 200);
    auto frame = MakeFrame();
    frame->move(0, 0);
    frame->hide();
    frame.reset();
    EXPECT_EQ(m_settings.GetLaunchPos(), (CPoint{300, 200}));
}

TEST_F(MainFrame, DestructionStoresTheFramePositionAsLaunchPosition)
{
    auto frame = MakeFrame();
    frame->move(321, 123);
    frame.reset();
    EXPECT_EQ(m_settings.GetLaunchPos(), (CPoint{321, 123}));
}

TEST_F(MainFrame, FrameNeverCreatedLeavesTheLaunchPositionAlone)
{
    m_settings.SetLaunchPos(44, 55);
    {
        CMainFrame frame(m_settings);
    }
    EXPECT_EQ(m_settings.GetLaunchPos(), (CPoint{44, 55}));
}

TEST_F(MainFrame, DoubleClickOnTheBorderHidesTheFrame)
{
    auto frame = MakeFrame();
    ASSERT_TRUE(frame->isVisible());
    const QPointF at(0, 10);
    QMouseEvent event(QEvent::MouseButtonDblClick, at, frame->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &event);
    EXPECT_FALSE(frame->isVisible());
}

TEST_F(MainFrame, DoubleClickInsideTheViewLeavesTheFrameShown)
{
    auto frame = MakeFrame();
    QWidget view;
    frame->SetView(&view);
    ASSERT_TRUE(frame->isVisible());
    const QPointF at(30, 40);
    ASSERT_TRUE(view.geometry().contains(at.toPoint()));
    QMouseEvent event(QEvent::MouseButtonDblClick, at, frame->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame.get(), &event);
    EXPECT_TRUE(frame->isVisible());
    frame->SetView(nullptr);
}

} // namespace
