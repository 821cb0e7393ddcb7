#include "engine/PlayEngine.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "engine/PluginLibrary.h"
#include "framework/ManualEvent.h"
#include "framework/Messages.h"
#include "framework/WorkerThread.h"
#include "media/Mci.h"

#include <algorithm>
#include <cstring>

namespace {

// Open flags: a file element of a device type, or the shareable CD audio device.
constexpr DWORD kOpenFileFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT;
constexpr DWORD kOpenCdFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_SHAREABLE | MCI_WAIT;
// The separate, unshared CD device that Eject opens when no CD is open.
constexpr DWORD kOpenEjectFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT;

// MCI takes a notify window as the low 16 bits of its handle.
constexpr DWORD_PTR kNotifyHandleMask = 0xFFFF;

UINT DeviceTypeOf(DeviceKind kind)
{
    switch (kind) {
    case DEVICE_CDAUDIO:
        return MCI_DEVTYPE_CD_AUDIO;
    case DEVICE_MIDI:
        return MCI_DEVTYPE_SEQUENCER;
    default:
        return MCI_DEVTYPE_WAVEFORM_AUDIO;
    }
}

DWORD_PTR QueryStatus(UINT deviceId, DWORD flags, DWORD item, DWORD track = 0)
{
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    status.dwTrack = track;
    mciSendCommand(deviceId, MCI_STATUS, flags, &status);
    return status.dwReturn;
}

void SendSimple(UINT deviceId, UINT message, DWORD flags)
{
    MCI_GENERIC_PARMS generic;
    mciSendCommand(deviceId, message, flags, &generic);
}

void OpenDoor(UINT deviceId)
{
    MCI_SET_PARMS set;
    mciSendCommand(deviceId, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, &set);
}

} // namespace

CPlayEngine::CPlayEngine() = default;

CPlayEngine::~CPlayEngine()
{
    if (m_nDeviceId.load() != 0) {
        CloseMedium();
    }
    // A monitor that missed its stop deadline still holds this engine; it ends at its next
    // look into its mailbox.
    if (m_dwLastMonitor != 0) {
        WaitForThreadEnd(m_dwLastMonitor, kMonitorStopWaitMs);
    }
    FreePlugins();
    if (m_hMonitorEvent != 0) {
        CloseEvent(m_hMonitorEvent);
    }
}

DeviceKind CPlayEngine::KindFromExtension(std::string_view strPath)
{
    const std::size_t dot = MbsRChr(strPath, '.');
    const std::string_view ext = dot == std::string_view::npos ? strPath : strPath.substr(dot + 1);
    if (MbsICmp(ext, "MID") == 0) {
        return DEVICE_MIDI;
    }
    if (MbsICmp(ext, "WAV") == 0) {
        return DEVICE_WAVE;
    }
    if (MbsICmp(ext, "MP3") == 0 || MbsICmp(ext, "MP2") == 0 || MbsICmp(ext, "MP") == 0) {
        return DEVICE_PLUGIN;
    }
    return DEVICE_NONE;
}

int CPlayEngine::OpenMedium(const std::string& strPath, int bIsFile)
{
    // Callers close first; a medium still open here would leave its device and monitor
    // behind for good.
    if (m_nDeviceId.load() != 0) {
        CloseMedium();
    }
    const DeviceKind kind = bIsFile != 0 ? KindFromExtension(strPath) : DEVICE_CDAUDIO;
    m_nKind.store(kind);
    m_strTitle = kind == DEVICE_CDAUDIO ? std::string(kCdTitle) : std::string(FileNameOf(strPath));
    m_strPath = kind == DEVICE_CDAUDIO ? std::string(kCdTitle) : strPath;

    switch (kind) {
    case DEVICE_NONE:
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    case DEVICE_PLUGIN:
        return OpenPluginMedium(strPath);
    default:
        return OpenDeviceMedium(strPath);
    }
}

int CPlayEngine::OpenPluginMedium(const std::string& strPath)
{
    if ((m_pDecoder == nullptr || m_pOutput == nullptr) && LoadPlugins() == 0) {
        ShowError(PLUGIN_MISSING_ERROR);
        return 0;
    }
    m_pDecoder->SetCallback(PluginCallback, m_hNotifyWnd.load());
    if (m_pDecoder->Open(strPath.c_str(), &m_pluginInfo) == 0) {
        return 0;
    }
    m_nDeviceId.store(1);
    return 1;
}

