#include "ui/TitleMarquee.h"

#include "draw/DC.h"

#include <climits>

void CTitleMarquee::SetText(CDC* pDC, const std::string& text, int left, int top, int right,
                            int bottom, int nDirection)
{
    m_nDirection = nDirection;
    m_strText = text;
    m_rcTitle = CRect(left, top, right, bottom);
    m_nTextWidth = pDC != nullptr ? pDC->GetTextExtentPoint32(m_strText).cx : 0;
    if (!m_strText.empty()) {
        m_nTicks = 0;
        m_nStep = static_cast<int>(m_nTextWidth / static_cast<long long>(m_strText.size()));
    }
}

void CTitleMarquee::Draw(CDC* pDC, int bAdvance)
{
    if (bAdvance == 1 && m_nTicks < INT_MAX)
        ++m_nTicks;
    // The wrap test moves one pixel more per step than the text does, so the text comes
    // back shortly before its tail has quite left the rectangle.
    const long long travelled = (m_nStep + 1LL) * m_nTicks;
    // The width measured with the text, in the same font, is not measured again each step.
    const int nWidth = m_nTextWidth > 0 ? m_nTextWidth : -1;
    if (m_nDirection == MARQUEE_HORIZONTAL) {
        if (m_rcTitle.right + static_cast<long long>(m_nTextWidth) - travelled - m_rcTitle.left <=
            0)
            m_nTicks = 0;
        if (pDC != nullptr)
            pDC->TextOut(m_rcTitle.right - m_nStep * m_nTicks, m_rcTitle.top, m_strText, nWidth);
    } else if (m_nDirection == MARQUEE_VERTICAL) {
        if (m_rcTitle.bottom + static_cast<long long>(m_nTextWidth) - travelled - m_rcTitle.top <=
            0)
            m_nTicks = 0;
        if (pDC != nullptr)
            pDC->TextOut(m_rcTitle.right, m_rcTitle.bottom - m_nStep * m_nTicks, m_strText, nWidth);
    }
}
