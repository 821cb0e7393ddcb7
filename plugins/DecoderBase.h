#pragma once

#include "pluginapi/PluginInterface.h"

#include <atomic>
#include <cstdint>

// What both decoders share between the user-interface thread and their decode thread: the
// output, the callback, the play state and the command counter, and the slots that only
// touch those (the callback, the state, pause, resume and the seek in whole seconds).
//
// Threads: the slots run on the user-interface thread. The decode thread reads the state and
// waits on m_nCommands; a request is stored first and then posted (PostCommand), and a thread
// waiting in the output is interrupted before the request is stored, so that it looks at the
// request at once and handling it (a Flush, or the end of the thread) ends the interruption.
class CDecoderBase : public IDecoderPlugin
{
public:
    int Reserved0() override { return 0; }
    int Reserved7() override { return 0; }
    int SetCallback(PluginCallbackProc pfnCallback, std::uint32_t dwUser) override;
    int GetState() override { return m_nState.load(); }
    // From PLUGIN_STATE_PLAYING: holds the output where it is and tells the decode thread.
    int Pause() override;
    // From PLUGIN_STATE_PAUSED: lets the output play on and tells the decode thread.
    int Resume() override;
    // The millisecond seek, to whole seconds.
    int Seek(std::int32_t nSeconds) override;

protected:
    CDecoderBase() = default;
    ~CDecoderBase() = default;

    // Releases a decode thread waiting in the output (see the thread note above).
    void InterruptOutput();
    // Wakes the decode thread to look at its requests.
    void PostCommand();
    // Calls the registered callback, if any; decode thread.
    void Report(int nType, int nValue);

    IOutputPlugin* m_pOutput = nullptr;
    std::atomic<PluginCallbackProc> m_pfnCallback{nullptr};
    std::atomic<std::uint32_t> m_dwUser{0};
    std::atomic<int> m_nState{PLUGIN_STATE_STOPPED};
    std::atomic<unsigned> m_nCommands{0};
};
