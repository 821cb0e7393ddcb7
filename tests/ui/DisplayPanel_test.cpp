#include "ui/DisplayPanel.h"

#include "ui/Layout.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr COLORREF kLed = 0xE7FFF7;
constexpr COLORREF kText = 0;
constexpr COLORREF kRed = CDisplayPanel::MARKER_COLOR;
constexpr COLORREF kOutside = RGB(0, 0, 255);

const PanelTime kStopped{DEVICE_MIDI, 0, 0, 0};

struct Box
{
    int minX = INT_MAX;
    int minY = INT_MAX;
    int maxX = -1;
    int maxY = -1;
    bool Empty() const { return maxX < 0; }
};

// The bounding box of the pixels of colour cr inside [left, right) x [top, bottom).
Box BoxOf(const QImage& image, COLORREF cr, int left, int top, int right, int bottom)
{
    Box box;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (PixelAt(image, x, y) == cr) {
                box.minX = std::min(box.minX, x);
                box.minY = std::min(box.minY, y);
                box.maxX = std::max(box.maxX, x);
                box.maxY = std::max(box.maxY, y);
            }
        }
    }
    return box;
}

class DisplayPanel : public ::testing::Test
{
protected:
    void SetUp() override { EnsureQtApplication(); }

    std::unique_ptr<CDisplayPanel> MakePanel(int nLayout)
    {
        auto panel = std::make_unique<CDisplayPanel>();
        EXPECT_TRUE(panel->SetLayout(nLayout, 96));
        panel->SetColors(kText, kLed);
        return panel;
    }

    // One composition onto a view-sized image that starts in blue.
    static QImage Compose(CDisplayPanel& panel, int bAdvance, int bOpen, const PanelTime& time,
                          QSize size = {200, 200})
    {
        QImage image = FilledImage(size.width(), size.height(), kOutside);
        {
            CDC dc(&image);
            panel.Compose(&dc, bAdvance, bOpen, time);
        }
        return image;
    }
};

TEST_F(DisplayPanel, TimeTextIsNeverZeroPadded)
{
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_MIDI, 0, 0, 0), " 0 :  0");
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_PLUGIN, 9, 5, 7), " 5 :  7");
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_WAVE, 0, 12, 34), "12 : 34");
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_MIDI, 0, 125, 59), "125 : 59");
}

TEST_F(DisplayPanel, CdTimeTextCarriesTheTrack)
{
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_CDAUDIO, 12, 0, 7), "<12>  0 :  7");
    EXPECT_EQ(CDisplayPanel::TimeText(DEVICE_CDAUDIO, 0, 0, 0), "< 0>  0 :  0");
}

TEST_F(DisplayPanel, PanelFontIsEightPointsAndRotatedOnlyInTheVerticalLayout)
{
    for (int layout : {0, 1, 2}) {
        auto panel = MakePanel(layout);
        LOGFONT logFont;
        ASSERT_TRUE(panel->GetFont().GetLogFont(&logFont));
        EXPECT_EQ(logFont.lfHeight, -10);
        EXPECT_EQ(logFont.lfEscapement, layout == LAYOUT_VERTICAL ? -900 : 0);
        EXPECT_EQ(logFont.lfOrientation, 0);
        EXPECT_EQ(logFont.lfFaceName, "ＭＳ　Ｐゴシック");
        EXPECT_EQ(panel->GetBitmap().GetSize(), (CSize{kPanelRects[layout].rcDisplay.Width(),
                                                       kPanelRects[layout].rcDisplay.Height()}));
    }
    EXPECT_EQ(MakePanel(1)->GetFont().GetQFont().pixelSize(), 10);
}

TEST_F(DisplayPanel, CompositionFillsExactlyThePanelRectangle)
{
    for (int layout : {0, 2}) {
        auto panel = MakePanel(layout);
        const QImage image = Compose(*panel, 0, 0, kStopped);
        const CRect& rc = kPanelRects[layout].rcDisplay;
        EXPECT_EQ(PixelAt(image, rc.right - 1, rc.bottom - 1), kLed) << layout;
        EXPECT_EQ(PixelAt(image, rc.right, 0), kOutside) << layout;
        EXPECT_EQ(PixelAt(image, 0, rc.bottom), kOutside) << layout;
    }
}

TEST_F(DisplayPanel, VerticalPanelIsCopiedNineteenPixelsRight)
{
    auto panel = MakePanel(LAYOUT_VERTICAL);
    const QImage image = Compose(*panel, 0, 0, kStopped);
    EXPECT_EQ(CountColor(image, 0, 0, 19, 200, kOutside), 19 * 200);
    EXPECT_EQ(PixelAt(image, 19, 179), kLed);
    EXPECT_EQ(PixelAt(image, 31, 179), kLed);
    EXPECT_EQ(PixelAt(image, 32, 0), kOutside);
    EXPECT_EQ(PixelAt(image, 19, 180), kOutside);
}

