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
    // Whether a connection to DISPLAY's X server (one on this machine) opened.
    bool bXServerAnswers = false;
};

// The platform name to ask Qt for on a Wayland desktop (a compositor named) where the user
// asked for none: "xcb" when an X server answers beside it, else "wayland". Empty, leaving
// Qt's choice (and the user's) alone, everywhere else.
std::string ChoosePlatform(const PlatformEnvironment& env);

// The environment of this process (connecting to the X server only when the choice
// depends on it, and only to one on this machine), and its choice put into QT_QPA_PLATFORM
// before Qt starts.
void ApplyPlatformChoice();
