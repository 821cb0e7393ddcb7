#include "dialogs/UpDownCtrl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>

CUpDownCtrl::CUpDownCtrl(QWidget* pParent)
    : QWidget(pParent)
{
    setFocusPolicy(Qt::NoFocus);
    m_repeat.setSingleShot(false);
    connect(&m_repeat, &QTimer::timeout, this, [this] { OnRepeat(); });
}

int CUpDownCtrl::Step(bool bUp)
{
    // The upper arrow counts towards the maximum, so a reversed range turns it negative.
    int iDelta = bUp ? 1 : -1;
    if (m_nMaximum < m_nMinimum)
        iDelta = -iDelta;
    const long result = m_onDeltaPos ? m_onDeltaPos(m_nPos, iDelta) : 0;
    if (result == 0) {
        const int low = std::min(m_nMinimum, m_nMaximum);
        const int high = std::max(m_nMinimum, m_nMaximum);
        m_nPos = std::clamp(m_nPos + iDelta, low, high);
    }
    return iDelta;
}

void CUpDownCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = halves[i];
        button.state |= m_nPressed == i + 1 ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &button, &painter, this);
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = halves[i].adjusted(1, 1, -1, -1);
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &arrow, &painter, this);
    }
}

void CUpDownCtrl::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton || !isEnabled())
        return;
    m_nPressed = pEvent->position().y() < height() / 2 ? 1 : 2;
    update();
    Step(m_nPressed == 1);
    m_repeat.start(kRepeatDelayMs);
}

void CUpDownCtrl::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    m_repeat.stop();
    m_nPressed = 0;
    update();
}

void CUpDownCtrl::OnRepeat()
{
    if (m_nPressed == 0) {
        m_repeat.stop();
        return;
    }
    m_repeat.setInterval(kRepeatIntervalMs);
    Step(m_nPressed == 1);
}
