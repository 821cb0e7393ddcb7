#pragma once

// What the desktop lets the player's windows do. Natively on Wayland a program neither
// places its top-level windows nor learns where they are, and cannot keep one above the
// others; a desktop without a notification area shows no tray icon (one may start later).
// The windows ask here instead of assuming an X11 desktop with a tray. User-interface thread
// only.

// Whether the window system puts a top-level window where the program moves it, reports
// where it is and keeps it above others on request. False natively on Wayland.
bool CanPlaceWindows();

// Whether a notification area takes tray icons now.
bool HasSystemTray();

// Test seam: while it lives, the two queries answer as given, so that window tests do not
// depend on the desktop they run on. An inner one overrides an outer one until it ends.
class CWindowSystemForTest
{
public:
    CWindowSystemForTest(bool bPlacesWindows, bool bHasTray);
    ~CWindowSystemForTest();
    CWindowSystemForTest(const CWindowSystemForTest&) = delete;
    CWindowSystemForTest& operator=(const CWindowSystemForTest&) = delete;

private:
    // The answers before this one: 0 none, else 1 + placing + 2 * tray.
    int m_nPrevious = 0;
};
