#include "ui/GlyphPainters.h"

#include "draw/DC.h"
#include "res/Resource.h"
#include "ui/UiResources.h"

namespace {

constexpr COLORREF kDisabledGrey = 0x808080;

// Where the open and CD play pictures go on the button, and how large a block is copied.
constexpr CPoint kOpenOrigin{1, 3};
constexpr int kOpenBlit = 15;
constexpr CPoint kCdOrigin{1, 1};
constexpr int kCdBlit = 17;

bool IsDisabled(const DRAWITEMSTRUCT* pDIS)
{
    return (pDIS->itemState & ODS_DISABLED) != 0;
}

const CBrush* GlyphBrush(const DRAWITEMSTRUCT* pDIS)
{
    return CBrush::Stock(IsDisabled(pDIS) ? GRAY_BRUSH : BLACK_BRUSH);
}

// The brush and pen of a glyph that has triangles, selected for the object's lifetime: the
// brush first, then the pen (black, or a new grey pen when disabled); the previous ones go
// back and the grey pen is deleted at the end.
class CGlyphTools
{
public:
    explicit CGlyphTools(const DRAWITEMSTRUCT* pDIS)
        : m_pDC(CDC::FromHandle(pDIS->hDC))
        , m_pBrush(GlyphBrush(pDIS))
    {
        const CPen* pPen = CPen::Stock(BLACK_PEN);
        if (IsDisabled(pDIS) && m_greyPen.CreatePen(PS_SOLID, 1, kDisabledGrey))
            pPen = &m_greyPen;
        m_pOldBrush = m_pDC->SelectObject(m_pBrush);
        m_pOldPen = m_pDC->SelectObject(pPen);
    }
    ~CGlyphTools()
    {
        m_pDC->SelectObject(m_pOldBrush);
        m_pDC->SelectObject(m_pOldPen);
        m_greyPen.DeleteObject();
    }
    CGlyphTools(const CGlyphTools&) = delete;
    CGlyphTools& operator=(const CGlyphTools&) = delete;

    void Triangle(CPoint a, CPoint b, CPoint c)
    {
        const CPoint points[] = {a, b, c};
        m_pDC->Polygon(points, 3);
    }
    void Bar(const CRect& rect) { m_pDC->FillRect(rect, m_pBrush); }

private:
    CDC* m_pDC;
    const CBrush* m_pBrush;
    CPen m_greyPen;
    const CBrush* m_pOldBrush = nullptr;
    const CPen* m_pOldPen = nullptr;
};

bool CanDraw(const DRAWITEMSTRUCT* pDIS)
{
    return pDIS != nullptr && pDIS->hDC != nullptr;
}

// Loads bitmap nID, copies an n x n block of it to (x, y) with the raster operation, and
// frees it again. A bitmap that cannot be loaded leaves the button as it is.
void BlitResource(CDC* pDC, CDC* pMemDC, unsigned nID, CPoint at, int n, std::uint32_t dwRop)
{
    CBitmap bitmap;
    if (!bitmap.LoadBitmap(nID))
        return;
    CBitmap* pOld = pMemDC->SelectObject(&bitmap);
    if (pOld == nullptr)
        return;
    pDC->BitBlt(at.x, at.y, n, n, pMemDC, 0, 0, dwRop);
    pMemDC->SelectObject(pOld);
    bitmap.DeleteObject();
}

// The face stays where the mask is white; elsewhere the picture replaces it.
int DrawPicture(const DRAWITEMSTRUCT* pDIS, unsigned nMask, unsigned nPicture, CPoint at, int n)
{
    if (!CanDraw(pDIS))
        return 0;
    EnsureUiResources();
    CDC* pDC = CDC::FromHandle(pDIS->hDC);
    CDC memDC;
    memDC.CreateCompatibleDC(pDC);
    BlitResource(pDC, &memDC, nMask, at, n, SRCAND);
    BlitResource(pDC, &memDC, nPicture, at, n, SRCINVERT);
    memDC.DeleteDC();
    return 0;
}

} // namespace

int DrawOpenGlyph(const DRAWITEMSTRUCT* pDIS)
{
    return DrawPicture(pDIS, IDB_OPEN_MASK, IDB_OPEN, kOpenOrigin, kOpenBlit);
}

int DrawCdPlayGlyph(const DRAWITEMSTRUCT* pDIS)
{
    return DrawPicture(pDIS, IDB_CD_MASK, IDB_CD, kCdOrigin, kCdBlit);
}

int DrawPlayGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CGlyphTools tools(pDIS);
    tools.Triangle({3, 3}, {w - 3, h / 2}, {3, h - 3});
    return 0;
}

int DrawStopGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CDC::FromHandle(pDIS->hDC)->FillRect(CRect(4, 4, w - 4, h - 4), GlyphBrush(pDIS));
    return 0;
}

int DrawPrevGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int h = pDIS->rcItem.bottom;
    CGlyphTools tools(pDIS);
    tools.Bar(CRect(3, 3, 6, h - 2));
    tools.Triangle({4, h / 2}, {10, 3}, {10, h - 3});
    tools.Triangle({10, h / 2}, {15, 3}, {15, h - 3});
    return 0;
}

int DrawPauseGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CDC* pDC = CDC::FromHandle(pDIS->hDC);
    pDC->FillRect(CRect(4, 4, w / 2 - 2, h - 4), GlyphBrush(pDIS));
    pDC->FillRect(CRect(w / 2 + 2, 4, w - 4, h - 4), GlyphBrush(pDIS));
    return 0;
}

int DrawNextGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CGlyphTools tools(pDIS);
    tools.Triangle({3, 3}, {9, h / 2}, {3, h - 3});
    tools.Triangle({8, 3}, {15, h / 2}, {8, h - 3});
    tools.Bar(CRect(w - 6, 3, w - 2, h - 2));
    return 0;
}

int DrawPlaylistGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CGlyphTools tools(pDIS);
    tools.Triangle({3, 3}, {w - 4, 3}, {w / 2 - 1, h - 3});
    return 0;
}

int DrawEjectGlyph(const DRAWITEMSTRUCT* pDIS)
{
    if (!CanDraw(pDIS))
        return 0;
    const int w = pDIS->rcItem.right;
    const int h = pDIS->rcItem.bottom;
    CGlyphTools tools(pDIS);
    tools.Bar(CRect(3, h - 6, w - 2, h - 3));
    tools.Triangle({w / 2, 3}, {3, h - 8}, {w - 3, h - 8});
    return 0;
}