int CPlayEngine::OpenDeviceMedium(const std::string& strPath)
{
    const DeviceKind kind = m_nKind.load();
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(DeviceTypeOf(kind));
    DWORD flags = kOpenCdFlags;
    if (kind != DEVICE_CDAUDIO) {
        open.lpstrElementName = strPath.c_str();
        flags = kOpenFileFlags;
    }
    const MCIERROR err = mciSendCommand(0, MCI_OPEN, flags, &open);
    if (err != 0) {
        ShowError(static_cast<int>(err));
        return 0;
    }
    const UINT deviceId = open.wDeviceID;
    m_nDeviceId.store(deviceId);

    if (kind == DEVICE_CDAUDIO) {
        m_nTrackCount = static_cast<int>(
            QueryStatus(deviceId, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_NUMBER_OF_TRACKS));
        if (m_hMonitorEvent == 0) {
            m_hMonitorEvent = CreateManualEvent(false);
        }
        ResetEvent(m_hMonitorEvent);
        // The worker's mailbox exists before BeginWorkerThread returns, so a stop posted at
        // once is never lost.
        m_dwMonitorThread = BeginWorkerThread(MonitorThreadProc, this);
        if (m_dwMonitorThread != 0) {
            m_dwLastMonitor = m_dwMonitorThread;
        }
    }

    MCI_SET_PARMS set;
    set.dwTimeFormat = kind == DEVICE_CDAUDIO ? MCI_FORMAT_TMSF : MCI_FORMAT_MILLISECONDS;
    mciSendCommand(deviceId, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    return 1;
}

void CPlayEngine::CloseMedium()
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return;
    }
    const DeviceKind kind = m_nKind.load();
    if (kind == DEVICE_CDAUDIO && m_dwMonitorThread != 0) {
        StopMonitor();
    }
    if (kind == DEVICE_PLUGIN) {
        m_pDecoder->Close();
    } else {
        SendSimple(deviceId, MCI_CLOSE, MCI_WAIT);
    }
    m_nDeviceId.store(0);
    m_nTrackCount = 0;
}

void CPlayEngine::StopMonitor()
{
    PostThreadMessage(m_dwMonitorThread, WM_MONITOR_STOP, static_cast<WPARAM>(m_hMonitorEvent), 0);
    WaitForEvent(m_hMonitorEvent, kMonitorStopWaitMs);
    m_dwMonitorThread = 0;
}

int CPlayEngine::OpenAndPlay(const std::string& strPath)
{
    if (OpenMedium(strPath, 1) == 0) {
        Prompts().ShowMessage(kTextOpenFailed);
        return 0;
    }
    if (Play(1) == 0) {
        Prompts().ShowMessage(kTextPlayFailed);
        return 0;
    }
    return 1;
}

int CPlayEngine::Play(int nTrack)
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    const DeviceKind kind = m_nKind.load();
    if (kind == DEVICE_PLUGIN) {
        return PlayPlugin();
    }
    if (nTrack != 0) {
        m_nSkipTrack.store(nTrack);
    }
    MCI_PLAY_PARMS play;
    play.dwCallback = m_hNotifyWnd.load() & kNotifyHandleMask;
    play.dwFrom = MCI_MAKE_TMSF(static_cast<unsigned>(nTrack) & 0xFFu, 0, 0, 0);
    DWORD flags = MCI_NOTIFY;
    if (kind == DEVICE_CDAUDIO && nTrack != 0) {
        flags |= MCI_FROM;
    }
    const MCIERROR err = mciSendCommand(deviceId, MCI_PLAY, flags, &play);
    if (err != 0) {
        // The disc did not move: there is no arrival to pass over.
        int expected = nTrack;
        m_nSkipTrack.compare_exchange_strong(expected, 0);
        ShowError(static_cast<int>(err));
        return 0;
    }
    return 1;
}

int CPlayEngine::PlayPlugin()
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
        Sleep(kPluginStartPollMs);
        if (m_pDecoder->GetState() == PLUGIN_STATE_PLAYING) {
            break;
        }
    }
    return 1;
}

int CPlayEngine::Stop()
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    if (m_nKind.load() == DEVICE_PLUGIN) {
        if (m_pDecoder->GetState() != PLUGIN_STATE_STOPPED) {
            m_pDecoder->Pause();
            Sleep(kPluginPauseSettleMs);
        }
        return 1;
    }
    SendSimple(deviceId, MCI_STOP, MCI_WAIT);
    return 1;
}

int CPlayEngine::SeekPercent(int nPercent)
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    const DeviceKind kind = m_nKind.load();
    // A share outside 0-100 would aim before the start or past the end.
    const int percent = std::clamp(nPercent, 0, 100);
    int track = 0;
    if (kind == DEVICE_CDAUDIO) {
        PlayPosition pos{};
        GetPosition(&pos);
        track = pos.nTrack;
    }
    const auto length = static_cast<long long>(GetLengthSeconds(track));
    const auto target = static_cast<std::int32_t>(length * percent / 100);

    if (kind == DEVICE_PLUGIN) {
        const int state = m_pDecoder->GetState();
        if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED) {
            m_pDecoder->Seek(target);
        }
        return 1;
    }
    MCI_SEEK_PARMS seek;
    if (kind == DEVICE_CDAUDIO) {
        const auto seconds = static_cast<unsigned>(target);
        seek.dwTo = MCI_MAKE_TMSF(static_cast<unsigned>(track), seconds / 60, seconds % 60, 0);
    } else {
        seek.dwTo = static_cast<DWORD>(target) * 1000U;
    }
    SendSimple(deviceId, MCI_STOP, MCI_WAIT);
    mciSendCommand(deviceId, MCI_SEEK, MCI_TO | MCI_WAIT, &seek);
    return 1;
}

