#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

// An up-down control without a buddy window: two arrow buttons stacked, the upper and the
// lower half of the control. Pressing an arrow (and holding it, which repeats) proposes a
// change of the position to the owner's handler: with a range whose minimum is greater than
// its maximum (the default, 100 to 0) the upper arrow proposes -1 and the lower +1; with an
// ordinary range the other way round. The handler answers 0 to let the position change
// (clamped to the range, no wrap) and non-zero to refuse. User-interface thread only.
class CUpDownCtrl : public QWidget
{
public:
    // The range a new control has: minimum 100, maximum 0.
    static constexpr int kDefaultMinimum = 100;
    static constexpr int kDefaultMaximum = 0;
    // Delay before an arrow held down repeats, and between repeats, in milliseconds.
    static constexpr int kRepeatDelayMs = 500;
    static constexpr int kRepeatIntervalMs = 100;

    // Handler of the position-change notification: the current position and the proposed
    // change; returns the notification's result.
    using DeltaPosHandler = std::function<long(int iPos, int iDelta)>;

    explicit CUpDownCtrl(QWidget* pParent);

    void SetDeltaPosHandler(DeltaPosHandler handler) { m_onDeltaPos = std::move(handler); }
    int GetMinimum() const { return m_nMinimum; }
    int GetMaximum() const { return m_nMaximum; }

    // What one press of the upper (bUp) or lower arrow does: notifies and, when allowed,
    // moves the position. Returns the proposed change.
    int Step(bool bUp);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    DeltaPosHandler m_onDeltaPos;
    int m_nMinimum = kDefaultMinimum;
    int m_nMaximum = kDefaultMaximum;
    int m_nPos = 0;
    // Which arrow is held: 0 none, 1 upper, 2 lower.
    int m_nPressed = 0;
    QTimer m_repeat;

    void OnRepeat();
};
