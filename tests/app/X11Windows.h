#pragma once

#include <X11/Xlib.h>

#include <string>

// The mapped top-level window named title (WM_NAME) on pDisplay, None while there is none.
inline Window MappedTopLevel(Display* pDisplay, const std::string& title)
{
    Window root = None;
    Window parent = None;
    Window* pChildren = nullptr;
    unsigned count = 0;
    Window found = None;
    XQueryTree(pDisplay, DefaultRootWindow(pDisplay), &root, &parent, &pChildren, &count);
    for (unsigned i = 0; i < count && found == None; ++i) {
        char* pName = nullptr;
        XWindowAttributes attributes{};
        if (XFetchName(pDisplay, pChildren[i], &pName) != 0 && pName != nullptr) {
            if (pName == title && XGetWindowAttributes(pDisplay, pChildren[i], &attributes) != 0 &&
                attributes.map_state == IsViewable)
                found = pChildren[i];
            XFree(pName);
        }
    }
    XFree(pChildren);
    return found;
}
