#pragma once

#include "framework/Messages.h"

#include <cstddef>
#include <vector>

// A window registered on the test's thread that records every message delivered to it.
class CRecordingWindow
{
public:
    CRecordingWindow();
    ~CRecordingWindow();
    CRecordingWindow(const CRecordingWindow&) = delete;
    CRecordingWindow& operator=(const CRecordingWindow&) = delete;

    HWND Handle() const { return m_hWnd; }

    // Delivers what has been posted to this thread's windows, waiting up to waitMs for the
    // first message when none is queued; returns the number of messages recorded so far.
    std::size_t Pump(DWORD waitMs = 0);

    // How many recorded messages have this number (and, when given, this wParam).
    std::size_t Count(UINT message) const;
    std::size_t Count(UINT message, WPARAM wParam) const;

    std::vector<MSG> messages; // in delivery order

private:
    HWND m_hWnd;
};
