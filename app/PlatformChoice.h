#pragma once

#include <string>

// Which of Qt's window-system platforms the player asks for. A small tool window that keeps
// its place, stays on top, opens its playlist beside it and is found by title needs the X
// platform: on a Wayland desktop with an X server (XWayland) it runs there. Without an X
// server it runs natively on Wayland. The user's own QT_QPA_PLATFORM always holds.

// What the environment says, for ChoosePlatform.
struct PlatformEnvironment
{
    // QT_QPA_PLATFORM as set (empty when unset or empty).
    std::string strAskedPlatform;
    // WAYLAND_DISPLAY, DISPLAY.
    std::string strWaylandDisplay;
    std::string strXDisplay;
    // Whether a connection to DISPLAY's X server opened.
    bool bXServerAnswers = false;
};

// The platform name to ask Qt for: "xcb" when the user asked for none and an X server
// answers; "wayland" when the user asked for none, no X server answers and a Wayland
// compositor is named; empty to leave Qt's choice (and the user's) alone.
std::string ChoosePlatform(const PlatformEnvironment& env);

// The environment of this process (connecting to the X server only when the choice
// depends on it), and its choice put into QT_QPA_PLATFORM before Qt starts.
void ApplyPlatformChoice();
