#include "engine/PlayEngine.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"

#include <algorithm>

CPlayEngine::~CPlayEngine()
{
    CloseMedium();
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

IPlaybackBackend* CPlayEngine::BackendFor(DeviceKind kind)
{
    switch (kind) {
    case DEVICE_NONE:
        return nullptr;
    case DEVICE_PLUGIN:
        return &m_plugins;
    default:
        return &m_devices;
    }
}

void CPlayEngine::SetNotifyWindow(HWND hWnd)
{
    m_devices.SetNotifyWindow(hWnd);
    m_plugins.SetNotifyWindow(hWnd);
}

int CPlayEngine::OpenMedium(const std::string& strPath, MediumSource source)
{
    // Callers close first; a medium still open here would leave its device and monitor
    // behind for good.
    CloseMedium();
    const DeviceKind kind = source != MEDIUM_CD ? KindFromExtension(strPath) : DEVICE_CDAUDIO;
    m_nKind.store(kind);
    m_strTitle = kind == DEVICE_CDAUDIO ? std::string(kCdTitle) : std::string(FileNameOf(strPath));
    m_pBackend = BackendFor(kind);
    if (m_pBackend == nullptr) {
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    }
    return m_pBackend->Open(strPath, kind);
}

void CPlayEngine::CloseMedium()
{
    if (IsOpen() != 0) {
        m_pBackend->Close();
    }
}

int CPlayEngine::OpenAndPlay(const std::string& strPath)
{
    if (OpenMedium(strPath, MEDIUM_FILE) == 0) {
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
    return IsOpen() != 0 ? m_pBackend->Play(nTrack) : 0;
}

int CPlayEngine::Stop()
{
    return IsOpen() != 0 ? m_pBackend->Stop() : 0;
}

int CPlayEngine::SeekPercent(int nPercent)
{
    // A share outside 0-100 would aim before the start or past the end.
    return IsOpen() != 0 ? m_pBackend->SeekPercent(std::clamp(nPercent, 0, 100)) : 0;
}

int CPlayEngine::SeekMilliseconds(std::int64_t nMilliseconds)
{
    if (IsOpen() == 0) {
        return 0;
    }
    PlayPosition pos{};
    m_pBackend->GetPosition(pos);
    const std::int64_t length = m_pBackend->GetLengthMilliseconds(pos.nTrack);
    return m_pBackend->SeekMilliseconds(std::clamp<std::int64_t>(nMilliseconds, 0, length));
}

int CPlayEngine::GetPosition(PlayPosition* pPos)
{
    if (pPos == nullptr) {
        return 0;
    }
    *pPos = PlayPosition{};
    if (IsOpen() == 0) {
        return 0;
    }
    m_pBackend->GetPosition(*pPos);
    return 1;
}

int CPlayEngine::GetLengthSeconds(int nTrack)
{
    return IsOpen() != 0 ? m_pBackend->GetLengthSeconds(nTrack) : 0;
}

std::int64_t CPlayEngine::GetLengthMilliseconds(int nTrack)
{
    return IsOpen() != 0 ? m_pBackend->GetLengthMilliseconds(nTrack) : 0;
}

int CPlayEngine::GetMode()
{
    return IsOpen() != 0 ? m_pBackend->GetMode() : 0;
}

int CPlayEngine::Eject()
{
    if (IsOpen() != 0 && m_pBackend->OpenDiscDoor() != 0) {
        CloseMedium();
        return 1;
    }
    return CDeviceBackend::OpenDoorOfDrive();
}