int CPlayEngine::GetPosition(PlayPosition* pPos)
{
    if (pPos == nullptr) {
        return 0;
    }
    *pPos = PlayPosition{};
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    const DeviceKind kind = m_nKind.load();
    if (kind == DEVICE_PLUGIN) {
        const std::int32_t elapsed = g_nPluginElapsed.load();
        pPos->nMinutes = elapsed / 60;
        pPos->nSeconds = elapsed % 60;
        return 1;
    }
    const auto value =
        static_cast<DWORD>(QueryStatus(deviceId, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_POSITION));
    if (kind == DEVICE_CDAUDIO) {
        pPos->nTrack = static_cast<std::int32_t>(MCI_TMSF_TRACK(value));
        pPos->nMinutes = static_cast<std::int32_t>(MCI_TMSF_MINUTE(value));
        pPos->nSeconds = static_cast<std::int32_t>(MCI_TMSF_SECOND(value));
        pPos->nFrames = static_cast<std::int32_t>(MCI_TMSF_FRAME(value));
    } else {
        const DWORD seconds = value / 1000;
        pPos->nMinutes = static_cast<std::int32_t>(seconds / 60);
        pPos->nSeconds = static_cast<std::int32_t>(seconds % 60);
        pPos->nMilliseconds = static_cast<std::int32_t>(value);
    }
    return 1;
}

int CPlayEngine::GetLengthSeconds(int nTrack)
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    switch (m_nKind.load()) {
    case DEVICE_PLUGIN:
        return m_pluginInfo.nLengthSeconds;
    case DEVICE_CDAUDIO: {
        const auto msf = static_cast<DWORD>(QueryStatus(
            deviceId, MCI_STATUS_ITEM | MCI_TRACK, MCI_STATUS_LENGTH, static_cast<DWORD>(nTrack)));
        return static_cast<int>(MCI_MSF_MINUTE(msf) * 60 + MCI_MSF_SECOND(msf));
    }
    default:
        return static_cast<int>(
            static_cast<DWORD>(QueryStatus(deviceId, MCI_STATUS_ITEM, MCI_STATUS_LENGTH)) / 1000);
    }
}

int CPlayEngine::GetMode()
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId == 0) {
        return 0;
    }
    if (m_nKind.load() == DEVICE_PLUGIN) {
        return m_pDecoder->GetState() == PLUGIN_STATE_PLAYING ? static_cast<int>(MCI_MODE_PLAY)
                                                              : static_cast<int>(MCI_MODE_STOP);
    }
    return static_cast<int>(QueryStatus(deviceId, MCI_STATUS_ITEM, MCI_STATUS_MODE));
}

int CPlayEngine::Eject()
{
    const UINT deviceId = m_nDeviceId.load();
    if (deviceId != 0 && m_nKind.load() == DEVICE_CDAUDIO) {
        SendSimple(deviceId, MCI_STOP, MCI_WAIT);
        OpenDoor(deviceId);
        CloseMedium();
        return 1;
    }
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_CD_AUDIO);
    if (mciSendCommand(0, MCI_OPEN, kOpenEjectFlags, &open) != 0) {
        return 0;
    }
    OpenDoor(open.wDeviceID);
    SendSimple(open.wDeviceID, MCI_CLOSE, MCI_WAIT);
    return 1;
}

int CPlayEngine::ShowError(int nCode)
{
    char text[kErrorTextSize] = {};
    if (nCode == PLUGIN_MISSING_ERROR) {
        std::strncpy(text, kTextPluginMissing, sizeof(text) - 1);
    } else {
        mciGetErrorString(static_cast<MCIERROR>(nCode), text, sizeof(text));
    }
    Prompts().ShowMessage(text);
    return 0;
}

int CPlayEngine::LoadPlugins()
{
    // While a compressed file plays, the loaded libraries are in use and stay.
    if (m_nDeviceId.load() != 0 && m_nKind.load() == DEVICE_PLUGIN) {
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

void CPlayEngine::FreePlugins()
{
    // The decoder holds the output, so it goes first.
    m_pDecoder = nullptr;
    m_pOutput = nullptr;
    FreePluginLibrary(m_hDecoderLib);
    m_hDecoderLib = nullptr;
    FreePluginLibrary(m_hOutputLib);
    m_hOutputLib = nullptr;
}
