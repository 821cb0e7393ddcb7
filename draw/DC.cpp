#include "draw/DC.h"

#include "base/QtText.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kDefaultDpi = 96;

QColor ToQColor(COLORREF cr)
{
    return {GetRValue(cr), GetGValue(cr), GetBValue(cr)};
}

// The stock bitmap that a memory context holds until something else is selected: it has
// no pixels, so drawing on it draws nothing.
CBitmap* StockBitmap()
{
    static CBitmap stock;
    return &stock;
}

QPen ToQPen(const CPen& pen)
{
    if (pen.GetStyle() == PS_NULL)
        return QPen(Qt::NoPen);
    if (pen.GetWidth() <= 1) {
        QPen cosmetic(ToQColor(pen.GetColor()), 0);
        cosmetic.setCosmetic(true);
        return cosmetic;
    }
    return QPen(ToQColor(pen.GetColor()), pen.GetWidth(), Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

QPainter::CompositionMode RasterMode(std::uint32_t dwRop, bool* pKnown)
{
    *pKnown = true;
    switch (dwRop) {
    case SRCCOPY:
        return QPainter::CompositionMode_Source;
    case SRCAND:
        return QPainter::RasterOp_SourceAndDestination;
    case SRCINVERT:
        return QPainter::RasterOp_SourceXorDestination;
    default:
        *pKnown = false;
        return QPainter::CompositionMode_SourceOver;
    }
}

QRect Normalised(int left, int top, int right, int bottom)
{
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    return {left, top, right - left, bottom - top};
}

} // namespace

CDC::CDC()
    : m_pPen(CPen::Stock(BLACK_PEN))
    , m_pBrush(CBrush::Stock(WHITE_BRUSH))
    , m_pFont(nullptr)
{
    SelectObject(CPen::Stock(BLACK_PEN));
    SelectObject(CBrush::Stock(WHITE_BRUSH));
    SelectObject(CFont::Stock(DEFAULT_GUI_FONT));
}

CDC::CDC(QPaintDevice* device)
    : CDC()
{
    if (device != nullptr)
        Begin(device);
}

CDC::CDC(QPainter* painter)
    : CDC()
{
    if (painter != nullptr && painter->isActive()) {
        m_pPainter = painter;
        m_pPainter->setRenderHint(QPainter::TextAntialiasing, false);
        QPaintDevice* device = painter->device();
        if (device != nullptr && device->devType() == QInternal::Image)
            m_pImage = static_cast<QImage*>(device);
    }
}

CDC::~CDC()
{
    DeleteDC();
}

bool CDC::Begin(QPaintDevice* device)
{
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(device))
        return false;
    painter->setRenderHint(QPainter::TextAntialiasing, false);
    m_pOwnedPainter = std::move(painter);
    m_pPainter = m_pOwnedPainter.get();
    if (device->devType() == QInternal::Image)
        m_pImage = static_cast<QImage*>(device);
    return true;
}

void CDC::End()
{
    if (m_pOwnedPainter) {
        m_pOwnedPainter->end();
        m_pOwnedPainter.reset();
    }
    m_pPainter = nullptr;
    m_pImage = nullptr;
}

void CDC::ReleaseBitmap()
{
    End();
    if (m_pBitmap != nullptr && m_pBitmap != StockBitmap())
        m_pBitmap->m_pSelectedIn = nullptr;
    m_pBitmap = m_bMemory ? StockBitmap() : nullptr;
}

int CDC::CreateCompatibleDC(CDC*)
{
    if (m_bMemory || m_pPainter != nullptr)
        return 0;
    m_bMemory = true;
    m_pBitmap = StockBitmap();
    return 1;
}

int CDC::DeleteDC()
{
    ReleaseBitmap();
    m_bMemory = false;
    m_pBitmap = nullptr;
    return 1;
}

int CDC::GetDeviceCaps(int nIndex) const
{
    if (nIndex != LOGPIXELSY)
        return 0;
    const QScreen* screen =
        QGuiApplication::instance() != nullptr ? QGuiApplication::primaryScreen() : nullptr;
    return screen != nullptr ? static_cast<int>(std::lround(screen->logicalDotsPerInchY()))
                             : kDefaultDpi;
}

const CPen* CDC::SelectObject(const CPen* pPen)
{
    if (pPen == nullptr || !pPen->IsCreated())
        return nullptr;
    const CPen* pOld = m_pPen;
    m_pPen = pPen;
    m_pen = ToQPen(*pPen);
    return pOld;
}

