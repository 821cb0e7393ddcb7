#include "engine/DeviceMedium.h"

#include "base/Contract.h"
#include "media/Mci.h"

#include <system_error>

namespace {

// Open flags: a file element of a device type, or the shareable CD audio device.
constexpr DWORD kOpenFileFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT;
constexpr DWORD kOpenCdFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_SHAREABLE | MCI_WAIT;
// The separate, unshared CD device that OpenDoorOfDrive opens.
constexpr DWORD kOpenEjectFlags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT;

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

std::unique_ptr<CDeviceMedium> CDeviceMedium::Open(const MediumRequest& request, int& nError)
{
    SORVANE_EXPECT(OnMainThread());
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(DeviceTypeOf(request.kind));
    DWORD flags = kOpenCdFlags;
    if (request.kind != DEVICE_CDAUDIO) {
        open.lpstrElementName = request.strPath.c_str();
        flags = kOpenFileFlags;
    }
    const MCIERROR err = mciSendCommand(0, MCI_OPEN, flags, &open);
    if (err != 0) {
        nError = static_cast<int>(err);
        return nullptr;
    }
    SetDeviceStreamTicket(open.wDeviceID, request.ticket);
    std::unique_ptr<CDeviceMedium> medium(new CDeviceMedium(request, open.wDeviceID));
    MCI_SET_PARMS set;
    set.dwTimeFormat = request.kind == DEVICE_CDAUDIO ? MCI_FORMAT_TMSF : MCI_FORMAT_MILLISECONDS;
    mciSendCommand(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    if (request.kind == DEVICE_CDAUDIO) {
        medium->m_nTrackCount = static_cast<int>(
            QueryStatus(open.wDeviceID, MCI_STATUS_ITEM | MCI_WAIT, MCI_STATUS_NUMBER_OF_TRACKS));
        medium->StartMonitor(request.readTrack);
    }
    return medium;
}

CDeviceMedium::CDeviceMedium(const MediumRequest& request, UINT nDeviceId)
    : m_nKind(request.kind)
    , m_nDeviceId(nDeviceId)
    , m_nSerial(request.nSerial)
    , m_pWatch(request.pWatch)
    , m_monitorStopTimeout(request.monitorStopTimeout)
    , m_relay(
          [this](UINT message, WPARAM wParam, LPARAM lParam) { Relay(message, wParam, lParam); })
{}

CDeviceMedium::~CDeviceMedium()
{
    SORVANE_EXPECT(OnMainThread());
    // The monitor ends (or is forgotten) before the device it reads goes away.
    if (m_pMonitor != nullptr)
        m_pMonitor->Stop(m_monitorStopTimeout);
    SendSimple(m_nDeviceId, MCI_CLOSE, MCI_WAIT);
}

void CDeviceMedium::Relay(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The relay window's thread: the user-interface thread.
    SORVANE_EXPECT(OnMainThread());
    if (message == MM_MCINOTIFY && lParam == static_cast<LPARAM>(m_nDeviceId)) {
        PostMessage(m_pWatch->hNotifyWnd.load(), MM_MCINOTIFY, wParam,
                    static_cast<LPARAM>(m_nSerial));
    }
}

void CDeviceMedium::StartMonitor(CPositionMonitor::TrackReader readTrack)
{
    if (!readTrack) {
        // The reader holds the device id, not this object: a forgotten monitor that reads
        // after the close only gets no answer.
        readTrack = [deviceId = m_nDeviceId] {
            return static_cast<int>(MCI_TMSF_TRACK(CdPosition(deviceId)));
        };
    }
    try {
        m_pMonitor = std::make_unique<CPositionMonitor>(m_pWatch, m_nSerial, std::move(readTrack));
    } catch (const std::system_error&) {
        // No thread to spare: the CD plays on, its track changes unreported.
        m_pMonitor.reset();
    }
}

int CDeviceMedium::Play(int nTrack)
{
    SORVANE_EXPECT(OnMainThread());
    if (nTrack != 0)
        m_pWatch->nSkipTrack.store(nTrack);
    MCI_PLAY_PARMS play;
    play.dwCallback = m_relay.GetSafeHwnd();
    play.dwFrom = MCI_MAKE_TMSF(static_cast<unsigned>(nTrack) & 0xFFu, 0, 0, 0);
    DWORD flags = MCI_NOTIFY;
    if (m_nKind == DEVICE_CDAUDIO && nTrack != 0)
        flags |= MCI_FROM;
    const MCIERROR err = mciSendCommand(m_nDeviceId, MCI_PLAY, flags, &play);
    if (err != 0) {
        // The disc did not move: there is no arrival to pass over.
        int expected = nTrack;
        m_pWatch->nSkipTrack.compare_exchange_strong(expected, 0);
        return static_cast<int>(err);
    }
    return 0;
}

int CDeviceMedium::PlayFrom(std::int64_t nMilliseconds)
{
    // A device seeks while it stands and plays from there.
    SeekMilliseconds(nMilliseconds);
    return Play(0);
}

void CDeviceMedium::Stop()
{
    SORVANE_EXPECT(OnMainThread());
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
}

void CDeviceMedium::SeekPercent(int nPercent)
{
    SORVANE_EXPECT(OnMainThread());
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
}

void CDeviceMedium::SeekMilliseconds(std::int64_t nMilliseconds)
{
    SORVANE_EXPECT(OnMainThread());
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
}

void CDeviceMedium::GetPosition(PlayPosition& pos)
{
    SORVANE_EXPECT(OnMainThread());
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

int CDeviceMedium::GetLengthSeconds(int nTrack)
{
    return static_cast<int>(GetLengthMilliseconds(nTrack) / 1000);
}

std::int64_t CDeviceMedium::GetLengthMilliseconds(int nTrack)
{
    SORVANE_EXPECT(OnMainThread());
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

int CDeviceMedium::GetMode()
{
    SORVANE_EXPECT(OnMainThread());
    return static_cast<int>(QueryStatus(m_nDeviceId, MCI_STATUS_ITEM, MCI_STATUS_MODE));
}

bool CDeviceMedium::OpenDiscDoor()
{
    SORVANE_EXPECT(OnMainThread());
    if (m_nKind != DEVICE_CDAUDIO)
        return false;
    SendSimple(m_nDeviceId, MCI_STOP, MCI_WAIT);
    OpenDoor(m_nDeviceId);
    return true;
}

bool CDeviceMedium::OpenDoorOfDrive()
{
    SORVANE_EXPECT(OnMainThread());
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_CD_AUDIO);
    if (mciSendCommand(0, MCI_OPEN, kOpenEjectFlags, &open) != 0)
        return false;
    OpenDoor(open.wDeviceID);
    SendSimple(open.wDeviceID, MCI_CLOSE, MCI_WAIT);
    return true;
}
