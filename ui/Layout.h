#pragma once

#include "draw/GdiTypes.h"

// The player window's three fixed layouts: the frame's outer size, the display panel's
// rectangles and the nine button rectangles. Sizes and coordinates are device pixels;
// rectangles leave out their right and bottom edges. Constant data, usable from any thread.

enum LayoutIndex {
    LAYOUT_GRID = 0,       // panel on top, 3 x 3 buttons below
    LAYOUT_VERTICAL = 1,   // a column of buttons, a tall panel with rotated text beside it
    LAYOUT_HORIZONTAL = 2, // a panel strip on top, a row of buttons below
};

inline constexpr int LAYOUT_COUNT = 3;
inline constexpr int BUTTON_COUNT = 9;

// A stored layout number outside 0..2 is read as the grid.
constexpr int ClampLayout(int nLayout)
{
    return nLayout < 0 || nLayout >= LAYOUT_COUNT ? LAYOUT_GRID : nLayout;
}

// Outer frame size (cx, cy) per layout.
inline constexpr CSize kFrameSizes[LAYOUT_COUNT] = {{64, 100}, {40, 187}, {172, 53}};

// The panel's whole area (the size of its off-screen bitmap, its tooltip and drag area), the
// band the title scrolls in, and the area cleared for the time text; in panel coordinates.
struct PanelRects
{
    CRect rcDisplay;
    CRect rcTitle;
    CRect rcTime;
};

// In the horizontal layout the title and time overlap at x 101..130; the time is drawn last.
inline constexpr PanelRects kPanelRects[LAYOUT_COUNT] = {
    {{0, 0, 62, 21}, {0, 0, 50, 10}, {0, 11, 52, 21}},
    {{0, 0, 13, 180}, {0, 15, 12, 100}, {0, 110, 12, 180}},
    {{0, 0, 172, 10}, {30, 0, 130, 10}, {101, 0, 162, 11}},
};

// Panel coordinates + (PANEL_OFFSET_X, 0) = view coordinates in the vertical layout, where
// the panel sits right of the 18-pixel button column; the other layouts use no offset.
inline constexpr int PANEL_OFFSET_X = 19;

constexpr int PanelOffsetX(int nLayout)
{
    return ClampLayout(nLayout) == LAYOUT_VERTICAL ? PANEL_OFFSET_X : 0;
}

// Button rectangles in view client coordinates, indexed by layout x 9 + button index (the
// command id − 2000: open, play, stop, previous, pause, next, playlist, CD play, eject).
inline constexpr CRect kButtonRects[LAYOUT_COUNT * BUTTON_COUNT] = {
    {0, 21, 18, 39},   {18, 21, 36, 39},   {36, 21, 54, 39},   {0, 39, 18, 57},    {18, 39, 36, 57},
    {36, 39, 54, 57},  {0, 57, 18, 75},    {18, 57, 36, 75},   {36, 57, 54, 75},

    {0, 0, 18, 18},    {0, 18, 18, 36},    {0, 36, 18, 54},    {0, 90, 18, 108},   {0, 54, 18, 72},
    {0, 72, 18, 90},   {0, 108, 18, 126},  {0, 126, 18, 144},  {0, 144, 18, 162},

    {0, 10, 18, 28},   {18, 10, 36, 28},   {36, 10, 54, 28},   {72, 10, 90, 28},   {54, 10, 72, 28},
    {90, 10, 108, 28}, {144, 10, 162, 28}, {108, 10, 126, 28}, {126, 10, 144, 28},
};

constexpr const CRect& ButtonRect(int nLayout, int nButton)
{
    return kButtonRects[ClampLayout(nLayout) * BUTTON_COUNT + nButton];
}