const CBrush* CDC::SelectObject(const CBrush* pBrush)
{
    if (pBrush == nullptr || !pBrush->IsCreated())
        return nullptr;
    const CBrush* pOld = m_pBrush;
    m_pBrush = pBrush;
    if (pBrush->IsNull())
        m_brush.reset();
    else
        m_brush = ToQColor(pBrush->GetColor());
    return pOld;
}

const CFont* CDC::SelectObject(const CFont* pFont)
{
    if (pFont == nullptr || !pFont->IsCreated())
        return nullptr;
    const CFont* pOld = m_pFont;
    m_pFont = pFont;
    m_font = pFont->GetQFont();
    m_nEscapement = pFont->GetEscapement();
    m_metrics.reset();
    return pOld;
}

CBitmap* CDC::SelectObject(CBitmap* pBitmap)
{
    if (!m_bMemory || pBitmap == nullptr)
        return nullptr;
    CBitmap* pOld = m_pBitmap;
    if (pBitmap == pOld)
        return pOld;
    const bool bStock = pBitmap == StockBitmap();
    if (!bStock && (!pBitmap->IsCreated() || pBitmap->m_pSelectedIn != nullptr))
        return nullptr;
    ReleaseBitmap();
    if (!bStock && Begin(&pBitmap->m_image)) {
        m_pBitmap = pBitmap;
        pBitmap->m_pSelectedIn = this;
    }
    return pOld;
}

COLORREF CDC::SetTextColor(COLORREF crColor)
{
    return std::exchange(m_crText, crColor & 0xFFFFFF);
}

COLORREF CDC::SetBkColor(COLORREF crColor)
{
    return std::exchange(m_crBk, crColor & 0xFFFFFF);
}

QPainter* CDC::Painter()
{
    return m_pPainter;
}

void CDC::FillSolidRect(const CRect& rect, COLORREF crColor)
{
    SetBkColor(crColor);
    if (QPainter* p = Painter())
        p->fillRect(Normalised(rect.left, rect.top, rect.right, rect.bottom), ToQColor(crColor));
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF crColor)
{
    FillSolidRect(CRect(x, y, x + cx, y + cy), crColor);
}

void CDC::Draw3dRect(const CRect& rect, COLORREF crTopLeft, COLORREF crBottomRight)
{
    Draw3dRect(rect.left, rect.top, rect.Width(), rect.Height(), crTopLeft, crBottomRight);
}

void CDC::Draw3dRect(int x, int y, int cx, int cy, COLORREF crTopLeft, COLORREF crBottomRight)
{
    FillSolidRect(x, y, cx - 1, 1, crTopLeft);
    FillSolidRect(x, y, 1, cy - 1, crTopLeft);
    FillSolidRect(x + cx, y, -1, cy, crBottomRight);
    FillSolidRect(x, y + cy, cx, -1, crBottomRight);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF crColor)
{
    if (QPainter* p = Painter())
        p->fillRect(x, y, 1, 1, ToQColor(crColor));
    return crColor & 0xFFFFFF;
}

void CDC::FillRect(const CRect& rect, const CBrush* pBrush)
{
    QPainter* p = Painter();
    if (p == nullptr || pBrush == nullptr || !pBrush->IsCreated() || pBrush->IsNull())
        return;
    p->fillRect(Normalised(rect.left, rect.top, rect.right, rect.bottom),
                ToQColor(pBrush->GetColor()));
}

int CDC::Polygon(const CPoint* pPoints, int nCount)
{
    QPainter* p = Painter();
    if (p == nullptr || pPoints == nullptr || nCount < 2)
        return 0;
    QPolygon polygon(nCount);
    for (int i = 0; i < nCount; ++i)
        polygon.setPoint(i, pPoints[i].x, pPoints[i].y);
    p->setPen(m_pen);
    p->setBrush(m_brush ? QBrush(*m_brush) : QBrush(Qt::NoBrush));
    p->drawPolygon(polygon);
    if (m_pen.style() != Qt::NoPen && m_pen.isCosmetic()) {
        // Qt's thin outline may leave out the pixel where an edge ends; every vertex
        // belongs to the outline.
        for (const QPoint& vertex : std::as_const(polygon))
            p->fillRect(vertex.x(), vertex.y(), 1, 1, m_pen.color());
    }
    return 1;
}

