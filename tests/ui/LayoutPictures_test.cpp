#include "ui/DisplayPanel.h"
#include "ui/GlyphPainters.h"
#include "ui/Layout.h"
#include "ui/MainFrame.h"
#include "ui/TransportButton.h"

#include "tests/ui/UiTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

#include <memory>

// Renders the whole player window of each layout the way it appears on the screen (frame
// border, the view's edge, panel, nine buttons) and saves it as a PNG in the build tree, at
// its own size and four times enlarged, for a person to look at.

namespace {

constexpr COLORREF kButton = 0xFFC8B4;
constexpr COLORREF kViewBackground = 0xFFFFFF;
// The view's client area starts inside the 1-pixel window border and its 2-pixel edge.
constexpr int kClientInset = 3;
constexpr int kViewEdgePen = 4;

QImage ButtonPicture(int nButton, bool bEnabled)
{
    CTransportButton button;
    button.SetGlyphPainter(kGlyphPainters[nButton]);
    button.SetFaceColor(kButton);
    button.setEnabled(bEnabled);
    button.resize(18, 18);
    button.Invalidate();
    return button.Picture();
}

QImage RenderWindow(int nLayout, CPlayerSettings& settings)
{
    const CSize frameSize = kFrameSizes[nLayout];
    QImage client = FilledImage(frameSize.cx - 2 * kClientInset, frameSize.cy - 2 * kClientInset,
                                kViewBackground);
    {
        CDC clientDC(&client);
        CDisplayPanel panel;
        panel.SetLayout(nLayout, clientDC.GetDeviceCaps(LOGPIXELSY));
        panel.SetColors(0, 0xE7FFF7);
        panel.RefreshTitle("ファイル名 sample.mid  3:27");
        for (int tick = 0; tick < 4; ++tick)
            panel.Compose(&clientDC, 1, 1, {DEVICE_MIDI, 0, 1, 5});
    }
    {
        QPainter painter(&client);
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            // As while a file plays: play disabled, the rest enabled.
            const CRect& rc = ButtonRect(nLayout, i);
            painter.drawImage(rc.left, rc.top, ButtonPicture(i, i != 1));
        }
    }

    // The view's window: its client area inside a 2-pixel edge that the view paints over
    // with a 4-pixel pen in the button colour (half of it falls outside and is clipped).
    const int w = frameSize.cx - 2 * CMainFrame::BORDER_WIDTH;
    const int h = frameSize.cy - 2 * CMainFrame::BORDER_WIDTH;
    QImage view = FilledImage(w, h, kViewBackground);
    {
        QPainter painter(&view);
        painter.drawImage(kClientInset - CMainFrame::BORDER_WIDTH,
                          kClientInset - CMainFrame::BORDER_WIDTH, client);
    }
    {
        CDC viewDC(&view);
        CPen edge(PS_SOLID, kViewEdgePen, kButton);
        const CPen* pOld = viewDC.SelectObject(&edge);
        const CPoint outline[] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
        viewDC.Polyline(outline, 5);
        viewDC.SelectObject(pOld);
    }

    // The frame paints its border over its whole window; the view covers all but the outer
    // pixel of it.
    QImage window = FilledImage(frameSize.cx, frameSize.cy, kViewBackground);
    {
        CDC windowDC(&window);
        CMainFrame frame(settings);
        frame.OnNcPaint(&windowDC);
    }
    {
        QPainter painter(&window);
        painter.drawImage(CMainFrame::BORDER_WIDTH, CMainFrame::BORDER_WIDTH, view);
    }
    return window;
}

class LayoutPictures : public ::testing::TestWithParam<int>
{
protected:
    void SetUp() override { EnsureQtApplication(); }
};

TEST_P(LayoutPictures, WindowIsSavedWithPanelAndButtonsInPlace)
{
    const int layout = GetParam();
    CPlayerSettings settings;
    settings.Set(SK_LAYOUT, layout);
    settings.Set(SK_BUTTON_COLOR, static_cast<int>(kButton));
    const QImage window = RenderWindow(layout, settings);

    const CRect panel = kPanelRects[layout].rcDisplay;
    const int px = kClientInset + PanelOffsetX(layout);
    EXPECT_EQ(PixelAt(window, px + panel.Width() / 2, kClientInset + panel.Height() - 1),
              0xE7FFF7u);
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        const CRect& rc = ButtonRect(layout, i);
        EXPECT_EQ(PixelAt(window, kClientInset + rc.left, kClientInset + rc.top), 0xFFFFFFu) << i;
        EXPECT_EQ(PixelAt(window, kClientInset + rc.right - 1, kClientInset + rc.bottom - 1), 0u)
            << i;
    }
    EXPECT_EQ(PixelAt(window, 0, 0), CMainFrame::BorderColor(kButton));

    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(PictureDir())));
    const QString base =
        QString::fromStdString(PictureDir()) + QStringLiteral("/layout-%1").arg(layout);
    EXPECT_TRUE(window.save(base + QStringLiteral(".png")));
    EXPECT_TRUE(window.scaled(window.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    .save(base + QStringLiteral("-x4.png")));
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, LayoutPictures, ::testing::Values(0, 1, 2));

} // namespace
