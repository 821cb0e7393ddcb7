#include "tests/support/RecordingWindow.h"

#include "tests/support/CoreApplication.h"

#include <algorithm>

CRecordingWindow::CRecordingWindow()
    : m_window([this](UINT message, WPARAM wParam, LPARAM lParam) {
        messages.push_back(MSG{Handle(), message, wParam, lParam});
    })
{
    EnsureCoreApplication();
}

std::size_t CRecordingWindow::Pump(DWORD waitMs)
{
    PumpMessages(waitMs);
    return messages.size();
}

std::size_t CRecordingWindow::Count(UINT message) const
{
    return static_cast<std::size_t>(std::count_if(
        messages.begin(), messages.end(), [&](const MSG& m) { return m.message == message; }));
}

std::size_t CRecordingWindow::Count(UINT message, WPARAM wParam) const
{
    return static_cast<std::size_t>(std::count_if(
        messages.begin(), messages.end(),
        [&](const MSG& m) { return m.message == message && m.wParam == wParam; }));
}
