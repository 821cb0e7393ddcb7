#include "engine/PluginCallback.h"

#include "framework/Messages.h"
#include "media/Mci.h"
#include "pluginapi/PluginInterface.h"

#include <mutex>
#include <unordered_map>

std::atomic<std::int32_t> g_nPluginElapsed{0};

namespace {

// The routes by serial; its lock is held only to look one up, add or remove it.
struct Routes
{
    std::mutex mutex;
    std::unordered_map<std::uint32_t, std::shared_ptr<TrackWatch>> watches;
};

// Never destroyed: a decode thread may still report while the process exits.
Routes& TheRoutes()
{
    static auto* routes = new Routes;
    return *routes;
}

void Post(WPARAM code, std::uint32_t nSerial)
{
    Routes& routes = TheRoutes();
    std::lock_guard lock(routes.mutex);
    const auto it = routes.watches.find(nSerial);
    if (it != routes.watches.end()) {
        PostMessage(it->second->hNotifyWnd.load(), MM_MCINOTIFY, code,
                    static_cast<LPARAM>(nSerial));
    }
}

} // namespace

int PluginCallback(int nType, int nValue, std::uint32_t nSerial)
{
    switch (nType) {
    case PLUGIN_CALLBACK_END:
        Post(MCI_NOTIFY_SUCCESSFUL, nSerial);
        break;
    case PLUGIN_CALLBACK_FAILED:
        Post(MCI_NOTIFY_FAILURE, nSerial);
        break;
    case PLUGIN_CALLBACK_ELAPSED:
        g_nPluginElapsed.store(nValue);
        break;
    default:
        break;
    }
    return 0;
}

void RoutePluginNotices(std::uint32_t nSerial, std::shared_ptr<TrackWatch> pWatch)
{
    Routes& routes = TheRoutes();
    std::lock_guard lock(routes.mutex);
    routes.watches[nSerial] = std::move(pWatch);
}

void ForgetPluginRoute(std::uint32_t nSerial)
{
    Routes& routes = TheRoutes();
    std::lock_guard lock(routes.mutex);
    routes.watches.erase(nSerial);
}
