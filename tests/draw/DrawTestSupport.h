#pragma once

#include "base/WinTypes.h"
#include "tests/support/CoreApplication.h"

#include <QColor>
#include <QGuiApplication>
#include <QImage>

// Helpers of the drawing tests: the Qt application object and pixel colours as COLORREF.

inline void EnsureGuiApplication()
{
    EnsureApplication<QGuiApplication>();
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
        for (int x = left; x < right; ++x)
            if (PixelAt(image, x, y) == cr)
                ++n;
    }
    return n;
}
