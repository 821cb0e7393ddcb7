#pragma once

#include <QtGlobal>

// The message box of a medium that failed to open or play. User-interface thread.

// The code that stands for plug-ins that cannot be loaded, beside the MCI error codes.
inline constexpr int kPluginMissingError = 0xFFFF;
// Its text.
inline constexpr const char* kPluginMissingText =
    QT_TRANSLATE_NOOP("Sorvane", "プラグインが見つかりません");

// Shows the error text of an MCI error code, or kPluginMissingText for kPluginMissingError,
// in a message box. Returns 0.
int ShowPlaybackError(int nCode);
