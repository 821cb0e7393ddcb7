#pragma once

#include "base/WinTypes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <thread>

// What the engine shares with its media and their threads (the CD position monitor, the
// plug-in callback). Kept alive by a shared_ptr, so a thread that was forgotten never reaches
// freed memory.
struct TrackWatch
{
    // The track Play was last asked for, whose arrival is to pass unreported; 0 when none.
    // Stored by Play, exchanged with 0 by the monitor.
    std::atomic<int> nSkipTrack{0};
    // The window that receives the notices (MM_MCINOTIFY, WM_PLAYPOS).
    std::atomic<HWND> hNotifyWnd{0};
};

// The CD position monitor: a thread that reads the CD's current track every poll interval
// and posts WM_PLAYPOS (wParam the new track, lParam the CD medium's serial) to the watch's
// window when the track
// changed by itself. Its first reading is a starting point, not a change; reaching the track
// in nSkipTrack is never a change, and clears nSkipTrack, however late the reading comes.
// A reading of track 0 (nothing to follow) is not a move.
//
// Threads: the object is created, stopped and destroyed on one thread (the user-interface
// thread); the reader runs on the monitor's own thread.
class CPositionMonitor
{
public:
    // The current track of the CD, 0 when there is none; called on the monitor's thread.
    using TrackReader = std::function<int()>;

    // How often the monitor reads the track.
    static constexpr std::chrono::milliseconds kMonitorPollMs{40};
    // Longest wait in Stop for the monitor to acknowledge.
    static constexpr std::chrono::milliseconds kMonitorStopTimeoutMs{3000};
    // The monitor thread's name, by which it can be told apart in a thread list.
    static constexpr const char* kMonitorThreadName = "sorvane-monitor";

    // Starts the monitor thread, which waits one poll interval before its first reading.
    CPositionMonitor(std::shared_ptr<TrackWatch> pWatch, std::uint32_t nSerial,
                     TrackReader readTrack,
                     std::chrono::milliseconds pollInterval = kMonitorPollMs);
    // Stop with the standard timeout, when it has not been called.
    ~CPositionMonitor();
    CPositionMonitor(const CPositionMonitor&) = delete;
    CPositionMonitor& operator=(const CPositionMonitor&) = delete;

    // Asks the monitor to end, cutting its wait between readings short, and waits up to
    // timeout for it to acknowledge. True when it did (its thread has ended). False when it
    // did not, being stuck in a reading: its thread is forgotten and ends by itself once the
    // reading returns, with no further reading or message. Later calls return true.
    bool Stop(std::chrono::milliseconds timeout = kMonitorStopTimeoutMs);

private:
    std::future<void> m_ended; // ready once the monitor has acknowledged its stop
    std::jthread m_thread;
};