TEST_F(DisplayPanel, RedMarkerSitsAtTheTopLeftInEveryState)
{
    for (int layout : {0, 2}) {
        auto panel = MakePanel(layout);
        for (int bOpen : {0, 1}) {
            panel->RefreshTitle("Some title  3:20");
            const QImage image = Compose(*panel, 1, bOpen, {DEVICE_CDAUDIO, 3, 1, 2});
            const Box red = BoxOf(image, kRed, 0, 0, 200, 200);
            ASSERT_FALSE(red.Empty()) << layout;
            EXPECT_LE(red.minX, 2) << layout;
            EXPECT_LT(red.maxX, 8) << layout;
            EXPECT_LE(red.minY, 3) << layout;
            EXPECT_LT(red.maxY, 11) << layout;
            EXPECT_GT(red.maxY - red.minY, red.maxX - red.minX) << layout;
        }
    }
}

TEST_F(DisplayPanel, VerticalMarkerRunsDownLeftOfX12)
{
    auto panel = MakePanel(LAYOUT_VERTICAL);
    const QImage image = Compose(*panel, 0, 0, kStopped);
    const Box red = BoxOf(image, kRed, 0, 0, 200, 200);
    ASSERT_FALSE(red.Empty());
    EXPECT_LT(red.maxX, 19 + 12);
    EXPECT_GE(red.minX, 19 + 12 - 11);
    EXPECT_LE(red.minY, 2);
    // An upright R is taller than wide; turned a quarter it is wider than tall.
    EXPECT_LT(red.maxY - red.minY, red.maxX - red.minX);
}

TEST_F(DisplayPanel, TimeIsRightAlignedAtTheTopOfItsArea)
{
    auto panel = MakePanel(LAYOUT_GRID);
    const QImage image = Compose(*panel, 0, 0, {DEVICE_MIDI, 0, 12, 34});
    const Box ink = BoxOf(image, kText, 0, 11, 62, 21);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.maxX, 47);
    EXPECT_LT(ink.maxX, 52);
    EXPECT_LT(ink.minY, 14);
    EXPECT_EQ(CountColor(image, 52, 11, 62, 21, kText), 0);
}

TEST_F(DisplayPanel, TimeTextMatchesItsFormatPixelForPixel)
{
    auto panel = MakePanel(LAYOUT_GRID);
    const QImage composed = Compose(*panel, 0, 0, {DEVICE_CDAUDIO, 12, 0, 7});
    QImage expected = FilledImage(62, 21, kLed);
    {
        CDC dc(&expected);
        dc.SelectObject(&panel->GetFont());
        dc.SetBkColor(kLed);
        CRect rc = kPanelRects[LAYOUT_GRID].rcTime;
        dc.DrawText("<12>  0 :  7", &rc, DT_RIGHT);
    }
    EXPECT_EQ(composed.copy(0, 11, 52, 10), expected.copy(0, 11, 52, 10));
}

TEST_F(DisplayPanel, TitleIsLeftOutWhileNothingIsOpen)
{
    auto panel = MakePanel(LAYOUT_GRID);
    panel->RefreshTitle("Long title text here");
    const QImage closed = Compose(*panel, 0, 0, kStopped);
    EXPECT_EQ(CountColor(closed, 0, 0, 62, 10, kText), 0);
    const QImage open = Compose(*panel, 0, 1, kStopped);
    EXPECT_GT(CountColor(open, 0, 0, 62, 10, kText), 0);
}

TEST_F(DisplayPanel, EmptyStatusKeepsThePreviousTitle)
{
    auto panel = MakePanel(LAYOUT_GRID);
    panel->RefreshTitle("First  1:00");
    Compose(*panel, 1, 1, kStopped);
    panel->RefreshTitle("");
    EXPECT_EQ(panel->GetMarquee().GetText(), "First  1:00");
    EXPECT_EQ(panel->GetMarquee().GetTicks(), 1);
    panel->RefreshTitle("First  1:00");
    EXPECT_EQ(panel->GetMarquee().GetTicks(), 0);
}

TEST_F(DisplayPanel, TimerTicksMoveTheTitleOnlyWhileOpen)
{
    auto panel = MakePanel(LAYOUT_GRID);
    panel->RefreshTitle("Title  2:00");
    Compose(*panel, 1, 0, kStopped);
    EXPECT_EQ(panel->GetMarquee().GetTicks(), 0);
    Compose(*panel, 1, 1, kStopped);
    Compose(*panel, 0, 1, kStopped);
    EXPECT_EQ(panel->GetMarquee().GetTicks(), 1);
}

