#include "engine/PlayEngine.h"

#include "platform/ManualEvent.h"
#include "platform/Messages.h"
#include "platform/WorkerThread.h"

#include <pthread.h>

unsigned MonitorThreadProc(void* pParam)
{
    auto* engine = static_cast<CPlayEngine*>(pParam);
    // Named so that it can be told apart in a thread list (and measured).
    pthread_setname_np(pthread_self(), CPlayEngine::kMonitorThreadName);
    int last = 0;
    MSG msg;
    // Between polls the thread waits on its mailbox instead of sleeping, so a stop ends it at
    // once rather than after the rest of the poll.
    while (PeekMessage(msg) == 0) {
        if (WaitMessage(msg, CPlayEngine::kMonitorPollMs) != 0) {
            break;
        }
        PlayPosition pos{};
        // With nothing open there is no track to follow: a zeroed position is not a move.
        if (engine->GetPosition(&pos) == 0 || pos.nTrack == last) {
            continue;
        }
        if (engine->m_bSkipTrackMsg.exchange(0) == 0) {
            PostMessage(engine->m_hNotifyWnd.load(), WM_PLAYPOS, static_cast<WPARAM>(pos.nTrack),
                        0);
        }
        last = pos.nTrack;
    }
    SetEvent(static_cast<HANDLE>(msg.wParam));
    return 0;
}
