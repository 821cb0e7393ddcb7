#pragma once

#include "tests/draw/DrawTestSupport.h"

#include <QApplication>

#include <string>

// Helpers of the window tests: the Qt application object with widgets, the pixel helpers of
// the drawing tests, and the folder where the tests leave pictures for a person to look at.

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

#ifndef SORVANE_UI_PICTURE_DIR
#define SORVANE_UI_PICTURE_DIR "."
#endif

inline std::string PictureDir()
{
    return SORVANE_UI_PICTURE_DIR;
}
