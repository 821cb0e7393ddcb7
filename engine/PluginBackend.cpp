#include "engine/PluginBackend.h"

#include "engine/PlaybackError.h"
#include "engine/PluginCallback.h"
#include "engine/PluginLibrary.h"
#include "media/Mci.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

CPluginBackend::~CPluginBackend()
{
    // The decoder object lives in its library, so the file closes before the library goes.
    Close();
    FreePlugins();
}

int CPluginBackend::Open(const std::string& strPath, DeviceKind)
{
    if ((m_pDecoder == nullptr || m_pOutput == nullptr) && LoadPlugins() == 0) {
        ShowPlaybackError(kPluginMissingError);
        return 0;
    }
    m_pDecoder->SetCallback(PluginCallback, m_hNotifyWnd);
    if (m_pDecoder->Open(strPath.c_str(), &m_pluginInfo) == 0) {
        return 0;
    }
    m_bOpen = true;
    return 1;
}

void CPluginBackend::Close()
{
    if (!m_bOpen) {
        return;
    }
    m_pDecoder->Close();
    m_bOpen = false;
}

int CPluginBackend::Play(int)
{
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING) {
        return 1;
    }
    if (state == PLUGIN_STATE_STOPPED) {
        if (m_pDecoder->Play() == 0) {
            return 0;
        }
    } else if (m_pDecoder->Resume() == 0) {
        return 0;
    }
    for (int poll = 0; poll < kPluginStartPolls; ++poll) {
        std::this_thread::sleep_for(kPluginStartPollMs);
        if (m_pDecoder->GetState() == PLUGIN_STATE_PLAYING) {
            break;
        }
    }
    return 1;
}

int CPluginBackend::Stop()
{
    if (m_pDecoder->GetState() != PLUGIN_STATE_STOPPED) {
        m_pDecoder->Pause();
        std::this_thread::sleep_for(kPluginPauseSettleMs);
    }
    return 1;
}

int CPluginBackend::SeekPercent(int nPercent)
{
    const auto length = static_cast<long long>(m_pluginInfo.nLengthSeconds);
    const auto target = static_cast<std::int32_t>(length * nPercent / 100);
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED) {
        m_pDecoder->Seek(target);
    }
    return 1;
}

int CPluginBackend::SeekMilliseconds(std::int64_t nMilliseconds)
{
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED) {
        m_pDecoder->SeekMilliseconds(nMilliseconds);
    }
    return 1;
}

void CPluginBackend::GetPosition(PlayPosition& pos)
{
    const std::int64_t position = m_pDecoder->GetPositionMilliseconds();
    const auto seconds =
        static_cast<std::int32_t>(std::min<std::int64_t>(position / 1000, INT32_MAX));
    pos.nMinutes = seconds / 60;
    pos.nSeconds = seconds % 60;
    pos.nMilliseconds = static_cast<std::int32_t>(std::min<std::int64_t>(position, INT32_MAX));
}

int CPluginBackend::GetLengthSeconds(int)
{
    return m_pluginInfo.nLengthSeconds;
}

std::int64_t CPluginBackend::GetLengthMilliseconds(int)
{
    return std::int64_t{m_pluginInfo.nLengthSeconds} * 1000;
}

int CPluginBackend::GetMode()
{
    return m_pDecoder->GetState() == PLUGIN_STATE_PLAYING ? static_cast<int>(MCI_MODE_PLAY)
                                                          : static_cast<int>(MCI_MODE_STOP);
}

int CPluginBackend::LoadPlugins()
{
    // While a compressed file plays, the loaded libraries are in use and stay.
    if (m_bOpen) {
        return 1;
    }
    // Whatever an earlier, failed load left can go; the libraries are looked for afresh.
    FreePlugins();

    m_hDecoderLib = LoadPluginLibrary(kDecoderLibrary, m_strPluginDir);
    void* getDecoder = FindPluginExport(m_hDecoderLib, kPluginGetInstance);
    if (getDecoder == nullptr) {
        return 0;
    }
    m_pDecoder = reinterpret_cast<DecoderGetInstanceProc>(getDecoder)();

    m_hOutputLib = LoadPluginLibrary(kOutputLibrary, m_strPluginDir);
    void* getOutput = FindPluginExport(m_hOutputLib, kPluginGetInstance);
    if (getOutput == nullptr) {
        return 0;
    }
    m_pOutput = reinterpret_cast<OutputGetInstanceProc>(getOutput)();

    // A library whose GetInstance gives no object counts as missing.
    if (m_pDecoder == nullptr || m_pOutput == nullptr) {
        return 0;
    }
    m_pDecoder->SetOutput(m_pOutput);
    std::memset(&m_pluginInfo, 0, sizeof(m_pluginInfo));
    return 1;
}

void CPluginBackend::FreePlugins()
{
    // The decoder holds the output, so it goes first.
    m_pDecoder = nullptr;
    m_pOutput = nullptr;
    FreePluginLibrary(m_hDecoderLib);
    m_hDecoderLib = nullptr;
    FreePluginLibrary(m_hOutputLib);
    m_hOutputLib = nullptr;
}
