#pragma once

#include "framework/Messages.h"

#include <cstddef>
#include <vector>

// A window on the test's thread that records every message delivered to it. It creates the
// Qt application object when the test has none.
class CRecordingWindow
{
public:
    CRecordingWindow();

    HWND Handle() const { return m_window.GetSafeHwnd(); }

    // Delivers what has been posted to this thread's windows, waiting up to waitMs for the
    // first message when none is queued; returns the number of messages recorded so far.
    std::size_t Pump(DWORD waitMs = 0);

    // How many recorded messages have this number (and, when given, this wParam).
    std::size_t Count(UINT message) const;
    std::size_t Count(UINT message, WPARAM wParam) const;

    std::vector<MSG> messages; // in delivery order

private:
    CMessageWindow m_window;
};
