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
    if (pDisplay == nullptr) {
        return false;
    }
    XCloseDisplay(pDisplay);
    return true;
}

} // namespace

std::string ChoosePlatform(const PlatformEnvironment& env)
{
    if (!env.strAskedPlatform.empty()) {
        return {};
    }
    if (!env.strXDisplay.empty() && env.bXServerAnswers) {
        return "xcb";
    }
    if (!env.strWaylandDisplay.empty()) {
        return "wayland";
    }
    return {};
}

void ApplyPlatformChoice()
{
    PlatformEnvironment env;
    env.strAskedPlatform = Variable("QT_QPA_PLATFORM");
    env.strWaylandDisplay = Variable("WAYLAND_DISPLAY");
    env.strXDisplay = Variable("DISPLAY");
    env.bXServerAnswers =
        env.strAskedPlatform.empty() && !env.strXDisplay.empty() && XServerAnswers();
    const std::string platform = ChoosePlatform(env);
    if (!platform.empty()) {
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    }
}
