#include "engine/PositionMonitor.h"

#include "framework/Messages.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <stop_token>

namespace {

// The monitor thread's body. It touches only what it was given: the watch, the reader and
// the stop state, all of which live as long as the thread does.
void Watch(const std::stop_token& stop, TrackWatch& watch, std::uint32_t serial,
           const CPositionMonitor::TrackReader& readTrack, std::chrono::milliseconds pollInterval)
{
    pthread_setname_np(pthread_self(), CPositionMonitor::kMonitorThreadName);
    std::mutex mutex;
    std::condition_variable_any wake; // only a stop request wakes it before the interval
    int last = 0;                     // the track last seen; 0 until the first reading
    for (;;) {
        {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, stop, pollInterval, [] { return false; });
        }
        if (stop.stop_requested())
            return;
        const int track = readTrack();
        // A reading that outlasted the stop request is not acted on.
        if (stop.stop_requested())
            return;
        if (track == 0)
            continue;
        int asked = track;
        if (watch.nSkipTrack.compare_exchange_strong(asked, 0)) {
            // The track Play asked for is current: that arrival is no change by itself,
            // whether it came before this reading or long ago (the track was already playing).
            last = track;
            continue;
        }
        if (last != 0 && track != last) {
            PostMessage(watch.hNotifyWnd.load(), WM_PLAYPOS, static_cast<WPARAM>(track),
                        static_cast<LPARAM>(serial));
        }
        last = track;
    }
}

} // namespace

CPositionMonitor::CPositionMonitor(std::shared_ptr<TrackWatch> pWatch, std::uint32_t nSerial,
                                   TrackReader readTrack, std::chrono::milliseconds pollInterval)
{
    std::promise<void> ended;
    m_ended = ended.get_future();
    // The thread owns a share of the watch and its own reader, so that it may outlive this
    // object. The stop state exists before the thread runs: a stop asked at once is kept.
    m_thread = std::jthread([pWatch = std::move(pWatch), nSerial, readTrack = std::move(readTrack),
                             pollInterval, ended = std::move(ended)](std::stop_token stop) mutable {
        Watch(stop, *pWatch, nSerial, readTrack, pollInterval);
        ended.set_value();
    });
}

CPositionMonitor::~CPositionMonitor()
{
    Stop();
}

bool CPositionMonitor::Stop(std::chrono::milliseconds timeout)
{
    if (!m_thread.joinable())
        return true;
    m_thread.request_stop();
    if (m_ended.wait_for(timeout) == std::future_status::ready) {
        m_thread.join();
        return true;
    }
    m_thread.detach();
    return false;
}
