#pragma once

#include <QIcon>
#include <QString>

// Where the program's bitmaps and icons are found: Qt resources under ":/res", named by
// resource number ("bitmap/130.bmp", "icon/157.ico"). The library that carries the resource
// file registers it before anything is loaded (see ui/UiResources.h).

QString BitmapResourcePath(unsigned nID);
QString IconResourcePath(unsigned nID);

// Icon resource nID with every size it holds; a null icon when it is missing or unreadable.
QIcon LoadIconResource(unsigned nID);
