#pragma once

#include "base/WinTypes.h"

#include <QObject>

#include <functional>

// Window handles and posted window messages, delivered through Qt's posted events.
//
// Threads: a window (CMessageWindow) belongs to the thread that creates it, and is destroyed
// there. PostMessage may be called from any thread; the message is delivered later on the
// window's thread, in posting order, by that thread's Qt event loop or by PumpMessages. A
// handler never runs on the posting thread. Delivery needs the Qt application object; threads
// that post end before it goes away.

// Message numbers shared by the media layer, the engine and the view.
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT MM_MCINOTIFY = 0x03B9;      // 953: wParam = notification code,
                                                  // lParam = MCI device id (from a device),
                                                  // the medium's serial (to the view)
inline constexpr UINT WM_PLAYPOS = WM_USER + 400; // 1424: wParam = the new CD track,
                                                  // lParam = the CD medium's serial

// One window message on its way.
struct MSG
{
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Called on the window's thread for each message posted to its handle.
using MessageHandler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

// A window: a handle that messages are posted to, and the handler they are delivered to.
// The handle is a number from 1 to 0xFFFF (so that it survives being passed as a 16-bit MCI
// callback), 0 only when every number is in use. A handle is not given out again until the
// numbers have wrapped around, so a late message to a window that has gone never reaches a
// newer one. Destroying the window drops the messages still queued for it.
class CMessageWindow : public QObject
{
public:
    explicit CMessageWindow(MessageHandler handler);
    ~CMessageWindow() override;
    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    void customEvent(QEvent* pEvent) override;

private:
    MessageHandler m_handler;
    HWND m_hWnd;
};

// Queues a message for hwnd from any thread. Returns 1, or 0 (and queues nothing) when hwnd
// is 0 or its window has gone.
int PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Delivers, on the calling thread, the messages queued for this thread's windows, in posting
// order, including those their handlers post meanwhile. When none has arrived yet, runs this
// thread's Qt events for up to waitMs until one has (0: no waiting). Returns the number of
// messages delivered; 0 without a Qt application object. For threads without a running event
// loop, such as a test's.
int PumpMessages(DWORD waitMs = 0);