TEST_F(DisplayPanel, HorizontalTitleStartsUnderTheTimeAndShowsOnlyBeyondIt)
{
    auto panel = MakePanel(LAYOUT_HORIZONTAL);
    panel->RefreshTitle("A rather long title for the strip  4:33");
    const QImage first = Compose(*panel, 0, 1, kStopped);
    EXPECT_EQ(CountColor(first, 0, 0, 101, 10, kText), 0);
    EXPECT_GT(CountColor(first, 162, 0, 172, 10, kText), 0);
}

TEST_F(DisplayPanel, HorizontalTimeCoversTheTitleFrom101To130)
{
    auto panel = MakePanel(LAYOUT_HORIZONTAL);
    panel->RefreshTitle("A rather long title for the strip  4:33");
    const CSize time = [&] {
        CDC dc;
        dc.SelectObject(&panel->GetFont());
        return dc.GetTextExtentPoint32(CDisplayPanel::TimeText(DEVICE_MIDI, 0, 0, 0));
    }();
    const int timeLeft = 162 - time.cx;
    ASSERT_GT(timeLeft, 131);
    for (int tick = 1; tick <= 12; ++tick) {
        const QImage image = Compose(*panel, 1, 1, kStopped);
        EXPECT_EQ(CountColor(image, 101, 0, timeLeft, 11, kText), 0) << tick;
        if (tick >= 8)
            EXPECT_GT(CountColor(image, 30, 0, 101, 10, kText), 0) << tick;
    }
}

TEST_F(DisplayPanel, VerticalTimeRunsDownwardsBelowTheTimeAreaTop)
{
    auto panel = MakePanel(LAYOUT_VERTICAL);
    const QImage image = Compose(*panel, 0, 0, {DEVICE_WAVE, 0, 3, 45});
    const Box ink = BoxOf(image, kText, 0, 0, 200, 200);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.minY, 110 + 22);
    EXPECT_LT(ink.maxX, 19 + 12);
    EXPECT_GT(ink.maxY - ink.minY, 2 * (ink.maxX - ink.minX));

    const QImage cd = Compose(*panel, 0, 0, {DEVICE_CDAUDIO, 4, 3, 45});
    const Box cdInk = BoxOf(cd, kText, 0, 0, 200, 200);
    ASSERT_FALSE(cdInk.Empty());
    EXPECT_GE(cdInk.minY, 110);
    EXPECT_LT(cdInk.minY, 110 + 10);
}

// The live seek text for p percent is the time text a composition would show at that time.
TEST_F(DisplayPanel, SeekTextShowsTheTargetTimeInTheTimeArea)
{
    for (int layout : {0, 1, 2}) {
        auto panel = MakePanel(layout);
        QImage seek = FilledImage(200, 200, kOutside);
        {
            CDC dc(&seek);
            panel->DrawSeekText(&dc, 50, DEVICE_MIDI, 0, 200);
        }
        const QImage composed = Compose(*panel, 0, 0, {DEVICE_MIDI, 0, 1, 40});
        CRect rc = kPanelRects[layout].rcTime;
        rc.OffsetRect(PanelOffsetX(layout), 0);
        const int bottom = std::min(rc.bottom, kPanelRects[layout].rcDisplay.bottom);
        EXPECT_EQ(seek.copy(rc.left, rc.top, rc.Width(), bottom - rc.top),
                  composed.copy(rc.left, rc.top, rc.Width(), bottom - rc.top))
            << layout;
        EXPECT_EQ(CountColor(seek, 0, 0, 200, 200, kRed), 0) << layout;
    }
}

TEST_F(DisplayPanel, SeekTextOnACdUsesTheTrackAndClampsThePercentage)
{
    auto panel = MakePanel(LAYOUT_GRID);
    QImage seek = FilledImage(62, 21, kOutside);
    QImage full = FilledImage(62, 21, kOutside);
    {
        CDC dc(&seek);
        panel->DrawSeekText(&dc, 150, DEVICE_CDAUDIO, 7, 125);
        CDC fullDC(&full);
        panel->DrawSeekText(&fullDC, 100, DEVICE_CDAUDIO, 7, 125);
    }
    EXPECT_EQ(seek, full);
    const QImage composed = Compose(*panel, 0, 0, {DEVICE_CDAUDIO, 7, 2, 5}, {62, 21});
    EXPECT_EQ(seek.copy(0, 11, 52, 10), composed.copy(0, 11, 52, 10));
}

TEST_F(DisplayPanel, PanelWithoutLayoutDrawsNothing)
{
    CDisplayPanel panel;
    QImage image = FilledImage(20, 20, kOutside);
    {
        CDC dc(&image);
        panel.Compose(&dc, 1, 1, kStopped);
        panel.Compose(nullptr, 1, 1, kStopped);
        panel.DrawTime(nullptr, kStopped);
        panel.DrawSeekText(nullptr, 10, DEVICE_MIDI, 0, 10);
    }
    EXPECT_EQ(CountColor(image, 0, 0, 20, 20, kOutside), 400);
}

} // namespace
