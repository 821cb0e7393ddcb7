#pragma once

#include "tests/draw/DrawTestSupport.h"
#include "tests/support/CoreApplication.h"

#include <QApplication>

#include <string>

// Helpers of the window tests: the Qt application object with widgets, the pixel helpers of
// the drawing tests, and the folder where the tests leave pictures for a person to look at.

inline void EnsureQtApplication()
{
    EnsureApplication<QApplication>();
}

#ifndef SORVANE_UI_PICTURE_DIR
#define SORVANE_UI_PICTURE_DIR "."
#endif

inline std::string PictureDir()
{
    return SORVANE_UI_PICTURE_DIR;
}
