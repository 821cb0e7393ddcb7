#pragma once

#include <QPoint>
#include <QSize>

// The two ways of counting a place on the desktop. Screen pixels are what the window system
// and the settings file count. Qt counts in screen pixels divided by the screen's scale
// (QT_SCALE_FACTOR, a dense screen), measured from the screen's top-left corner, which both
// share. A position is stored in screen pixels and moved in Qt's units, so that a start
// under any scale opens the window where the last one left it. User-interface thread only;
// with no screen at all both conversions and PlaceOnScreen return what they are given.

QPoint ScreenPixelsToQt(QPoint pixels);
QPoint QtToScreenPixels(QPoint point);

// Where a window of outer size (Qt's units) asked at pixels (its top-left corner, in screen
// pixels) is seen whole: pixels itself when the window lies wholly on a screen, else the
// nearest place on the screen it overlaps most (or, overlapping none, the nearest screen).
QPoint PlaceOnScreen(QPoint pixels, QSize size);
