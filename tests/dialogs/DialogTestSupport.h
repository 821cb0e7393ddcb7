#pragma once

#include "base/WinTypes.h"
#include "tests/support/CoreApplication.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

#include <string>

// Helpers of the dialog tests: the Qt application object, pixel colours, and pictures of the
// windows left in the build directory for a person to look at.

inline void EnsureQtApplication()
{
    EnsureApplication<QApplication>();
}

// The colour of a widget's pixel as it paints itself now.
inline COLORREF WidgetPixel(QWidget& widget, int x, int y)
{
    const QImage image = widget.grab().toImage();
    const QRgb rgb = image.pixel(x, y);
    return RGB(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

#ifndef SORVANE_DIALOGS_PICTURE_DIR
#define SORVANE_DIALOGS_PICTURE_DIR "."
#endif

// A picture of window (all of it, children included), also saved as <name>.png in the
// picture folder for a person to look at; a null image when it could not be written.
inline QImage SavePicture(QWidget& window, const std::string& name)
{
    QDir().mkpath(QStringLiteral(SORVANE_DIALOGS_PICTURE_DIR));
    const std::string path = std::string(SORVANE_DIALOGS_PICTURE_DIR) + "/" + name + ".png";
    const QImage picture = window.grab().toImage();
    return picture.save(QString::fromStdString(path)) ? picture : QImage();
}
