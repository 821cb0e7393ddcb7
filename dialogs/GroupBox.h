#pragma once

#include <QFontMetrics>
#include <QGroupBox>

// A group box as dialog templates place it: the control's top is the top of its title, the
// frame's top line runs through the middle of the title's height, and the title, a little in
// from the left edge, interrupts that line. The controls of its first row then lie below the
// line. It takes no mouse input. User-interface thread only.
class CGroupBox : public QGroupBox
{
public:
    CGroupBox(const QString& title, QWidget* pParent);

    // How much wider than its title a group box must be to show the title whole: the indent
    // and the padding around the title, and the frame's lines at the right.
    static int TitleChrome(const QFontMetrics& metrics);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};
