#pragma once

#include <atomic>
#include <cstdint>

// What the decoder plug-in tells the player, on a thread of its own.

// The elapsed playing time in whole seconds that the decoder last reported. Written only by
// PluginCallback (one 32-bit store), read on any thread; opening or closing a medium does
// not reset it.
extern std::atomic<std::int32_t> g_nPluginElapsed;

// Registered with the decoder. Type PLUGIN_CALLBACK_END posts MM_MCINOTIFY to the window
// dwWindow with MCI_NOTIFY_SUCCESSFUL and lParam 0; PLUGIN_CALLBACK_FAILED posts MM_MCINOTIFY with
// MCI_NOTIFY_FAILURE and lParam 0; type PLUGIN_CALLBACK_ELAPSED stores nValue in g_nPluginElapsed;
// PLUGIN_CALLBACK_NEXT posts MM_MCINOTIFY with MCI_NOTIFY_SUCCESSFUL and lParam
// kPluginNextNotice; other types do nothing. Returns 0. Safe on any thread.
inline constexpr std::intptr_t kPluginNextNotice = -1;
int PluginCallback(int nType, int nValue, std::uint32_t dwWindow);

// As PluginCallback, for the peer decoders (a compressed file prepared to follow another of
// the same library): their end and failure notices carry lParam kPluginPeerNotice instead of 0.
inline constexpr std::intptr_t kPluginPeerNotice = -2;
int PeerPluginCallback(int nType, int nValue, std::uint32_t dwWindow);
