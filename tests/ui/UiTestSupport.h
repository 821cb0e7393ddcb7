#pragma once

#include "base/WinTypes.h"

#include <QApplication>
#include <QImage>

#include <string>

// Helpers of the drawing tests: the Qt application object, pixel colours as COLORREF, and
// the folder where the tests leave pictures for a person to look at.

// Creates the Qt application object on the first call (on the platform CTest chooses, the
// offscreen one). It stays reachable until the process ends.
inline void EnsureQtApplication()
{
    if (QApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "sorvane-ui-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
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

#ifndef SORVANE_UI_PICTURE_DIR
#define SORVANE_UI_PICTURE_DIR "."
#endif

inline std::string PictureDir()
{
    return SORVANE_UI_PICTURE_DIR;
}
