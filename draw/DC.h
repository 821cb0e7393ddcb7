#pragma once

#include "draw/GdiObjects.h"
#include "draw/GdiTypes.h"

#include <QFontMetrics>
#include <QPainter>

#include <memory>
#include <optional>
#include <string_view>

class QPaintDevice;

// A device context: drawing state (selected pen, brush, font and, for a memory context,
// bitmap; text and background colours) over a QPainter. Drawing is aliased
// and in device pixels; filled rectangles leave out their right and bottom edges. A context
// draws on a paint device (an image, or a widget during its paint event), on a painter that
// someone else owns and lends, or, as a memory context, on the bitmap selected into it; a
// context with none of these still measures text. Selecting an object returns the one it
// replaces, so callers put the previous one back. The context keeps a copy of what it needs
// from a selected pen, brush or font. User-interface thread only.
class CDC
{
public:
    // A context without a target. CreateCompatibleDC makes it a memory context.
    CDC();
    // Paints on device (an image, or a widget inside its paint event) until destroyed.
    explicit CDC(QPaintDevice* device);
    // Draws with a painter that stays its owner's (text antialiasing is turned off on it);
    // the painter must outlive this context.
    explicit CDC(QPainter* painter);
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // The context behind an owner-draw record's handle; the record keeps owning it.
    static CDC* FromHandle(CDC* hDC) { return hDC; }

    // Makes this a memory context (pDC may be null): it draws on whatever bitmap is selected
    // into it, on nothing until then. FALSE when it already has a target.
    int CreateCompatibleDC(CDC* pDC);
    // Takes the selected bitmap out and drops the target. The context can be made anew.
    int DeleteDC();

    // LOGPIXELSY: the screen's vertical resolution in dots per inch (96 without a screen).
    // 0 for any other index.
    int GetDeviceCaps(int nIndex) const;

    const CPen* SelectObject(const CPen* pPen);
    const CBrush* SelectObject(const CBrush* pBrush);
    const CFont* SelectObject(const CFont* pFont);
    // Memory contexts only. Returns the bitmap it replaces (the context's stock bitmap at
    // first), or null (and changes nothing) for an empty bitmap, one selected elsewhere, or
    // a context that is not a memory context.
    CBitmap* SelectObject(CBitmap* pBitmap);

    COLORREF SetTextColor(COLORREF crColor);
    COLORREF GetTextColor() const { return m_crText; }
    COLORREF SetBkColor(COLORREF crColor);
    COLORREF GetBkColor() const { return m_crBk; }

    // Fills the rectangle with crColor and, as a side effect, makes crColor the background
    // colour. A rectangle given with right < left or bottom < top is taken in the same
    // pixels as its normalised form.
    void FillSolidRect(const CRect& rect, COLORREF crColor);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF crColor);
    // A one-pixel frame on the rectangle's edge: top and left rows in crTopLeft (but the
    // top-right and bottom-left pixels), right and bottom in crBottomRight.
    void Draw3dRect(const CRect& rect, COLORREF crTopLeft, COLORREF crBottomRight);
    void Draw3dRect(int x, int y, int cx, int cy, COLORREF crTopLeft, COLORREF crBottomRight);
    COLORREF SetPixel(int x, int y, COLORREF crColor);

    // Fills the rectangle with pBrush, no outline.
    void FillRect(const CRect& rect, const CBrush* pBrush);
    // The closed polygon through nCount points, filled with the selected brush and outlined
    // with the selected pen; its vertices and edges belong to it. FALSE for nCount < 2.
    int Polygon(const CPoint* pPoints, int nCount);
    // Lines through the points with the selected pen, end points included.
    int Polyline(const CPoint* pPoints, int nCount);

    // Copies a nWidth x nHeight block from pSrcDC's image at (xSrc, ySrc) to (x, y): SRCCOPY
    // replaces, SRCAND ands and SRCINVERT xors the colour bits. Only pixels inside the source
    // image take part. FALSE for another operation or when either side has nothing to draw.
    int BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc,
               std::uint32_t dwRop);

    // Draws text (UTF-8) with its cell's top-left at (x, y), in the text colour, on a box in
    // the background colour (the background is always opaque). A font with an escapement
    // turns the text and its box about (x, y): −900 runs downwards, the cell lying just
    // left of x. nWidth: the text's width in the selected font when the caller has measured
    // it already (GetTextExtentPoint32), so that it is not measured again; -1 measures it.
    int TextOut(int x, int y, std::string_view text, int nWidth = -1);
    // Lays text out on one line in *pRect: left, centred (DT_CENTER) or right (DT_RIGHT);
    // top, vertically centred (DT_VCENTER) or at the bottom (DT_BOTTOM); clipped to the
    // rectangle unless DT_NOCLIP. Returns the text height, 0 when pRect is null.
    int DrawText(std::string_view text, CRect* pRect, unsigned nFormat);
    // Width and height of text in the selected font, unrotated.
    CSize GetTextExtentPoint32(std::string_view text) const;

    // The image being drawn (the selected bitmap's, or the device if it is an image);
    // null otherwise.
    const QImage* GetImage() const { return m_pImage; }

private:
    friend class CBitmap;

    bool Begin(QPaintDevice* device);
    void End();
    void ReleaseBitmap();
    QPainter* Painter();
    const QFontMetrics* Metrics() const;
    // Text on its background, nWidth (the text's advance, measured once by the caller) wide.
    void DrawTextAt(int x, int y, const QString& text, const QFontMetrics& metrics, int nWidth);

    std::unique_ptr<QPainter> m_pOwnedPainter;
    QPainter* m_pPainter = nullptr;
    QImage* m_pImage = nullptr;
    bool m_bMemory = false;
    CBitmap* m_pBitmap = nullptr;

    const CPen* m_pPen;
    const CBrush* m_pBrush;
    const CFont* m_pFont;
    QPen m_pen;
    std::optional<QColor> m_brush; // none for a null brush
    QFont m_font;
    int m_nEscapement = 0;
    mutable std::optional<QFontMetrics> m_metrics; // made when text is first measured

    COLORREF m_crText = 0;
    COLORREF m_crBk = 0xFFFFFF;
};
