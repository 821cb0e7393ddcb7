#pragma once

#include "base/WinTypes.h"

#include <functional>

// Window handles and posted window messages.
//
// Threads: a receiver registers on the thread that will receive its messages (the
// user-interface thread in the player, the test's own thread in tests). PostMessage may be
// called from any thread; the message is queued and later delivered on the receiver's thread,
// in posting order, by PumpMessages(), which that thread calls itself or which Qt's event loop
// calls for it (see PumpMessages). A handler never runs on the posting thread. Threads that
// post end before the Qt application object goes away.

// Message numbers shared by the media layer, the engine and the view.
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT MM_MCINOTIFY = 0x03B9;         // 953: wParam = notification code,
                                                     // lParam = MCI device id
inline constexpr UINT WM_MONITOR_STOP = WM_USER + 1; // 1025, thread message: wParam = event
inline constexpr UINT WM_PLAYPOS = WM_USER + 400;    // 1424: wParam = the new CD track

// One posted message, as taken from a queue.
struct MSG
{
    HWND hwnd = 0; // 0 for a thread message
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Called on the receiver's thread for each message posted to its handle.
using MessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

// Registers handler as a window on the calling thread and returns its handle, a number from
// 1 to 0xFFFF (so that it survives being passed as a 16-bit MCI callback). A handle is not
// given out again until the numbers have wrapped around, so a late message to a receiver
// that has gone never reaches a newer one. Returns 0 only when every number is in use.
HWND RegisterWindow(MessageHandler handler);

// Unregisters hwnd: messages still queued for it are dropped and PostMessage to it returns 0.
// After it returns the handler is not called again, except that a call already running (on
// the receiver's thread) finishes. Unknown handles are ignored.
void UnregisterWindow(HWND hwnd);

// True while hwnd is registered.
bool IsWindow(HWND hwnd);

// Queues a message for hwnd from any thread. Returns 1, or 0 (and queues nothing) when hwnd
// is 0 or not registered. When a Qt application object exists and the receiver lives on its
// thread, delivery is also scheduled in Qt's event loop, so a running player needs no pumping.
int PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Delivers, on the calling thread, every message queued for receivers registered on this
// thread, in posting order, including messages posted by the handlers themselves. Waits up to
// waitMs for the first message when none is queued yet (0: no waiting). Returns the number of
// messages delivered. Works with or without a Qt application object.
int PumpMessages(DWORD waitMs = 0);

// A registered window whose lifetime is the object's: registers in the constructor (on the
// receiving thread) and unregisters in the destructor.
class CMessageWindow
{
public:
    explicit CMessageWindow(MessageHandler handler)
        : m_hWnd(RegisterWindow(std::move(handler)))
    {}
    ~CMessageWindow() { UnregisterWindow(m_hWnd); }
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

private:
    HWND m_hWnd;
};
