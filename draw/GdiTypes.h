#pragma once

#include "base/WinTypes.h"

#include <cstdint>

// Value types and numbers of the drawing interface: sizes, rectangles with exclusive right
// and bottom edges, the owner-draw record, window styles, raster operations, text formats and
// stock object numbers, with the values the player's drawing code is written against.

class CDC;

struct CSize
{
    int cx = 0;
    int cy = 0;
    friend bool operator==(const CSize&, const CSize&) = default;
};

// left and top are inside, right and bottom are the first column and row outside.
struct CRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(int l, int t, int r, int b)
        : left(l)
        , top(t)
        , right(r)
        , bottom(b)
    {}

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool PtInRect(CPoint pt) const
    {
        return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom;
    }
    constexpr void OffsetRect(int dx, int dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    friend bool operator==(const CRect&, const CRect&) = default;
};

// Owner-draw request: what to draw (itemAction), the control's state (itemState), the device
// context lent for the request (the receiver never deletes it) and the control's client
// rectangle, which starts at (0, 0).
inline constexpr unsigned ODA_DRAWENTIRE = 0x0001;
inline constexpr unsigned ODA_SELECT = 0x0002;
inline constexpr unsigned ODA_FOCUS = 0x0004;
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODS_DISABLED = 0x0004;
inline constexpr unsigned ODS_FOCUS = 0x0010;

struct DRAWITEMSTRUCT
{
    unsigned CtlID = 0;
    unsigned itemAction = 0;
    unsigned itemState = 0;
    CDC* hDC = nullptr;
    CRect rcItem;
};

// Window styles, as the player's windows describe themselves.
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
inline constexpr std::uint32_t WS_BORDER = 0x00800000;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000;
inline constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
inline constexpr std::uint32_t WS_EX_TOPMOST = 0x00000008;
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr std::uint32_t BS_OWNERDRAW = 0x0000000B;

// Raster operations of BitBlt on 32-bit images.
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t SRCAND = 0x008800C6;
inline constexpr std::uint32_t SRCINVERT = 0x00660046;

// DrawText formats. Text is laid out on one line; DT_VCENTER needs DT_SINGLELINE.
inline constexpr unsigned DT_LEFT = 0x0000;
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_BOTTOM = 0x0008;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_NOCLIP = 0x0100;

// Pen styles.
inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;

// Stock objects.
inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int WHITE_PEN = 6;
inline constexpr int BLACK_PEN = 7;
inline constexpr int NULL_PEN = 8;
inline constexpr int DEFAULT_GUI_FONT = 17;

// GetDeviceCaps index of the vertical resolution in dots per inch.
inline constexpr int LOGPIXELSY = 90;

inline constexpr int DEFAULT_CHARSET = 1;
inline constexpr int FW_BOLD = 700;