int CDC::Polyline(const CPoint* pPoints, int nCount)
{
    QPainter* p = Painter();
    if (p == nullptr || pPoints == nullptr || nCount < 2)
        return 0;
    QPolygon polyline(nCount);
    for (int i = 0; i < nCount; ++i)
        polyline.setPoint(i, pPoints[i].x, pPoints[i].y);
    p->setPen(m_pen);
    p->setBrush(Qt::NoBrush);
    p->drawPolyline(polyline);
    return 1;
}

int CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc,
                std::uint32_t dwRop)
{
    bool bKnown = false;
    const QPainter::CompositionMode mode = RasterMode(dwRop, &bKnown);
    QPainter* p = Painter();
    if (!bKnown || p == nullptr || pSrcDC == nullptr || pSrcDC->m_pImage == nullptr)
        return 0;
    const QImage& source = *pSrcDC->m_pImage;
    const QRect area = QRect(xSrc, ySrc, nWidth, nHeight) & source.rect();
    if (area.isEmpty())
        return 1;
    const QPoint target(x + area.left() - xSrc, y + area.top() - ySrc);
    const QPainter::CompositionMode before = p->compositionMode();
    p->setCompositionMode(mode);
    if (&source == m_pImage)
        p->drawImage(target, source.copy(area));
    else
        p->drawImage(target, source, area);
    p->setCompositionMode(before);
    return 1;
}

const QFontMetrics* CDC::Metrics() const
{
    if (!m_metrics && QGuiApplication::instance() != nullptr)
        m_metrics.emplace(m_font);
    return m_metrics ? &*m_metrics : nullptr;
}

void CDC::DrawTextAt(int x, int y, const QString& text, const QFontMetrics& metrics, int nWidth)
{
    QPainter* p = Painter();
    const QTransform before = p->transform();
    p->translate(x, y);
    if (m_nEscapement != 0)
        p->rotate(-m_nEscapement / 10.0);
    p->fillRect(QRect(0, 0, nWidth, metrics.height()), ToQColor(m_crBk));
    p->setFont(m_font);
    p->setPen(ToQColor(m_crText));
    p->drawText(0, metrics.ascent(), text);
    p->setTransform(before);
}

int CDC::TextOut(int x, int y, std::string_view text, int nWidth)
{
    const QFontMetrics* metrics = Metrics();
    if (Painter() == nullptr || metrics == nullptr)
        return 0;
    const QString string = ToQString(text);
    DrawTextAt(x, y, string, *metrics, nWidth >= 0 ? nWidth : metrics->horizontalAdvance(string));
    return 1;
}

int CDC::DrawText(std::string_view text, CRect* pRect, unsigned nFormat)
{
    const QFontMetrics* metrics = Metrics();
    if (pRect == nullptr || metrics == nullptr)
        return 0;
    QPainter* p = Painter();
    if (p == nullptr)
        return metrics->height();
    const QString string = ToQString(text);
    const int nWidth = metrics->horizontalAdvance(string);
    const int nHeight = metrics->height();
    int x = pRect->left;
    if ((nFormat & DT_CENTER) != 0)
        x = pRect->left + (pRect->Width() - nWidth) / 2;
    else if ((nFormat & DT_RIGHT) != 0)
        x = pRect->right - nWidth;
    int y = pRect->top;
    if ((nFormat & DT_VCENTER) != 0 && (nFormat & DT_SINGLELINE) != 0)
        y = pRect->top + (pRect->Height() - nHeight) / 2;
    else if ((nFormat & DT_BOTTOM) != 0 && (nFormat & DT_SINGLELINE) != 0)
        y = pRect->bottom - nHeight;
    const bool bClip = (nFormat & DT_NOCLIP) == 0;
    if (bClip) {
        p->save();
        p->setClipRect(Normalised(pRect->left, pRect->top, pRect->right, pRect->bottom),
                       Qt::IntersectClip);
    }
    DrawTextAt(x, y, string, *metrics, nWidth);
    if (bClip)
        p->restore();
    return nHeight;
}

CSize CDC::GetTextExtentPoint32(std::string_view text) const
{
    const QFontMetrics* metrics = Metrics();
    if (metrics == nullptr)
        return {};
    const QString string = ToQString(text);
    return {metrics->horizontalAdvance(string), metrics->height()};
}
