#include "engine/PluginCallback.h"

#include "framework/Messages.h"
#include "media/Mci.h"
#include "pluginapi/PluginInterface.h"

std::atomic<std::int32_t> g_nPluginElapsed{0};

namespace {

// What both callbacks do; endNotice is the lParam that names the decoder's end and failure.
int Notify(int nType, int nValue, std::uint32_t dwWindow, LPARAM endNotice)
{
    switch (nType) {
    case PLUGIN_CALLBACK_END:
        PostMessage(static_cast<HWND>(dwWindow), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, endNotice);
        break;
    case PLUGIN_CALLBACK_FAILED:
        PostMessage(static_cast<HWND>(dwWindow), MM_MCINOTIFY, MCI_NOTIFY_FAILURE, endNotice);
        break;
    case PLUGIN_CALLBACK_NEXT:
        PostMessage(static_cast<HWND>(dwWindow), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL,
                    kPluginNextNotice);
        break;
    case PLUGIN_CALLBACK_ELAPSED:
        g_nPluginElapsed.store(nValue);
        break;
    default:
        break;
    }
    return 0;
}

} // namespace

int PluginCallback(int nType, int nValue, std::uint32_t dwWindow)
{
    return Notify(nType, nValue, dwWindow, 0);
}

int PeerPluginCallback(int nType, int nValue, std::uint32_t dwWindow)
{
    return Notify(nType, nValue, dwWindow, kPluginPeerNotice);
}
