#include "engine/DeviceBackend.h"

#include "engine/PlaybackError.h"
#include "media/Mci.h"

#include <system_error>

namespace {

// Open flags: a file element of a device type, or the shareable CD audio device.
constexpr DWORD kOpenFileFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT;
constexpr DWORD kOpenCdFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_SHAREABLE | MCI_WAIT;
// The separate, unshared CD device that OpenDoorOfDrive opens.
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

// The answer of a status query; 0 when the device gives none (a closed device, say).
DWORD_PTR QueryStatus(UINT deviceId, DWORD flags, DWORD item, DWORD track = 0)
{
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    status.dwTrack = track;
    mciSendCommand(deviceId, MCI_STATUS, flags, &status);
    return status.dwReturn;
}

DWORD CdPosition(UINT deviceId)
{
    return static_cast<DWORD>(
        QueryStatus(deviceId, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_POSITION));
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

CDeviceBackend::CDeviceBackend()
    : m_pWatch(std::make_shared<TrackWatch>())
{}

CDeviceBackend::~CDeviceBackend()
{
    Close();
}

void CDeviceBackend::SetNotifyWindow(HWND hWnd)
{
    m_pWatch->hNotifyWnd.store(hWnd);
}

int CDeviceBackend::Open(const std::string& strPath, DeviceKind kind)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(DeviceTypeOf(kind));
    DWORD flags = kOpenCdFlags;
    if (kind != DEVICE_CDAUDIO) {
        open.lpstrElementName = strPath.c_str();
        flags = kOpenFileFlags;
    }
    const MCIERROR err = mciSendCommand(0, MCI_OPEN, flags, &open);
    if (err != 0) {
        ShowPlaybackError(static_cast<int>(err));
        return 0;
    }
    m_nKind = kind;
    m_nDeviceId = open.wDeviceID;

    if (kind == DEVICE_CDAUDIO) {
        m_nTrackCount = static_cast<int>(
            QueryStatus(m_nDeviceId, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_NUMBER_OF_TRACKS));
        StartMonitor();
    }

    MCI_SET_PARMS set;
    set.dwTimeFormat = kind == DEVICE_CDAUDIO ? MCI_FORMAT_TMSF : MCI_FORMAT_MILLISECONDS;
    mciSendCommand(m_nDeviceId, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    return 1;
}

UINT CDeviceBackend::OpenFollowing(const std::string& strPath, DeviceKind kind,
                                   const AudioStreamRef& leader)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(DeviceTypeOf(kind));
    open.lpstrElementName = strPath.c_str();
    if (kind == DEVICE_CDAUDIO || mciSendCommand(0, MCI_OPEN, kOpenFileFlags, &open) != 0)
        return 0;
    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
    mciSendCommand(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    MCI_PLAY_PARMS play;
    play.dwCallback = m_pWatch->hNotifyWnd.load() & kNotifyHandleMask;
    MCIERROR err = 0;
    {
        // The device's stream comes with its first play, on this thread.
        const CAudioFollowOn followOn(leader);
        err = mciSendCommand(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, &play);
    }
    if (err != 0) {
        CloseFollowing(open.wDeviceID);
        return 0;
    }
    return open.wDeviceID;
}

void CDeviceBackend::CloseFollowing(UINT nDeviceId)
{
    if (nDeviceId != 0)
        SendSimple(nDeviceId, MCI_CLOSE, MCI_WAIT);
}

void CDeviceBackend::Adopt(UINT nDeviceId, DeviceKind kind)
{
    Close();
    m_nKind = kind;
    m_nDeviceId = nDeviceId;
}

void CDeviceBackend::StartMonitor()
{
    CPositionMonitor::TrackReader readTrack = m_readTrackForTests;
    if (!readTrack) {
        // The reader holds the device id, not this object: a forgotten monitor that reads
        // after the close only gets no answer.
        readTrack = [deviceId = m_nDeviceId] {
            return static_cast<int>(MCI_TMSF_TRACK(CdPosition(deviceId)));
        };
    }
    try {
        m_pMonitor = std::make_unique<CPositionMonitor>(m_pWatch, std::move(readTrack));
    } catch (const std::system_error&) {
        // No thread to spare: the CD plays on, its track changes unreported.
        m_pMonitor.reset();
    }
}

void CDeviceBackend::Close()
{
    if (m_nDeviceId == 0) {
        return;
    }
    // The monitor ends (or is forgotten) before the device it reads goes away.
    if (m_pMonitor != nullptr) {
        m_pMonitor->Stop(m_monitorStopTimeout);
        m_pMonitor.reset();
    }
    SendSimple(m_nDeviceId, MCI_CLOSE, MCI_WAIT);
    m_nDeviceId = 0;
    m_nTrackCount = 0;
}

int CDeviceBackend::Play(int nTrack)
{
    if (nTrack != 0) {
        m_pWatch->nSkipTrack.store(nTrack);
    }
    MCI_PLAY_PARMS play;
    play.dwCallback = m_pWatch->hNotifyWnd.load() & kNotifyHandleMask;
    play.dwFrom = MCI_MAKE_TMSF(static_cast<unsigned>(nTrack) & 0xFFu, 0, 0, 0);
    DWORD flags = MCI_NOTIFY;
    if (m_nKind == DEVICE_CDAUDIO && nTrack != 0) {
        flags |= MCI_FROM;
    }
    const MCIERROR err = mciSendCommand(m_nDeviceId, MCI_PLAY, flags, &play);
    if (err != 0) {
        // The disc did not move: there is no arrival to pass over.
        int expected = nTrack;
        m_pWatch->nSkipTrack.compare_exchange_strong(expected, 0);
        ShowPlaybackError(static_cast<int>(err));
        return 0;
    }
    return 1;
}

int CDeviceBackend::Stop()
{
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
    return 1;
}

int CDeviceBackend::SeekPercent(int nPercent)
{
    const bool bCd = m_nKind == DEVICE_CDAUDIO;
    const unsigned track = bCd ? MCI_TMSF_TRACK(CdPosition(m_nDeviceId)) : 0;
    const auto length = static_cast<long long>(GetLengthSeconds(static_cast<int>(track)));
    const auto target = static_cast<std::int32_t>(length * nPercent / 100);
    MCI_SEEK_PARMS seek;
    if (bCd) {
        const auto seconds = static_cast<unsigned>(target);
        seek.dwTo = MCI_MAKE_TMSF(track, seconds / 60, seconds % 60, 0);
    } else {
        seek.dwTo = static_cast<DWORD>(target) * 1000U;
    }
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
    mciSendCommand(m_nDeviceId, MCI_SEEK, MCI_TO | MCI_WAIT, &seek);
    return 1;
}

int CDeviceBackend::SeekMilliseconds(std::int64_t nMilliseconds)
{
    MCI_SEEK_PARMS seek;
    if (m_nKind == DEVICE_CDAUDIO) {
        const unsigned track = MCI_TMSF_TRACK(CdPosition(m_nDeviceId));
        const auto seconds = static_cast<unsigned>(nMilliseconds / 1000);
        const auto frames = static_cast<unsigned>(nMilliseconds % 1000 * kCdFramesPerSecond / 1000);
        seek.dwTo = MCI_MAKE_TMSF(track, seconds / 60, seconds % 60, frames);
    } else {
        seek.dwTo = static_cast<DWORD>(nMilliseconds);
    }
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
    mciSendCommand(m_nDeviceId, MCI_SEEK, MCI_TO | MCI_WAIT, &seek);
    return 1;
}

void CDeviceBackend::GetPosition(PlayPosition& pos)
{
    if (m_nKind == DEVICE_CDAUDIO) {
        const DWORD value = CdPosition(m_nDeviceId);
        pos.nTrack = static_cast<std::int32_t>(MCI_TMSF_TRACK(value));
        pos.nMinutes = static_cast<std::int32_t>(MCI_TMSF_MINUTE(value));
        pos.nSeconds = static_cast<std::int32_t>(MCI_TMSF_SECOND(value));
        pos.nFrames = static_cast<std::int32_t>(MCI_TMSF_FRAME(value));
        return;
    }
    const auto value = static_cast<DWORD>(
        QueryStatus(m_nDeviceId, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_POSITION));
    const DWORD seconds = value / 1000;
    pos.nMinutes = static_cast<std::int32_t>(seconds / 60);
    pos.nSeconds = static_cast<std::int32_t>(seconds % 60);
    pos.nMilliseconds = static_cast<std::int32_t>(value);
}

int CDeviceBackend::GetLengthSeconds(int nTrack)
{
    if (m_nKind == DEVICE_CDAUDIO) {
        const auto msf =
            static_cast<DWORD>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM | MCI_TRACK,
                                           MCI_STATUS_LENGTH, static_cast<DWORD>(nTrack)));
        return static_cast<int>(MCI_MSF_MINUTE(msf) * 60 + MCI_MSF_SECOND(msf));
    }
    return static_cast<int>(
        static_cast<DWORD>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM, MCI_STATUS_LENGTH)) / 1000);
}

