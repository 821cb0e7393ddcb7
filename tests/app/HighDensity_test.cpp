#include "tests/app/AppTest.h"

#include "app/DocTemplate.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

namespace {

// The window as a screen of scale nScale shows it: painted with that device pixel ratio.
QImage PaintAtScale(QWidget& window, int nScale)
{
    QImage image(window.size() * nScale, QImage::Format_RGB32);
    image.setDevicePixelRatio(nScale);
    image.fill(Qt::magenta);
    window.render(&image);
    image.setDevicePixelRatio(1);
    return image;
}

class HighDensity : public AppTest
{};

// Catches panel text, glyphs, bitmaps or border drawn at the screen's resolution (smooth
// or thin) instead of as whole 2x2 blocks of the design's pixels.
TEST_F(HighDensity, ATwiceDenseScreenShowsEveryDesignPixelAsA2x2Block)
{
    m_dir.Write("Sorvix.ini", "[LAYOUT]=0\r\n");
    ASSERT_EQ(Start(), 1);
    QWidget& window = *m_app->m_pMainWnd;
    QCoreApplication::processEvents();
    const QImage single = PaintAtScale(window, 1);
    const QImage dense = PaintAtScale(window, 2);
    ASSERT_EQ(dense.size(), single.size() * 2);
    const QImage expected =
        single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    int nDiffer = 0;
    for (int y = 0; y < dense.height(); ++y) {
        for (int x = 0; x < dense.width(); ++x) {
            nDiffer += dense.pixel(x, y) != expected.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_EQ(nDiffer, 0);
}

} // namespace

namespace {

// Catches a fractional scale passed on to Qt, which would blur every picture.
TEST(WholeScaleFactor, RoundsToTheNearestWholeFactorOfAtLeastOne)
{
    EXPECT_EQ(WholeScaleFactor("2"), "2");
    EXPECT_EQ(WholeScaleFactor("1.5"), "2");
    EXPECT_EQ(WholeScaleFactor("1.25"), "1");
    EXPECT_EQ(WholeScaleFactor("0.5"), "1");
    EXPECT_EQ(WholeScaleFactor("abc"), "");
}

} // namespace
