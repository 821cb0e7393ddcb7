#pragma once

#include "engine/PositionMonitor.h"

#include <atomic>
#include <cstdint>
#include <memory>

// What the decoder plug-ins tell the player, on their decode threads. Each decoder is given
// PluginCallback with its medium's serial as the callback's value; the serial's route (the
// engine's TrackWatch, whose window receives the notices) is registered while the medium is
// open.

// The elapsed playing time in whole seconds that a decoder last reported. Written only by
// PluginCallback (one 32-bit store), read on any thread; opening or closing a medium does
// not reset it.
extern std::atomic<std::int32_t> g_nPluginElapsed;

// Any thread. PLUGIN_CALLBACK_END posts MM_MCINOTIFY with MCI_NOTIFY_SUCCESSFUL and lParam
// nSerial to the window of nSerial's route; PLUGIN_CALLBACK_FAILED the same with
// MCI_NOTIFY_FAILURE; PLUGIN_CALLBACK_ELAPSED stores nValue in g_nPluginElapsed; other types,
// and a serial with no route, do nothing. Returns 0.
int PluginCallback(int nType, int nValue, std::uint32_t nSerial);

// Any thread. The notices of nSerial go to pWatch's window from now on, until ForgetPluginRoute.
void RoutePluginNotices(std::uint32_t nSerial, std::shared_ptr<TrackWatch> pWatch);
void ForgetPluginRoute(std::uint32_t nSerial);
