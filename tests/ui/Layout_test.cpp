#include "ui/Layout.h"

#include <gtest/gtest.h>

namespace {

// Client area of the view: the frame minus its 1-pixel border and the view's 2-pixel edge.
CRect ViewClient(int nLayout)
{
    const CSize size = kFrameSizes[nLayout];
    return {0, 0, size.cx - 6, size.cy - 6};
}

bool Overlap(const CRect& a, const CRect& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Contains(const CRect& outer, const CRect& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(Layout, NumbersOutsideZeroToTwoReadAsTheGrid)
{
    EXPECT_EQ(ClampLayout(0), LAYOUT_GRID);
    EXPECT_EQ(ClampLayout(1), LAYOUT_VERTICAL);
    EXPECT_EQ(ClampLayout(2), LAYOUT_HORIZONTAL);
    EXPECT_EQ(ClampLayout(3), LAYOUT_GRID);
    EXPECT_EQ(ClampLayout(5), LAYOUT_GRID);
    EXPECT_EQ(ClampLayout(-1), LAYOUT_GRID);
    EXPECT_EQ(ClampLayout(INT_MIN), LAYOUT_GRID);
    EXPECT_EQ(kFrameSizes[ClampLayout(5)], (CSize{64, 100}));
}

TEST(Layout, ButtonsAreEighteenSquareAndNeverOverlap)
{
    for (int layout = 0; layout < LAYOUT_COUNT; ++layout) {
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            const CRect& rc = ButtonRect(layout, i);
            EXPECT_EQ(rc.Width(), 18) << layout << " " << i;
            EXPECT_EQ(rc.Height(), 18) << layout << " " << i;
            EXPECT_TRUE(Contains(ViewClient(layout), rc)) << layout << " " << i;
            for (int j = i + 1; j < BUTTON_COUNT; ++j)
                EXPECT_FALSE(Overlap(rc, ButtonRect(layout, j))) << layout << " " << i << " " << j;
        }
    }
}

TEST(Layout, PanelNeverCoversAButton)
{
    for (int layout = 0; layout < LAYOUT_COUNT; ++layout) {
        CRect panel = kPanelRects[layout].rcDisplay;
        panel.OffsetRect(PanelOffsetX(layout), 0);
        for (int i = 0; i < BUTTON_COUNT; ++i)
            EXPECT_FALSE(Overlap(panel, ButtonRect(layout, i))) << layout << " " << i;
    }
}

TEST(Layout, TitleAndTimeLieInsideThePanel)
{
    for (const PanelRects& rects : kPanelRects) {
        EXPECT_EQ(rects.rcDisplay.left, 0);
        EXPECT_EQ(rects.rcDisplay.top, 0);
        EXPECT_TRUE(Contains(rects.rcDisplay, rects.rcTitle));
        EXPECT_TRUE(Contains(rects.rcDisplay,
                             CRect(rects.rcTime.left, rects.rcTime.top, rects.rcTime.right,
                                   std::min(rects.rcTime.bottom, rects.rcDisplay.bottom))));
    }
}

TEST(Layout, VerticalPanelSitsRightOfTheButtonColumn)
{
    EXPECT_EQ(PanelOffsetX(LAYOUT_VERTICAL), 19);
    EXPECT_EQ(PanelOffsetX(LAYOUT_GRID), 0);
    EXPECT_EQ(PanelOffsetX(LAYOUT_HORIZONTAL), 0);
    EXPECT_EQ(PanelOffsetX(7), 0);
    for (int i = 0; i < BUTTON_COUNT; ++i)
        EXPECT_LT(ButtonRect(LAYOUT_VERTICAL, i).right, PANEL_OFFSET_X);
}

TEST(Layout, VisualOrderOfTheButtons)
{
    // Left to right, top to bottom: the button index at each place.
    const int grid[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const int column[] = {0, 1, 2, 4, 5, 3, 6, 7, 8};
    const int row[] = {0, 1, 2, 4, 3, 5, 7, 8, 6};
    for (int place = 0; place < BUTTON_COUNT; ++place) {
        EXPECT_EQ(ButtonRect(LAYOUT_GRID, grid[place]).left, 18 * (place % 3));
        EXPECT_EQ(ButtonRect(LAYOUT_GRID, grid[place]).top, 21 + 18 * (place / 3));
        EXPECT_EQ(ButtonRect(LAYOUT_VERTICAL, column[place]).top, 18 * place);
        EXPECT_EQ(ButtonRect(LAYOUT_HORIZONTAL, row[place]).left, 18 * place);
    }
}

} // namespace
