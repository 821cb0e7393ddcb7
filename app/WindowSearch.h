#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Finding a top-level window of any program by its exact title, and showing it: how a second
// copy of the player finds the first. On X11 every top-level window (also one inside a window
// manager's frame, and also one that is hidden) whose _NET_WM_NAME or WM_NAME is exactly the
// title counts, whoever owns it. Without an X server the same rule runs through the local
// rendezvous named after the title (app/TitleRendezvous.h), where running players listen.
// User-interface thread.

class CFoundWindow
{
public:
    virtual ~CFoundWindow() = default;

    // Shows the window in its normal state: mapped (a hidden or minimised window comes
    // back), raised and activated. True when the window took the request.
    virtual bool ShowNormal() = 0;
    // Hands files (absolute paths) to the player behind the window: bPlay replaces its queue
    // and plays the first, otherwise they are appended. True once that player took them;
    // false where the window cannot take files (an X11 window found by its title alone).
    virtual bool HandFiles(bool bPlay, const std::vector<std::string>& paths)
    {
        (void)bPlay;
        (void)paths;
        return false;
    }
};

// The window titled title: on X11 when the Qt platform is X11, otherwise through the
// rendezvous. Null when there is none.
std::unique_ptr<CFoundWindow> FindTopLevelWindow(const std::string& title);

// Where the X server has the top-left corner of window (a native window of this program) on
// the screen, asked of the server itself rather than Qt's record, which a reparenting window
// manager can leave at (0, 0). Nothing when the program does not run on X11.
std::optional<std::pair<int, int>> X11ScreenPosition(unsigned long window);

// Sends the X server every request Qt has queued (a window's map among them) and waits until
// it has read them, instead of leaving them until the event loop next waits. Nothing when
// the program does not run on X11.
void FlushX11Requests();

// The X11 search on the display displayName (null: $DISPLAY). Null when the display cannot
// be opened or no window carries the title.
std::unique_ptr<CFoundWindow> FindX11Window(const char* displayName, const std::string& title);
