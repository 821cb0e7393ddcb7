#include "ui/DisplayPanel.h"

#include "base/StrFormat.h"
#include "ui/Layout.h"

#include <algorithm>

namespace {

// Tenths of a point per inch: a font of n points is n x dpi / 72 pixels high.
constexpr int kDecipointsPerInch = 720;

} // namespace

int CDisplayPanel::SetLayout(int nLayout, int nLogPixelsY)
{
    m_nLayout = ClampLayout(nLayout);
    const PanelRects& rects = kPanelRects[m_nLayout];

    LOGFONT logFont;
    logFont.lfHeight = -(nLogPixelsY * PANEL_POINTS * 10 / kDecipointsPerInch);
    logFont.lfEscapement = m_nLayout == LAYOUT_VERTICAL ? ESCAPEMENT_VERTICAL : 0;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfFaceName = PANEL_FACE;
    m_font.DeleteObject();
    const int bFont = m_font.CreateFontIndirect(logFont);

    m_bmpPanel.DeleteObject();
    const int bBitmap = m_bmpPanel.CreateCompatibleBitmap(nullptr, rects.rcDisplay.Width(),
                                                          rects.rcDisplay.Height());
    return bFont && bBitmap ? 1 : 0;
}

void CDisplayPanel::SetColors(COLORREF crText, COLORREF crLed)
{
    m_crText = crText & 0xFFFFFF;
    m_crLed = crLed & 0xFFFFFF;
}

std::string CDisplayPanel::TimeText(DeviceKind nKind, int nTrack, int nMinutes, int nSeconds)
{
    if (nKind != DEVICE_CDAUDIO)
        return StrFormat("%2d : %2d", nMinutes, nSeconds);
    return StrFormat("<%2d> %2d : %2d", nTrack, nMinutes, nSeconds);
}

void CDisplayPanel::Compose(CDC* pTarget, int bAdvance, int bOpen, const PanelTime& time)
{
    const CRect& rcDisplay = kPanelRects[m_nLayout].rcDisplay;
    CDC memDC;
    memDC.CreateCompatibleDC(pTarget);
    CBitmap* pOldBitmap = memDC.SelectObject(&m_bmpPanel);
    if (pOldBitmap == nullptr)
        return;
    const CFont* pOldFont = memDC.SelectObject(&m_font);

    memDC.SetTextColor(m_crText);
    memDC.FillSolidRect(rcDisplay, m_crLed);
    if (bOpen)
        m_marquee.Draw(&memDC, bAdvance);
    DrawTime(&memDC, time);
    if (pTarget != nullptr) {
        pTarget->BitBlt(PanelOffsetX(m_nLayout), 0, rcDisplay.Width(), rcDisplay.Height(), &memDC,
                        0, 0, SRCCOPY);
    }

    memDC.SelectObject(pOldBitmap);
    if (pOldFont != nullptr)
        memDC.SelectObject(pOldFont);
}

void CDisplayPanel::DrawTimeText(CDC* pDC, CRect rcTime, DeviceKind nKind,
                                 const std::string& text) const
{
    if (m_nLayout == LAYOUT_VERTICAL) {
        pDC->TextOut(rcTime.right, rcTime.top + (nKind != DEVICE_CDAUDIO ? VERTICAL_TIME_DROP : 0),
                     text);
    } else {
        pDC->DrawText(text, &rcTime, DT_RIGHT);
    }
}

void CDisplayPanel::DrawTime(CDC* pPanelDC, const PanelTime& time)
{
    if (pPanelDC == nullptr)
        return;
    const CRect& rcTime = kPanelRects[m_nLayout].rcTime;
    pPanelDC->FillSolidRect(rcTime, m_crLed);
    DrawTimeText(pPanelDC, rcTime, time.nKind,
                 TimeText(time.nKind, time.nTrack, time.nMinutes, time.nSeconds));
    pPanelDC->SetTextColor(MARKER_COLOR);
    pPanelDC->TextOut(m_nLayout == LAYOUT_VERTICAL ? VERTICAL_MARKER_X : 0, 0, "R ");
}

void CDisplayPanel::RefreshTitle(const std::string& status)
{
    if (status.empty())
        return;
    const CRect& rc = kPanelRects[m_nLayout].rcTitle;
    CDC measureDC;
    const CFont* pOldFont = measureDC.SelectObject(&m_font);
    m_marquee.SetText(&measureDC, status, rc.left, rc.top, rc.right, rc.bottom,
                      m_nLayout == LAYOUT_VERTICAL ? CTitleMarquee::MARQUEE_VERTICAL
                                                   : CTitleMarquee::MARQUEE_HORIZONTAL);
    if (pOldFont != nullptr)
        measureDC.SelectObject(pOldFont);
}

void CDisplayPanel::DrawSeekText(CDC* pViewDC, int nPercent, DeviceKind nKind, int nTrack,
                                 int nLengthSeconds)
{
    if (pViewDC == nullptr)
        return;
    const CFont* pOldFont = pViewDC->SelectObject(&m_font);
    pViewDC->SetBkColor(m_crLed);
    pViewDC->SetTextColor(m_crText);
    CRect rcTime = kPanelRects[m_nLayout].rcTime;
    rcTime.OffsetRect(PanelOffsetX(m_nLayout), 0);
    pViewDC->FillSolidRect(rcTime, m_crLed);
    const long long seconds =
        static_cast<long long>(nLengthSeconds) * std::clamp(nPercent, 0, 100) / 100;
    const int t = static_cast<int>(seconds);
    DrawTimeText(pViewDC, rcTime, nKind, TimeText(nKind, nTrack, t / 60, t % 60));
    if (pOldFont != nullptr)
        pViewDC->SelectObject(pOldFont);
}
