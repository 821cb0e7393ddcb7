#pragma once

#include "draw/GdiTypes.h"

#include <QFont>
#include <QImage>

#include <string>

// Drawing objects that a device context (draw/DC.h) selects: pens, brushes, fonts and
// bitmaps. An object is empty until created; DeleteObject empties it again. Stock objects
// are shared, never deleted, and exist before any window. All of this is used on the
// user-interface thread only; fonts need the Qt application object to exist.

class CPen
{
public:
    CPen() = default;
    CPen(int nStyle, int nWidth, COLORREF crColor) { CreatePen(nStyle, nWidth, crColor); }

    // A solid (PS_SOLID) or invisible (PS_NULL) pen nWidth pixels wide (0 counts as 1).
    // FALSE for another style, a negative width, or when the pen already exists.
    int CreatePen(int nStyle, int nWidth, COLORREF crColor);
    int DeleteObject();
    bool IsCreated() const { return m_bCreated; }

    int GetStyle() const { return m_nStyle; }
    int GetWidth() const { return m_nWidth; }
    COLORREF GetColor() const { return m_crColor; }

    // WHITE_PEN, BLACK_PEN or NULL_PEN; the black pen for any other number.
    static const CPen* Stock(int nObject);

private:
    static CPen MakeStock(int nStyle, COLORREF crColor);

    bool m_bCreated = false;
    bool m_bStock = false;
    int m_nStyle = PS_SOLID;
    int m_nWidth = 1;
    COLORREF m_crColor = 0;
};

class CBrush
{
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }

    // FALSE when the brush already exists.
    int CreateSolidBrush(COLORREF crColor);
    int DeleteObject();
    bool IsCreated() const { return m_bCreated; }

    // A null brush fills nothing.
    bool IsNull() const { return m_bNull; }
    COLORREF GetColor() const { return m_crColor; }

    // WHITE_BRUSH (0xFFFFFF), LTGRAY_BRUSH (0xC0C0C0), GRAY_BRUSH (0x808080), DKGRAY_BRUSH
    // (0x404040), BLACK_BRUSH (0) or NULL_BRUSH; the white brush for any other number.
    static const CBrush* Stock(int nObject);

private:
    static CBrush MakeStock(COLORREF crColor, bool bNull);

    bool m_bCreated = false;
    bool m_bStock = false;
    bool m_bNull = false;
    COLORREF m_crColor = 0;
};

// The description a font is created from. Heights are in pixels: negative for the height
// of the characters, positive for the height of the character cell, 0 for a default size.
// Escapement is the angle of the baseline in tenths of a degree, counter-clockwise (−900 runs
// the text downwards). A weight of 0 means normal.
struct LOGFONT
{
    int lfHeight = 0;
    int lfWidth = 0;
    int lfEscapement = 0;
    int lfOrientation = 0;
    int lfWeight = 0;
    int lfItalic = 0;
    int lfUnderline = 0;
    int lfStrikeOut = 0;
    int lfCharSet = 0;
    std::string lfFaceName; // UTF-8
};

class CFont
{
public:
    CFont() = default;

    // FALSE when the font already exists or no Qt application object exists. The face is
    // looked up by ResolveFaceName.
    int CreateFontIndirect(const LOGFONT& logFont);
    int DeleteObject();
    bool IsCreated() const { return m_bCreated; }

    // Copies the description the font was created from; FALSE for an empty font.
    int GetLogFont(LOGFONT* pLogFont) const;

    // The Qt font that draws this font: unrotated, aliased, without kerning. For the stock
    // font, the application's default face at its default pixel size.
    QFont GetQFont() const;
    int GetEscapement() const { return m_logFont.lfEscapement; }

    // DEFAULT_GUI_FONT (any number gives it).
    static const CFont* Stock(int nObject);

    // The installed family that stands in for face: the face itself when installed; for
    // "ＭＳ　Ｐゴシック", "ＭＳ Ｐゴシック" or "MS PGothic", IPA P Gothic when installed; else the
    // default sans face. In every locale alike, whatever name the locale gives a family.
    // Needs the Qt application object.
    static QString ResolveFaceName(const std::string& face);

private:
    bool m_bCreated = false;
    bool m_bStock = false;
    LOGFONT m_logFont;
    QFont m_font;
};

// A 32-bit image (QImage::Format_RGB32) that a memory device context draws into. A bitmap
// can be selected into one device context at a time; while it is selected it cannot be
// deleted, and destroying it first takes it out of that context.
class CBitmap
{
public:
    CBitmap() = default;
    ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // A black bitmap of nWidth x nHeight (both 1 or more). pDC names the context it is
    // meant for and may be null: every bitmap has the same 32-bit format. FALSE for a bad
    // size or when the bitmap already exists.
    int CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
    // Loads bitmap resource nID (draw/Resources.h); FALSE when it is missing or
    // unreadable, or when the bitmap already exists.
    int LoadBitmap(unsigned nID);
    // FALSE while the bitmap is selected into a device context.
    int DeleteObject();
    bool IsCreated() const { return !m_image.isNull(); }

    CSize GetSize() const { return {m_image.width(), m_image.height()}; }
    const QImage& GetImage() const { return m_image; }

private:
    friend class CDC;

    QImage m_image;
    CDC* m_pSelectedIn = nullptr;
};
