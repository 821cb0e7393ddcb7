#include "ui/TransportButton.h"

#include "tests/ui/UiTestSupport.h"

#include <QFocusEvent>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr COLORREF kFace = 0xFFC8B4;
constexpr COLORREF kWhite = 0xFFFFFF;

class TransportButton : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        m_parent = std::make_unique<QWidget>();
        m_parent->resize(100, 100);
        m_button = new CTransportButton;
        ASSERT_TRUE(m_button->Create("open", WS_VISIBLE | BS_OWNERDRAW, CRect(18, 21, 36, 39),
                                     m_parent.get(), 2001));
    }

    const QImage& Picture() const { return m_button->Picture(); }

    void SendMouse(QEvent::Type type, Qt::MouseButtons buttons)
    {
        const QPointF at(9, 9);
        QMouseEvent event(type, at, m_button->mapToGlobal(at), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(m_button, &event);
    }
    void SendFocus(QEvent::Type type)
    {
        QFocusEvent event(type, Qt::TabFocusReason);
        QApplication::sendEvent(m_button, &event);
    }

    std::unique_ptr<QWidget> m_parent;
    CTransportButton* m_button = nullptr; // owned by m_parent
};

// Draws one owner-draw request straight into an 18 x 18 image that starts in blue.
QImage DrawRequest(CTransportButton& button, unsigned itemAction, unsigned itemState)
{
    QImage image = FilledImage(18, 18, RGB(0, 0, 255));
    {
        CDC dc(&image);
        DRAWITEMSTRUCT dis;
        dis.itemAction = itemAction;
        dis.itemState = itemState;
        dis.hDC = &dc;
        dis.rcItem = CRect(0, 0, 18, 18);
        button.DrawItem(&dis);
    }
    return image;
}

bool IsRaised(const QImage& image)
{
    return PixelAt(image, 0, 0) == kWhite && PixelAt(image, 16, 0) == kWhite &&
           PixelAt(image, 0, 16) == kWhite && PixelAt(image, 17, 0) == 0 &&
           PixelAt(image, 17, 17) == 0 && PixelAt(image, 0, 17) == 0;
}

bool IsSunken(const QImage& image)
{
    return PixelAt(image, 0, 0) == 0 && PixelAt(image, 16, 0) == 0 && PixelAt(image, 0, 16) == 0 &&
           PixelAt(image, 17, 0) == kWhite && PixelAt(image, 17, 17) == kWhite &&
           PixelAt(image, 0, 17) == kWhite;
}

// The 16 x 16 inside of the frame.
QImage Inside(const QImage& image)
{
    return image.copy(1, 1, 16, 16);
}

TEST_F(TransportButton, FullRedrawFillsTheDefaultFaceWithARaisedFrame)
{
    m_button->SetGlyphPainter(DrawStopGlyph);
    const QImage image = DrawRequest(*m_button, ODA_DRAWENTIRE, 0);
    EXPECT_TRUE(IsRaised(image));
    EXPECT_EQ(PixelAt(image, 1, 1), kFace);
    EXPECT_EQ(PixelAt(image, 16, 16), kFace);
    EXPECT_EQ(PixelAt(image, 9, 9), 0u);
}

TEST_F(TransportButton, FullRedrawWhileHeldDownStillShowsTheRaisedFrame)
{
    EXPECT_TRUE(IsRaised(DrawRequest(*m_button, ODA_DRAWENTIRE, ODS_SELECTED)));
}

TEST_F(TransportButton, SelectRequestDrawsOnlyTheFrameSunkenWhileSelected)
{
    const QImage sunken = DrawRequest(*m_button, ODA_SELECT, ODS_SELECTED);
    EXPECT_TRUE(IsSunken(sunken));
    EXPECT_EQ(CountColor(sunken, 1, 1, 17, 17, RGB(0, 0, 255)), 16 * 16);
    const QImage raised = DrawRequest(*m_button, ODA_SELECT, 0);
    EXPECT_TRUE(IsRaised(raised));
    EXPECT_EQ(CountColor(raised, 1, 1, 17, 17, RGB(0, 0, 255)), 16 * 16);
}

