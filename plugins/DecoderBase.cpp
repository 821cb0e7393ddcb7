#include "plugins/DecoderBase.h"

int CDecoderBase::SetCallback(PluginCallbackProc pfnCallback, std::uint32_t dwUser)
{
    m_pfnCallback.store(pfnCallback);
    m_dwUser.store(dwUser);
    return 1;
}

int CDecoderBase::Pause()
{
    int expected = PLUGIN_STATE_PLAYING;
    if (m_nState.compare_exchange_strong(expected, PLUGIN_STATE_PAUSED)) {
        m_pOutput->SetPaused(1);
        PostCommand();
    }
    return 1;
}

int CDecoderBase::Resume()
{
    int expected = PLUGIN_STATE_PAUSED;
    if (!m_nState.compare_exchange_strong(expected, PLUGIN_STATE_PLAYING)) {
        return 0;
    }
    m_pOutput->SetPaused(0);
    PostCommand();
    return 1;
}

int CDecoderBase::Seek(std::int32_t nSeconds)
{
    return SeekMilliseconds(std::int64_t{nSeconds} * 1000);
}

void CDecoderBase::InterruptOutput()
{
    // Called before the request is stored: the other order could let the Flush come first
    // and leave the output refusing every write.
    if (m_pOutput != nullptr) {
        m_pOutput->Interrupt();
    }
}

void CDecoderBase::PostCommand()
{
    m_nCommands.fetch_add(1);
    m_nCommands.notify_all();
}

void CDecoderBase::Report(int nType, int nValue)
{
    const PluginCallbackProc callback = m_pfnCallback.load();
    if (callback != nullptr) {
        callback(nType, nValue, m_dwUser.load());
    }
}
