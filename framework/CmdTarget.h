#pragma once

#include <cstddef>
#include <initializer_list>

// Command routing. A command id (a button, a menu item) travels along a route of targets,
// the view, then the document, then the frame, then the application, until one of them
// has it in its command table. Everything here runs on the user-interface thread.

class CCmdTarget
{
public:
    virtual ~CCmdTarget() = default;

    // Runs the handler of nId when this target's command table has one. Returns true when
    // the command was handled, false to let it travel on. User-interface thread.
    virtual bool OnCmdMsg(int nId) = 0;
};

// One row of a command table: a command id and the member function that handles it.
template<class T>
struct CommandEntry
{
    int nId;
    void (T::*pfnHandler)();
};

// Looks nId up in table and calls its handler on target; true when it was there.
template<class T, std::size_t N>
bool DispatchCommand(T& target, const CommandEntry<T> (&table)[N], int nId)
{
    for (const CommandEntry<T>& entry : table) {
        if (entry.nId == nId) {
            (target.*entry.pfnHandler)();
            return true;
        }
    }
    return false;
}

// Offers nId to each target of route in order (null targets are passed over) until one
// handles it. Returns true when one did.
bool RouteCommand(int nId, std::initializer_list<CCmdTarget*> route);
