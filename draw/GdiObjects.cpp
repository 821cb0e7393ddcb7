#include "draw/GdiObjects.h"

#include "base/QtText.h"
#include "draw/DC.h"
#include "draw/Resources.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>

#include <cstdlib>

namespace {

// The face the player asks for, in its two spellings and its ASCII name.
bool IsProportionalGothic(const std::string& face)
{
    return face == "ＭＳ　Ｐゴシック" || face == "ＭＳ Ｐゴシック" || face == "MS PGothic";
}

const QString kGothicStandIn = QStringLiteral("IPAPGothic");

// Default size of a font created with height 0, in pixels.
constexpr int kDefaultPixelHeight = 12;

// Whether a family of that name is installed, under whichever of its names: the font database
// lists a family under the name of the locale's language ("IPA Pゴシック" under a Japanese
// locale for "IPAPGothic").
bool HasFamily(const QString& family)
{
    return QFontDatabase::hasFamily(family);
}

} // namespace

int CPen::CreatePen(int nStyle, int nWidth, COLORREF crColor)
{
    if (m_bCreated || (nStyle != PS_SOLID && nStyle != PS_NULL) || nWidth < 0)
        return 0;
    m_nStyle = nStyle;
    m_nWidth = nWidth == 0 ? 1 : nWidth;
    m_crColor = crColor & 0xFFFFFF;
    m_bCreated = true;
    return 1;
}

int CPen::DeleteObject()
{
    if (!m_bCreated || m_bStock)
        return 0;
    m_bCreated = false;
    return 1;
}

CPen CPen::MakeStock(int nStyle, COLORREF crColor)
{
    CPen pen(nStyle, 1, crColor);
    pen.m_bStock = true;
    return pen;
}

const CPen* CPen::Stock(int nObject)
{
    static const CPen white = MakeStock(PS_SOLID, 0xFFFFFF);
    static const CPen black = MakeStock(PS_SOLID, 0);
    static const CPen none = MakeStock(PS_NULL, 0);
    switch (nObject) {
    case WHITE_PEN:
        return &white;
    case NULL_PEN:
        return &none;
    default:
        return &black;
    }
}

int CBrush::CreateSolidBrush(COLORREF crColor)
{
    if (m_bCreated)
        return 0;
    m_crColor = crColor & 0xFFFFFF;
    m_bNull = false;
    m_bCreated = true;
    return 1;
}

int CBrush::DeleteObject()
{
    if (!m_bCreated || m_bStock)
        return 0;
    m_bCreated = false;
    return 1;
}

CBrush CBrush::MakeStock(COLORREF crColor, bool bNull)
{
    CBrush brush(crColor);
    brush.m_bStock = true;
    brush.m_bNull = bNull;
    return brush;
}

const CBrush* CBrush::Stock(int nObject)
{
    static const CBrush brushes[] = {MakeStock(0xFFFFFF, false), MakeStock(0xC0C0C0, false),
                                     MakeStock(0x808080, false), MakeStock(0x404040, false),
                                     MakeStock(0, false),        MakeStock(0, true)};
    if (nObject < WHITE_BRUSH || nObject > NULL_BRUSH)
        nObject = WHITE_BRUSH;
    return &brushes[nObject];
}

QString CFont::ResolveFaceName(const std::string& face)
{
    const QString wanted = ToQString(face);
    if (!wanted.isEmpty() && HasFamily(wanted))
        return wanted;
    if (IsProportionalGothic(face) && HasFamily(kGothicStandIn))
        return kGothicStandIn;
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

int CFont::CreateFontIndirect(const LOGFONT& logFont)
{
    if (m_bCreated || QGuiApplication::instance() == nullptr)
        return 0;
    QFont font(ResolveFaceName(logFont.lfFaceName));
    int nPixels = std::abs(logFont.lfHeight);
    if (logFont.lfHeight == 0)
        nPixels = kDefaultPixelHeight;
    font.setPixelSize(nPixels);
    if (logFont.lfHeight > 0) {
        // A positive height is the whole cell: scale the character height to fit it.
        const int nCell = QFontMetrics(font).height();
        if (nCell > 0)
            font.setPixelSize(std::max(1, nPixels * nPixels / nCell));
    }
    font.setWeight(logFont.lfWeight >= FW_BOLD ? QFont::Bold : QFont::Normal);
    font.setItalic(logFont.lfItalic != 0);
    font.setUnderline(logFont.lfUnderline != 0);
    font.setStrikeOut(logFont.lfStrikeOut != 0);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    m_font = font;
    m_logFont = logFont;
    m_bCreated = true;
    return 1;
}

int CFont::DeleteObject()
{
    if (!m_bCreated || m_bStock)
        return 0;
    m_bCreated = false;
    m_font = QFont();
    m_logFont = LOGFONT();
    return 1;
}

int CFont::GetLogFont(LOGFONT* pLogFont) const
{
    if (!m_bCreated || pLogFont == nullptr)
        return 0;
    *pLogFont = m_logFont;
    return 1;
}

QFont CFont::GetQFont() const
{
    if (!m_bStock)
        return m_font;
    QFont font = QGuiApplication::instance() != nullptr ? QGuiApplication::font() : QFont();
    font.setStyleStrategy(QFont::NoAntialias);
    font.setKerning(false);
    return font;
}

const CFont* CFont::Stock(int)
{
    static const CFont font = [] {
        CFont stock;
        stock.m_bStock = true;
        stock.m_bCreated = true;
        return stock;
    }();
    return &font;
}

CBitmap::~CBitmap()
{
    if (m_pSelectedIn != nullptr)
        m_pSelectedIn->ReleaseBitmap();
}

int CBitmap::CreateCompatibleBitmap(CDC*, int nWidth, int nHeight)
{
    if (IsCreated() || nWidth < 1 || nHeight < 1)
        return 0;
    QImage image(nWidth, nHeight, QImage::Format_RGB32);
    if (image.isNull())
        return 0;
    image.fill(Qt::black);
    m_image = std::move(image);
    return 1;
}

int CBitmap::LoadBitmap(unsigned nID)
{
    if (IsCreated())
        return 0;
    // The format named and no guessing: else Qt loads every image plug-in to ask whether it
    // reads the file, before its own reader of bitmaps.
    QImageReader reader(BitmapResourcePath(nID), "BMP");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull())
        return 0;
    m_image = image.convertToFormat(QImage::Format_RGB32);
    return 1;
}

int CBitmap::DeleteObject()
{
    if (!IsCreated() || m_pSelectedIn != nullptr)
        return 0;
    m_image = QImage();
    return 1;
}
