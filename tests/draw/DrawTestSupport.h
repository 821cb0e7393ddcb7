#pragma once

#include "base/WinTypes.h"

#include <QColor>
#include <QGuiApplication>
#include <QImage>

// Helpers of the drawing tests: the Qt application object and pixel colours as COLORREF.

// Creates a Qt application object on the first call when none exists (on the platform CTest
// chooses, the offscreen one). It stays reachable until the process ends.
inline void EnsureGuiApplication()
{
    if (QGuiApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "sorvane-draw-tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

inline COLORREF PixelAt(const QImage& image, int x, int y)
{
    const QRgb rgb = image.pixel(x, y);
    return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

// A 32-bit image filled with one colour.
inline QImage FilledImage(int cx, int cy, COLORREF crFill)
{
    QImage image(cx, cy, QImage::Format_RGB32);
    image.fill(QColor(GetRValue(crFill), GetGValue(crFill), GetBValue(crFill)));
    return image;
}

// Number of pixels of colour cr in the rectangle [left, right) x [top, bottom).
inline int CountColor(const QImage& image, int left, int top, int right, int bottom, COLORREF cr)
{
    int n = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (PixelAt(image, x, y) == cr) {
                ++n;
            }
        }
    }
    return n;
}
