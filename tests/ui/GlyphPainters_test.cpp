#include "ui/GlyphPainters.h"

#include "draw/DC.h"
#include "res/Resource.h"
#include "ui/UiResources.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr COLORREF kFace = 0xFFC8B4;
constexpr COLORREF kGrey = 0x808080;

struct Shape
{
    const char* name;
    GlyphPainter painter;
    std::vector<CPoint> inside;  // vertices and interior points
    std::vector<CPoint> outside; // neighbours just outside
};

// The glyphs at 18 x 18, with the points that must and must not be painted.
const std::vector<Shape>& Shapes()
{
    static const std::vector<Shape> shapes = {
        {"play",
         DrawPlayGlyph,
         {{3, 3}, {15, 9}, {3, 15}, {8, 9}, {4, 14}},
         {{2, 9}, {16, 9}, {3, 2}, {3, 16}, {10, 5}, {10, 13}}},
        {"stop",
         DrawStopGlyph,
         {{4, 4}, {13, 4}, {4, 13}, {13, 13}, {9, 9}},
         {{3, 4}, {4, 3}, {14, 13}, {13, 14}, {14, 14}}},
        {"previous",
         DrawPrevGlyph,
         {{3, 3}, {5, 15}, {4, 9}, {10, 3}, {10, 15}, {15, 3}, {15, 15}, {12, 9}},
         {{2, 9}, {3, 16}, {6, 3}, {16, 9}, {15, 16}, {9, 2}}},
        {"pause",
         DrawPauseGlyph,
         {{4, 4}, {6, 13}, {11, 4}, {13, 13}},
         {{3, 8}, {7, 8}, {10, 8}, {14, 8}, {5, 14}, {12, 3}}},
        {"next",
         DrawNextGlyph,
         {{3, 3}, {9, 9}, {3, 15}, {8, 3}, {15, 9}, {8, 15}, {12, 3}, {15, 15}},
         {{2, 9}, {16, 9}, {12, 16}, {3, 16}, {11, 2}}},
        {"playlist",
         DrawPlaylistGlyph,
         {{3, 3}, {14, 3}, {8, 15}, {8, 8}},
         {{2, 3}, {15, 3}, {8, 2}, {8, 16}, {4, 10}}},
        {"eject",
         DrawEjectGlyph,
         {{3, 12}, {15, 14}, {9, 3}, {3, 10}, {15, 10}, {9, 7}},
         {{2, 13}, {16, 12}, {3, 15}, {9, 11}, {9, 2}, {4, 5}}},
    };
    return shapes;
}

// Paints one glyph the way a full redraw does: on the face colour, 18 x 18.
QImage Paint(GlyphPainter painter, unsigned itemState, COLORREF crFace = kFace)
{
    QImage image = FilledImage(18, 18, crFace);
    {
        CDC dc(&image);
        DRAWITEMSTRUCT dis;
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = itemState;
        dis.hDC = &dc;
        dis.rcItem = CRect(0, 0, 18, 18);
        EXPECT_EQ(painter(&dis), 0);
    }
    return image;
}

QImage LoadResource(unsigned nID)
{
    CBitmap bitmap;
    EXPECT_TRUE(bitmap.LoadBitmap(nID)) << nID;
    return bitmap.GetImage();
}

class GlyphPainters : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        EnsureUiResources();
    }
};

TEST_F(GlyphPainters, ShapesCoverTheirVerticesAndInteriorsInBlack)
{
    for (const Shape& shape : Shapes()) {
        const QImage image = Paint(shape.painter, 0);
        for (const CPoint& pt : shape.inside)
            EXPECT_EQ(PixelAt(image, pt.x, pt.y), 0u) << shape.name << " " << pt.x << "," << pt.y;
        for (const CPoint& pt : shape.outside) {
            EXPECT_EQ(PixelAt(image, pt.x, pt.y), kFace)
                << shape.name << " " << pt.x << "," << pt.y;
        }
    }
}

TEST_F(GlyphPainters, DisabledShapesAreGreyWithAGreyOutline)
{
    for (const Shape& shape : Shapes()) {
        const QImage image = Paint(shape.painter, ODS_DISABLED);
        for (const CPoint& pt : shape.inside) {
            EXPECT_EQ(PixelAt(image, pt.x, pt.y), kGrey)
                << shape.name << " " << pt.x << "," << pt.y;
        }
        EXPECT_EQ(CountColor(image, 0, 0, 18, 18, 0), 0) << shape.name;
        EXPECT_EQ(CountColor(image, 0, 0, 18, 18, kGrey) + CountColor(image, 0, 0, 18, 18, kFace),
                  18 * 18)
            << shape.name;
    }
}

TEST_F(GlyphPainters, PaintersLeaveTheBrushAndPenTheyFound)
{
    CBrush brush(0x123456);
    CPen pen(PS_SOLID, 1, 0x654321);
    for (unsigned state : {0u, ODS_DISABLED}) {
        for (const Shape& shape : Shapes()) {
            QImage image = FilledImage(18, 18, kFace);
            CDC dc(&image);
            dc.SelectObject(&brush);
            dc.SelectObject(&pen);
            DRAWITEMSTRUCT dis;
            dis.itemAction = ODA_DRAWENTIRE;
            dis.itemState = state;
            dis.hDC = &dc;
            dis.rcItem = CRect(0, 0, 18, 18);
            shape.painter(&dis);
            EXPECT_EQ(dc.SelectObject(CBrush::Stock(WHITE_BRUSH)), &brush) << shape.name;
            EXPECT_EQ(dc.SelectObject(CPen::Stock(BLACK_PEN)), &pen) << shape.name;
        }
    }
}