std::int64_t CDeviceBackend::GetLengthMilliseconds(int nTrack)
{
    if (m_nKind == DEVICE_CDAUDIO) {
        const auto msf =
            static_cast<DWORD>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM | MCI_TRACK,
                                           MCI_STATUS_LENGTH, static_cast<DWORD>(nTrack)));
        return (std::int64_t{MCI_MSF_MINUTE(msf)} * 60 + MCI_MSF_SECOND(msf)) * 1000 +
               std::int64_t{MCI_MSF_FRAME(msf)} * 1000 / kCdFramesPerSecond;
    }
    return static_cast<std::int64_t>(
        static_cast<DWORD>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM, MCI_STATUS_LENGTH)));
}

int CDeviceBackend::GetMode()
{
    return static_cast<int>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM, MCI_STATUS_MODE));
}

int CDeviceBackend::OpenDiscDoor()
{
    if (m_nKind != DEVICE_CDAUDIO) {
        return 0;
    }
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
    OpenDoor(m_nDeviceId);
    return 1;
}

int CDeviceBackend::OpenDoorOfDrive()
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_CD_AUDIO);
    if (mciSendCommand(0, MCI_OPEN, kOpenEjectFlags, &open) != 0) {
        return 0;
    }
    OpenDoor(open.wDeviceID);
    SendSimple(open.wDeviceID, MCI_CLOSE, MCI_WAIT);
    return 1;
}

void CDeviceBackend::SetMonitorReader(CPositionMonitor::TrackReader readTrack,
                                      std::chrono::milliseconds stopTimeout)
{
    m_readTrackForTests = std::move(readTrack);
    m_monitorStopTimeout = stopTimeout;
}
