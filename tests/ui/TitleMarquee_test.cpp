#include "ui/TitleMarquee.h"

#include "draw/DC.h"

#include "tests/ui/UiTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kLed = 0xE7FFF7;

// Twenty one-byte characters of 5 pixels each in the 10-pixel panel face: 100 pixels.
const std::string kHundredPixels = "cvsxyzkcvsxyzkcvsxyz";

class TitleMarquee : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        LOGFONT logFont;
        logFont.lfHeight = -10;
        logFont.lfFaceName = "ＭＳ　Ｐゴシック";
        ASSERT_TRUE(m_font.CreateFontIndirect(logFont));
        LOGFONT rotated = logFont;
        rotated.lfEscapement = -900;
        ASSERT_TRUE(m_rotated.CreateFontIndirect(rotated));
    }

    void SetText(CTitleMarquee& marquee, const std::string& text, const CRect& rc, int nDirection,
                 const CFont& font)
    {
        CDC dc;
        dc.SelectObject(&font);
        marquee.SetText(&dc, text, rc.left, rc.top, rc.right, rc.bottom, nDirection);
    }

    // The marquee's drawing and a plain TextOut at (x, y) on a fresh panel image.
    QImage DrawMarquee(CTitleMarquee& marquee, int bAdvance, const CFont& font, QSize size)
    {
        QImage image = FilledImage(size.width(), size.height(), kLed);
        CDC dc(&image);
        dc.SelectObject(&font);
        dc.SetBkColor(kLed);
        marquee.Draw(&dc, bAdvance);
        return image;
    }
    QImage DrawPlain(const std::string& text, int x, int y, const CFont& font, QSize size)
    {
        QImage image = FilledImage(size.width(), size.height(), kLed);
        CDC dc(&image);
        dc.SelectObject(&font);
        dc.SetBkColor(kLed);
        dc.TextOut(x, y, text);
        return image;
    }

    CFont m_font;
    CFont m_rotated;
};

TEST_F(TitleMarquee, StepIsTheTextWidthPerByte)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    ASSERT_EQ(marquee.GetTextWidth(), 100);
    EXPECT_EQ(marquee.GetStep(), 5);
    EXPECT_EQ(marquee.GetTicks(), 0);
}

TEST_F(TitleMarquee, HorizontalTitleMovesFivePixelsPerTickAndWrapsAtTick25)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    const QSize panel(62, 21);
    EXPECT_EQ(DrawMarquee(marquee, 0, m_font, panel),
              DrawPlain(kHundredPixels, 50, 0, m_font, panel));
    for (int tick = 1; tick <= 24; ++tick) {
        EXPECT_EQ(DrawMarquee(marquee, 1, m_font, panel),
                  DrawPlain(kHundredPixels, 50 - 5 * tick, 0, m_font, panel))
            << tick;
    }
    EXPECT_EQ(DrawMarquee(marquee, 1, m_font, panel),
              DrawPlain(kHundredPixels, 50, 0, m_font, panel));
    EXPECT_EQ(marquee.GetTicks(), 0);
    EXPECT_EQ(DrawMarquee(marquee, 1, m_font, panel),
              DrawPlain(kHundredPixels, 45, 0, m_font, panel));
}

TEST_F(TitleMarquee, DrawingWithoutAdvanceKeepsThePosition)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    DrawMarquee(marquee, 1, m_font, {62, 21});
    DrawMarquee(marquee, 1, m_font, {62, 21});
    EXPECT_EQ(DrawMarquee(marquee, 0, m_font, {62, 21}),
              DrawPlain(kHundredPixels, 40, 0, m_font, {62, 21}));
    EXPECT_EQ(marquee.GetTicks(), 2);
}

TEST_F(TitleMarquee, VerticalTitleMovesUpFromTheBottomOfItsRectangle)
{
    CTitleMarquee marquee;
    const CRect rc(0, 15, 12, 100);
    SetText(marquee, kHundredPixels, rc, CTitleMarquee::MARQUEE_VERTICAL, m_rotated);
    const QSize panel(13, 180);
    EXPECT_EQ(DrawMarquee(marquee, 0, m_rotated, panel),
              DrawPlain(kHundredPixels, 12, 100, m_rotated, panel));
    EXPECT_EQ(DrawMarquee(marquee, 1, m_rotated, panel),
              DrawPlain(kHundredPixels, 12, 95, m_rotated, panel));
    // (5 + 1) x 31 = 186 >= 100 + 100 - 15 wraps on tick 31.
    for (int tick = 2; tick <= 30; ++tick)
        DrawMarquee(marquee, 1, m_rotated, panel);
    EXPECT_EQ(marquee.GetTicks(), 30);
    DrawMarquee(marquee, 1, m_rotated, panel);
    EXPECT_EQ(marquee.GetTicks(), 0);
}

TEST_F(TitleMarquee, NewTextRestartsEvenWhenUnchanged)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    DrawMarquee(marquee, 1, m_font, {62, 21});
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    EXPECT_EQ(marquee.GetTicks(), 0);
}

TEST_F(TitleMarquee, EmptyTextKeepsStepAndPosition)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL,
            m_font);
    DrawMarquee(marquee, 1, m_font, {62, 21});
    SetText(marquee, "", CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL, m_font);
    EXPECT_EQ(marquee.GetStep(), 5);
    EXPECT_EQ(marquee.GetTicks(), 1);
}

TEST_F(TitleMarquee, UnknownDirectionDrawsNothing)
{
    CTitleMarquee marquee;
    SetText(marquee, kHundredPixels, CRect(0, 0, 50, 10), 7, m_font);
    const QImage image = DrawMarquee(marquee, 1, m_font, {62, 21});
    EXPECT_EQ(CountColor(image, 0, 0, 62, 21, kLed), 62 * 21);
}

TEST_F(TitleMarquee, JapaneseTitleStepsByItsByteLength)
{
    CTitleMarquee marquee;
    const std::string title = "演奏停止"; // 4 characters, 12 bytes in UTF-8
    SetText(marquee, title, CRect(0, 0, 50, 10), CTitleMarquee::MARQUEE_HORIZONTAL, m_font);
    ASSERT_GT(marquee.GetTextWidth(), 0);
    EXPECT_EQ(marquee.GetStep(), marquee.GetTextWidth() / 12);
    const QImage image = DrawMarquee(marquee, 0, m_font, {62, 21});
    EXPECT_LT(CountColor(image, 50, 0, 62, 10, kLed), 12 * 10);
}

} // namespace