TEST_F(GlyphPainters, NullRecordOrContextDrawsNothing)
{
    DRAWITEMSTRUCT dis;
    dis.itemAction = ODA_DRAWENTIRE;
    for (GlyphPainter painter : kGlyphPainters) {
        EXPECT_EQ(painter(nullptr), 0);
        EXPECT_EQ(painter(&dis), 0);
    }
}

// Where the mask is white the face stays; elsewhere the result is (face AND mask) XOR
// picture, which is the picture itself wherever the mask is black.
void ExpectPictureOnFace(GlyphPainter painter, unsigned nMask, unsigned nPicture, CPoint at,
                         COLORREF crFace)
{
    const QImage mask = LoadResource(nMask);
    const QImage picture = LoadResource(nPicture);
    const QImage image = Paint(painter, 0, crFace);
    int nFace = 0;
    int nPictureOnly = 0;
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 18; ++x) {
            const int mx = x - at.x;
            const int my = y - at.y;
            const bool inPicture = mx >= 0 && my >= 0 && mx < mask.width() && my < mask.height();
            if (!inPicture) {
                EXPECT_EQ(PixelAt(image, x, y), crFace) << x << "," << y;
                continue;
            }
            const COLORREF m = PixelAt(mask, mx, my);
            const COLORREF p = PixelAt(picture, mx, my);
            EXPECT_EQ(PixelAt(image, x, y), (crFace & m) ^ p) << x << "," << y;
            if (m == 0xFFFFFF) {
                EXPECT_EQ(PixelAt(image, x, y), crFace) << x << "," << y;
                ++nFace;
            } else if (m == 0) {
                EXPECT_EQ(PixelAt(image, x, y), p) << x << "," << y;
                ++nPictureOnly;
            }
        }
    }
    EXPECT_GT(nFace, 10);
    EXPECT_GT(nPictureOnly, 50);
}

TEST_F(GlyphPainters, OpenPictureKeepsTheFaceWhereItsMaskIsWhite)
{
    ExpectPictureOnFace(DrawOpenGlyph, IDB_OPEN_MASK, IDB_OPEN, {1, 3}, kFace);
}

TEST_F(GlyphPainters, CdPictureKeepsTheFaceWhereItsMaskIsWhite)
{
    ExpectPictureOnFace(DrawCdPlayGlyph, IDB_CD_MASK, IDB_CD, {1, 1}, kFace);
}

TEST_F(GlyphPainters, PicturesKeepTransparentCornersOnANewFaceColour)
{
    ExpectPictureOnFace(DrawOpenGlyph, IDB_OPEN_MASK, IDB_OPEN, {1, 3}, RGB(20, 200, 90));
    ExpectPictureOnFace(DrawCdPlayGlyph, IDB_CD_MASK, IDB_CD, {1, 1}, RGB(20, 200, 90));
}

TEST_F(GlyphPainters, DisabledPicturesLookTheSameAsEnabledOnes)
{
    EXPECT_EQ(Paint(DrawOpenGlyph, ODS_DISABLED), Paint(DrawOpenGlyph, 0));
    EXPECT_EQ(Paint(DrawCdPlayGlyph, ODS_DISABLED), Paint(DrawCdPlayGlyph, 0));
}

TEST_F(GlyphPainters, CdMaskIsACentredDiscOfTheGivenRowWidths)
{
    const QImage mask = LoadResource(IDB_CD_MASK);
    ASSERT_EQ(mask.size(), QSize(15, 15));
    const int widths[] = {5, 9, 11, 13, 13, 15, 15, 15, 15, 15, 13, 13, 11, 9, 5};
    for (int y = 0; y < 15; ++y) {
        const int left = (15 - widths[y]) / 2;
        for (int x = 0; x < 15; ++x) {
            const bool inDisc = x >= left && x < left + widths[y];
            EXPECT_EQ(PixelAt(mask, x, y), inDisc ? 0u : 0xFFFFFFu) << x << "," << y;
        }
    }
}

TEST_F(GlyphPainters, PicturesAreBlackWhereTheirMasksAreWhite)
{
    const std::pair<unsigned, unsigned> pairs[] = {{IDB_OPEN_MASK, IDB_OPEN},
                                                   {IDB_CD_MASK, IDB_CD}};
    for (const auto& [nMask, nPicture] : pairs) {
        const QImage mask = LoadResource(nMask);
        const QImage picture = LoadResource(nPicture);
        ASSERT_EQ(mask.size(), picture.size());
        for (int y = 0; y < mask.height(); ++y) {
            for (int x = 0; x < mask.width(); ++x)
                if (PixelAt(mask, x, y) == 0xFFFFFF)
                    EXPECT_EQ(PixelAt(picture, x, y), 0u) << nPicture << " " << x << "," << y;
                else
                    EXPECT_NE(PixelAt(picture, x, y), 0u) << nPicture << " " << x << "," << y;
        }
    }
}

TEST_F(GlyphPainters, OpenMaskHoldsOnlyWhiteBlackAndNearBlackOutline)
{
    const QImage mask = LoadResource(IDB_OPEN_MASK);
    ASSERT_EQ(mask.size(), QSize(15, 13));
    const int nWhite = CountColor(mask, 0, 0, 15, 13, 0xFFFFFF);
    const int nBlack = CountColor(mask, 0, 0, 15, 13, 0);
    const int nOutline = CountColor(mask, 0, 0, 15, 13, RGB(1, 1, 1));
    EXPECT_GT(nWhite, 0);
    EXPECT_GT(nBlack, 0);
    EXPECT_GT(nOutline, 0);
    EXPECT_EQ(nWhite + nBlack + nOutline, 15 * 13);
}

} // namespace
