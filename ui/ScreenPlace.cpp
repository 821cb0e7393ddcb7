#include "ui/ScreenPlace.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// One screen in both counts: its area in screen pixels and its scale.
struct ScreenArea
{
    QRect pixels;
    QRect qt;
    double scale = 1.0;
};

ScreenArea AreaOf(const QScreen* pScreen)
{
    ScreenArea area;
    area.qt = pScreen->geometry();
    area.scale = pScreen->devicePixelRatio();
    area.pixels = QRect(area.qt.topLeft(),
                        QSize(static_cast<int>(std::lround(area.qt.width() * area.scale)),
                              static_cast<int>(std::lround(area.qt.height() * area.scale))));
    return area;
}

// Squared distance from point to the nearest point of rc.
long long DistanceSquared(const QRect& rc, QPoint point)
{
    const long long dx = point.x() < rc.left()    ? rc.left() - point.x()
                         : point.x() > rc.right() ? point.x() - rc.right()
                                                  : 0;
    const long long dy = point.y() < rc.top()      ? rc.top() - point.y()
                         : point.y() > rc.bottom() ? point.y() - rc.bottom()
                                                   : 0;
    return dx * dx + dy * dy;
}

// The screen whose area (as area() picks it) holds point, else the nearest one; false when
// there is no screen.
template<typename Pick>
bool ScreenNear(QPoint point, Pick area, ScreenArea& found)
{
    long long best = std::numeric_limits<long long>::max();
    for (const QScreen* pScreen : QGuiApplication::screens()) {
        const ScreenArea candidate = AreaOf(pScreen);
        const long long distance = DistanceSquared(area(candidate), point);
        if (distance < best) {
            best = distance;
            found = candidate;
        }
    }
    return best != std::numeric_limits<long long>::max();
}

int Scaled(int origin, int offset, double factor)
{
    return origin + static_cast<int>(std::lround(offset * factor));
}

} // namespace

QPoint ScreenPixelsToQt(QPoint pixels)
{
    ScreenArea screen;
    if (!ScreenNear(
            pixels, [](const ScreenArea& a) { return a.pixels; }, screen))
        return pixels;
    const QPoint origin = screen.pixels.topLeft();
    return {Scaled(origin.x(), pixels.x() - origin.x(), 1.0 / screen.scale),
            Scaled(origin.y(), pixels.y() - origin.y(), 1.0 / screen.scale)};
}

QPoint QtToScreenPixels(QPoint point)
{
    ScreenArea screen;
    if (!ScreenNear(
            point, [](const ScreenArea& a) { return a.qt; }, screen))
        return point;
    const QPoint origin = screen.qt.topLeft();
    return {Scaled(origin.x(), point.x() - origin.x(), screen.scale),
            Scaled(origin.y(), point.y() - origin.y(), screen.scale)};
}

QPoint PlaceOnScreen(QPoint pixels, QSize size)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return pixels;
    // The screen the window overlaps most; overlapping none, the one nearest its corner.
    ScreenArea target;
    long long bestOverlap = 0;
    for (const QScreen* pScreen : screens) {
        const ScreenArea area = AreaOf(pScreen);
        const QRect window(pixels,
                           QSize(static_cast<int>(std::lround(size.width() * area.scale)),
                                 static_cast<int>(std::lround(size.height() * area.scale))));
        if (area.pixels.contains(window))
            return pixels;
        const QRect overlap = area.pixels.intersected(window);
        const long long overlapArea = static_cast<long long>(overlap.width()) * overlap.height();
        if (overlapArea > bestOverlap) {
            bestOverlap = overlapArea;
            target = area;
        }
    }
    if (bestOverlap == 0) {
        ScreenNear(
            pixels, [](const ScreenArea& a) { return a.pixels; }, target);
    }
    const int cx = static_cast<int>(std::lround(size.width() * target.scale));
    const int cy = static_cast<int>(std::lround(size.height() * target.scale));
    const QRect& rc = target.pixels;
    return {std::max(rc.left(), std::min(pixels.x(), rc.left() + rc.width() - cx)),
            std::max(rc.top(), std::min(pixels.y(), rc.top() + rc.height() - cy))};
}
