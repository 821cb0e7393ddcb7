#include "app/PlatformChoice.h"

#include <X11/Xlib.h>

#include <cstdlib>

namespace {

std::string Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Whether the X server named by DISPLAY accepts a connection.
bool XServerAnswers()
{
    Display* pDisplay = XOpenDisplay(nullptr);
    if (pDisplay == nullptr)
        return false;
    XCloseDisplay(pDisplay);
    return true;
}

} // namespace

std::string ChoosePlatform(const PlatformEnvironment& env)
{
    if (!env.strAskedPlatform.empty() || env.strWaylandDisplay.empty())
        return {};
    return !env.strXDisplay.empty() && env.bXServerAnswers ? "xcb" : "wayland";
}

void ApplyPlatformChoice()
{
    PlatformEnvironment env;
    env.strAskedPlatform = Variable("QT_QPA_PLATFORM");
    env.strWaylandDisplay = Variable("WAYLAND_DISPLAY");
    env.strXDisplay = Variable("DISPLAY");
    // Only a display on this machine is asked (its socket answers or refuses at once); a
    // remote one could keep the start waiting for a network time-out.
    const bool bLocal = env.strXDisplay.starts_with(':') || env.strXDisplay.starts_with("unix:");
    env.bXServerAnswers = env.strAskedPlatform.empty() && !env.strWaylandDisplay.empty() &&
                          bLocal && XServerAnswers();
    const std::string platform = ChoosePlatform(env);
    if (!platform.empty())
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}
