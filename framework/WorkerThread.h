#pragma once

#include "base/WinTypes.h"
#include "framework/Messages.h"

#include <functional>

// Worker threads with a mailbox of thread messages, and Sleep.
//
// Threads: BeginWorkerThread, PostThreadMessage and WaitForThreadEnd may be called from any
// thread; PeekMessage and WaitMessage only from the worker itself. The mailbox is created
// before the worker starts running, so a message posted right after BeginWorkerThread returns
// is never lost. Workers are detached: nobody joins them; the mailbox goes away (with any
// messages left in it) when the worker's function returns.

using ThreadProc = unsigned (*)(void* param);

// Starts proc(param) on a new worker thread. Returns the worker's id (non-zero), or 0 when no
// thread could be started.
DWORD BeginWorkerThread(ThreadProc proc, void* param);
DWORD BeginWorkerThread(std::function<unsigned()> body);

// Queues a message in the mailbox of worker threadId. Returns 1, or 0 when that worker does
// not exist (never started, or its function has returned).
int PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);

// Takes (removes) the oldest message of the calling worker's mailbox into msg. Returns 1, or
// 0 when the mailbox is empty or the calling thread is not a worker. msg.hwnd is 0.
int PeekMessage(MSG& msg);

// Like PeekMessage, but waits up to timeoutMs for a message to arrive.
int WaitMessage(MSG& msg, DWORD timeoutMs);

// The id of the calling worker; 0 on a thread that BeginWorkerThread did not start.
DWORD GetCurrentWorkerThreadId();

// Waits up to timeoutMs for worker threadId's function to return. Returns 1 when it has
// returned (also for an id that is unknown or already gone), 0 on timeout.
int WaitForThreadEnd(DWORD threadId, DWORD timeoutMs);

// Suspends the calling thread for ms milliseconds.
void Sleep(DWORD ms);
