#include "engine/PlayEngine.h"

#include "framework/ManualEvent.h"
#include "framework/Messages.h"
#include "framework/WorkerThread.h"

#include <pthread.h>

unsigned MonitorThreadProc(void* pParam)
{
    auto* engine = static_cast<CPlayEngine*>(pParam);
    // Named so that it can be told apart in a thread list (and measured).
    pthread_setname_np(pthread_self(), CPlayEngine::kMonitorThreadName);
    int last = 0; // the track last seen; 0 until the first reading
    MSG msg;
    // Between polls the thread waits on its mailbox instead of sleeping, so a stop ends it at
    // once rather than after the rest of the poll.
    while (PeekMessage(msg) == 0) {
        if (WaitMessage(msg, CPlayEngine::kMonitorPollMs) != 0) {
            break;
        }
        PlayPosition pos{};
        // With nothing open there is no track to follow: a zeroed position is not a move.
        if (engine->GetPosition(&pos) == 0 || pos.nTrack == 0) {
            continue;
        }
        int asked = pos.nTrack;
        if (engine->m_nSkipTrack.compare_exchange_strong(asked, 0)) {
            // The track Play asked for is current: that arrival is no change by itself,
            // whether it came before this poll or long ago (the track was already playing).
            last = pos.nTrack;
            continue;
        }
        if (last != 0 && pos.nTrack != last) {
            PostMessage(engine->m_hNotifyWnd.load(), WM_PLAYPOS, static_cast<WPARAM>(pos.nTrack),
                        0);
        }
        last = pos.nTrack;
    }
    SetEvent(static_cast<HANDLE>(msg.wParam));
    return 0;
}