TEST_F(TransportButton, FocusDotsLieOnEverySecondPixelTwoInsideTheEdge)
{
    const QImage image = DrawRequest(*m_button, ODA_FOCUS, ODS_FOCUS);
    for (int i = 2; i <= 14; i += 2) {
        EXPECT_EQ(PixelAt(image, i, 2), 0u) << i;
        EXPECT_EQ(PixelAt(image, i, 15), 0u) << i;
        EXPECT_EQ(PixelAt(image, 2, i), 0u) << i;
        EXPECT_EQ(PixelAt(image, 15, i), 0u) << i;
    }
    EXPECT_EQ(PixelAt(image, 3, 2), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(image, 15, 15), RGB(0, 0, 255));
    EXPECT_EQ(CountColor(image, 0, 0, 18, 18, 0), 27);
}

TEST_F(TransportButton, FocusLeavingDrawsNothing)
{
    const QImage image = DrawRequest(*m_button, ODA_FOCUS, 0);
    EXPECT_EQ(CountColor(image, 0, 0, 18, 18, RGB(0, 0, 255)), 18 * 18);
}

TEST_F(TransportButton, WithoutPainterTheWindowTextIsCentredOnTheFace)
{
    const QImage image = DrawRequest(*m_button, ODA_DRAWENTIRE, 0);
    int minX = 18, maxX = -1, minY = 18, maxY = -1;
    for (int y = 1; y < 17; ++y) {
        for (int x = 1; x < 17; ++x) {
            if (PixelAt(image, x, y) != kFace) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    ASSERT_GE(maxX, 0) << "no text";
    EXPECT_LE(std::abs((minX + maxX) - 17), 3);
    EXPECT_LE(std::abs((minY + maxY) - 17), 4);
}

TEST_F(TransportButton, PressingChangesOnlyTheFrameAndReleasingRestoresIt)
{
    m_button->SetGlyphPainter(DrawPlayGlyph);
    m_button->Invalidate();
    const QImage before = Picture();
    ASSERT_TRUE(IsRaised(before));

    SendMouse(QEvent::MouseButtonPress, Qt::LeftButton);
    EXPECT_TRUE(IsSunken(Picture()));
    EXPECT_EQ(Inside(Picture()), Inside(before));

    SendMouse(QEvent::MouseButtonRelease, Qt::NoButton);
    EXPECT_EQ(Picture(), before);
}

TEST_F(TransportButton, FocusDotsStayAfterTheFocusLeavesUntilTheNextFullRedraw)
{
    m_button->SetGlyphPainter(DrawStopGlyph);
    m_button->Invalidate();
    const QImage plain = Picture();

    SendFocus(QEvent::FocusIn);
    EXPECT_EQ(PixelAt(Picture(), 2, 2), 0u);
    EXPECT_EQ(PixelAt(Picture(), 15, 14), 0u);
    SendFocus(QEvent::FocusOut);
    EXPECT_EQ(PixelAt(Picture(), 2, 2), 0u);

    m_button->Invalidate();
    EXPECT_EQ(Picture(), plain);
}

TEST_F(TransportButton, DisablingRedrawsTheGlyphInGrey)
{
    m_button->SetGlyphPainter(DrawPauseGlyph);
    m_button->Invalidate();
    EXPECT_EQ(PixelAt(Picture(), 5, 8), 0u);
    m_button->setEnabled(false);
    EXPECT_EQ(PixelAt(Picture(), 5, 8), 0x808080u);
    m_button->setEnabled(true);
    EXPECT_EQ(PixelAt(Picture(), 5, 8), 0u);
}

TEST_F(TransportButton, NewFaceColourShowsOnTheNextFullRedrawOnly)
{
    m_button->SetGlyphPainter(DrawStopGlyph);
    m_button->Invalidate();
    m_button->SetFaceColor(RGB(10, 120, 40));
    EXPECT_EQ(PixelAt(Picture(), 2, 2), kFace);
    m_button->Invalidate();
    EXPECT_EQ(PixelAt(Picture(), 2, 2), RGB(10, 120, 40));
}

TEST_F(TransportButton, CreatePlacesTheButtonAndKeepsItsId)
{
    EXPECT_EQ(m_button->geometry(), QRect(18, 21, 18, 18));
    EXPECT_EQ(m_button->GetDlgCtrlID(), 2001);
    EXPECT_EQ(m_button->parentWidget(), m_parent.get());
    EXPECT_FALSE(m_button->isHidden());
    auto* hidden = new CTransportButton;
    ASSERT_TRUE(hidden->Create("open", BS_OWNERDRAW, CRect(0, 0, 18, 18), m_parent.get(), 2000));
    EXPECT_TRUE(hidden->isHidden());
    CTransportButton orphan;
    EXPECT_FALSE(
        orphan.Create("open", WS_VISIBLE | BS_OWNERDRAW, CRect(0, 0, 18, 18), nullptr, 2000));
}

} // namespace
