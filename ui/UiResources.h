#pragma once

// Registers the program's bitmaps and icons (res/sorvane.qrc, compiled into this library) with
// Qt's resource system. Safe to call any number of times; the first call registers them.
// User-interface thread.
void EnsureUiResources();
