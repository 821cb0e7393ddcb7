#pragma once

#include "base/WinTypes.h"

// Manual-reset events named by handles.
//
// Threads: every function may be called from any thread. A handle is a non-zero number, never
// reused in the life of the process, so a late SetEvent through a handle that has been closed
// does nothing rather than touching freed memory; it is pointer-sized and travels in a WPARAM.

// Creates an event, signalled or not. Returns its handle (never 0).
HANDLE CreateManualEvent(bool bSignalled = false);

// Signals the event: every waiter wakes, and it stays signalled until ResetEvent. Returns 1,
// or 0 for an unknown or closed handle.
int SetEvent(HANDLE hEvent);

// Makes the event non-signalled. Returns 1, or 0 for an unknown or closed handle.
int ResetEvent(HANDLE hEvent);

// Waits up to timeoutMs (0: only looks) for the event to be signalled. Returns 1 when it is
// signalled, 0 on timeout, for an unknown handle, or when the event is closed while waiting.
int WaitForEvent(HANDLE hEvent, DWORD timeoutMs);

// Closes the handle; later calls through it fail. Returns 1, or 0 for an unknown handle.
int CloseEvent(HANDLE hEvent);
