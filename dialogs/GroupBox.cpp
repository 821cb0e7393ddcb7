#include "dialogs/GroupBox.h"

#include <QPainter>

namespace {

// Blank pixels either side of the title, where the frame's line stops.
constexpr int kTitlePad = 2;
// The frame's two lines at the right edge.
constexpr int kFrameLines = 2;

} // namespace

int CGroupBox::TitleChrome(const QFontMetrics& metrics)
{
    return metrics.averageCharWidth() + 2 * kTitlePad + kFrameLines;
}

CGroupBox::CGroupBox(const QString& title, QWidget* pParent)
    : QGroupBox(title, pParent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CGroupBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    // An etched frame: a shadow line with a light line one pixel inside and below it.
    const QRect frame(0, top, width() - 1, height() - top - 1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
    if (title().isEmpty())
        return;
    const int indent = metrics.averageCharWidth();
    const QRect text(indent, 0, metrics.horizontalAdvance(title()) + 2 * kTitlePad,
                     metrics.height());
    painter.fillRect(text, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(text.adjusted(kTitlePad, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, title());
}
