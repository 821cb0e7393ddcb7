#include "engine/PlayEngine.h"

#include "base/Contract.h"
#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "engine/DeviceMedium.h"
#include "engine/MediaFormats.h"
#include "engine/PluginMedium.h"
#include "media/Mci.h"
#include "media/SequencerDevice.h"

#include <algorithm>

namespace {

// A serial for a medium about to open: never 0 (nothing open), and not given again before
// 2^32 more media have opened (the plug-in callback's value has 32 bits).
std::uint32_t NextSerial()
{
    static std::atomic<std::uint32_t> last{0};
    std::uint32_t serial = ++last;
    while (serial == 0)
        serial = ++last;
    return serial;
}

// Shows a failure unless there is nothing to tell. Returns 0.
int Tell(int nError)
{
    return nError != kNothingToTell ? ShowPlaybackError(nError) : 0;
}

} // namespace

CPlayEngine::CPlayEngine()
    : m_pWatch(std::make_shared<TrackWatch>())
{}

CPlayEngine::~CPlayEngine()
{
    CloseMedium();
}

DeviceKind CPlayEngine::KindFromExtension(std::string_view strPath)
{
    const MediaFormat* format = FindMediaFormat(strPath);
    return format != nullptr ? format->kind : DEVICE_NONE;
}

void CPlayEngine::SetNotifyWindow(HWND hWnd)
{
    SORVANE_EXPECT(OnMainThread());
    m_pWatch->hNotifyWnd.store(hWnd);
}

int CPlayEngine::LoadPlugins()
{
    SORVANE_EXPECT(OnMainThread());
    return m_libraries.Load(kMpegDecoderLibrary) ? 1 : 0;
}

void CPlayEngine::SetPluginDirectory(std::string strDirectory)
{
    SORVANE_EXPECT(OnMainThread());
    m_libraries.SetDirectory(std::move(strDirectory));
}

void CPlayEngine::SetMonitorReader(CPositionMonitor::TrackReader readTrack,
                                   std::chrono::milliseconds stopTimeout)
{
    SORVANE_EXPECT(OnMainThread());
    m_readTrackForTests = std::move(readTrack);
    m_monitorStopTimeout = stopTimeout;
}

HeldMedium CPlayEngine::OpenHeld(const std::string& file, DeviceKind kind, AudioStreamTicket ticket,
                                 int& nError)
{
    MediumRequest request{file,
                          kind,
                          NextSerial(),
                          std::move(ticket),
                          m_pWatch,
                          m_readTrackForTests,
                          m_monitorStopTimeout};
    HeldMedium held;
    if (kind == DEVICE_PLUGIN)
        held.pMedium = CPluginMedium::Open(request, m_libraries, nError);
    else
        held.pMedium = CDeviceMedium::Open(request, nError);
    if (held.pMedium != nullptr) {
        held.nSerial = request.nSerial;
        held.kind = kind;
        held.strEntry = file;
        held.ticket = std::move(request.ticket);
    }
    return held;
}

int CPlayEngine::OpenMedium(const std::string& strPath, MediumSource source, float fGain)
{
    SORVANE_EXPECT(OnMainThread());
    // A medium still open here would leave its device and monitor behind for good.
    CloseMedium();
    const DeviceKind kind = source != MEDIUM_CD ? KindFromExtension(strPath) : DEVICE_CDAUDIO;
    m_nKind.store(kind);
    m_strTitle = kind == DEVICE_CDAUDIO ? std::string(kCdTitle) : std::string(FileNameOf(strPath));
    // The SoundFont (often well over 100 MB) is kept while MIDI follows MIDI, and for a
    // MIDI file that follows soon after this one.
    if (kind != DEVICE_MIDI && kind != DEVICE_NONE)
        CSequencerDevice::ReleaseSoundFontSoon();
    if (kind == DEVICE_NONE) {
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    }
    int nError = 0;
    m_open = OpenHeld(strPath, kind, CAudioStreamTicket::Make({}, fGain), nError);
    return m_open.pMedium != nullptr ? 1 : Tell(nError);
}

void CPlayEngine::CloseMedium()
{
    SORVANE_EXPECT(OnMainThread());
    DropPrepared();
    m_open = HeldMedium{};
}

int CPlayEngine::OpenAndPlay(const std::string& strPath, float fGain)
{
    SORVANE_EXPECT(OnMainThread());
    if (OpenMedium(strPath, MEDIUM_FILE, fGain) == 0) {
        Prompts().ShowMessage(kTextOpenFailed);
        return 0;
    }
    if (Play(1) == 0) {
        Prompts().ShowMessage(kTextPlayFailed);
        return 0;
    }
    return 1;
}

int CPlayEngine::OpenAndPlayTrack(const CueTrack& track, float fGain)
{
    SORVANE_EXPECT(OnMainThread());
    if (OpenMedium(track.strFile, MEDIUM_FILE, fGain) == 0) {
        Prompts().ShowMessage(kTextOpenFailed);
        return 0;
    }
    const std::int64_t fileLength = m_open.pMedium->GetLengthMilliseconds(0);
    if (fileLength > 0 && track.nStartMs >= fileLength) {
        CloseMedium();
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    }
    m_open.track = track;
    m_strTitle = CueTrackName(track);
    if (PlayFrom(0, track.nStartMs) == 0) {
        Prompts().ShowMessage(kTextPlayFailed);
        return 0;
    }
    return 1;
}

const CueTrack* CPlayEngine::GetTrack() const
{
    SORVANE_EXPECT(OnMainThread());
    return m_open.track ? &*m_open.track : nullptr;
}

std::int64_t CPlayEngine::FilePositionMs()
{
    PlayPosition pos{};
    m_open.pMedium->GetPosition(pos);
    return pos.nMilliseconds;
}

std::int64_t CPlayEngine::TrackLengthMs()
{
    const std::int64_t fileLength = m_open.pMedium->GetLengthMilliseconds(0);
    std::int64_t end = m_open.track->nEndMs < 0 ? fileLength : m_open.track->nEndMs;
    if (fileLength > 0)
        end = std::min(end, fileLength);
    return std::max<std::int64_t>(end - m_open.track->nStartMs, 0);
}

std::optional<std::int64_t> CPlayEngine::TrackRemainingMs()
{
    SORVANE_EXPECT(OnMainThread());
    if (IsOpen() == 0 || !m_open.track || m_open.track->nEndMs < 0)
        return std::nullopt;
    return std::max<std::int64_t>(m_open.track->nEndMs - FilePositionMs(), 0);
}

void CPlayEngine::MoveToTrack(const CueTrack& track)
{
    SORVANE_EXPECT(OnMainThread());
    m_open.track = track;
    m_strTitle = CueTrackName(track);
}

int CPlayEngine::Play(int nTrack)
{
    SORVANE_EXPECT(OnMainThread());
    return PlayFrom(nTrack, -1);
}

int CPlayEngine::PlayFrom(int nTrack, std::int64_t nStartMs)
{
    if (IsOpen() == 0)
        return 0;
    const int nError =
        nStartMs < 0 ? m_open.pMedium->Play(nTrack) : m_open.pMedium->PlayFrom(nStartMs);
    return nError == 0 ? 1 : Tell(nError);
}

void CPlayEngine::SetGain(float fGain)
{
    SORVANE_EXPECT(OnMainThread());
    if (m_open.ticket != nullptr)
        m_open.ticket->SetGain(fGain);
}

int CPlayEngine::Stop()
{
    SORVANE_EXPECT(OnMainThread());
    if (IsOpen() == 0)
        return 0;
    m_open.pMedium->Stop();
    return 1;
}

int CPlayEngine::SeekPercent(int nPercent)
{
    SORVANE_EXPECT(OnMainThread());
    DropPrepared();
    if (IsOpen() == 0)
        return 0;
    // A share outside 0-100 would aim before the start or past the end.
    const int percent = std::clamp(nPercent, 0, 100);
    if (m_open.track)
        return SeekMilliseconds(TrackLengthMs() * percent / 100);
    m_open.pMedium->SeekPercent(percent);
    return 1;
}

int CPlayEngine::SeekMilliseconds(std::int64_t nMilliseconds)
{
    SORVANE_EXPECT(OnMainThread());
    if (IsOpen() == 0)
        return 0;
    if (m_open.track) {
        const std::int64_t within = std::clamp<std::int64_t>(nMilliseconds, 0, TrackLengthMs());
        m_open.pMedium->SeekMilliseconds(m_open.track->nStartMs + within);
        return 1;
    }
    PlayPosition pos{};
    m_open.pMedium->GetPosition(pos);
    const std::int64_t length = m_open.pMedium->GetLengthMilliseconds(pos.nTrack);
    m_open.pMedium->SeekMilliseconds(std::clamp<std::int64_t>(nMilliseconds, 0, length));
    return 1;
}

int CPlayEngine::GetPosition(PlayPosition* pPos)
{
    SORVANE_EXPECT(OnMainThread());
    if (pPos == nullptr)
        return 0;
    *pPos = PlayPosition{};
    if (IsOpen() == 0)
        return 0;
    m_open.pMedium->GetPosition(*pPos);
    if (m_open.track) {
        // The track's own position: 0 at its start, its length past its end.
        const std::int64_t within = std::clamp<std::int64_t>(
            std::int64_t{pPos->nMilliseconds} - m_open.track->nStartMs, 0, TrackLengthMs());
        pPos->nMilliseconds = static_cast<std::int32_t>(within);
        pPos->nMinutes = static_cast<std::int32_t>(within / 60000);
        pPos->nSeconds = static_cast<std::int32_t>(within / 1000 % 60);
    }
    return 1;
}

int CPlayEngine::GetLengthSeconds(int nTrack)
{
    SORVANE_EXPECT(OnMainThread());
    if (IsOpen() != 0 && m_open.track)
        return static_cast<int>(TrackLengthMs() / 1000);
    return IsOpen() != 0 ? m_open.pMedium->GetLengthSeconds(nTrack) : 0;
}

std::int64_t CPlayEngine::GetLengthMilliseconds(int nTrack)
{
    SORVANE_EXPECT(OnMainThread());
    if (IsOpen() != 0 && m_open.track)
        return TrackLengthMs();
    return IsOpen() != 0 ? m_open.pMedium->GetLengthMilliseconds(nTrack) : 0;
}

int CPlayEngine::GetMode()
{
    SORVANE_EXPECT(OnMainThread());
    return IsOpen() != 0 ? m_open.pMedium->GetMode() : 0;
}

int CPlayEngine::GetTrackCount() const
{
    SORVANE_EXPECT(OnMainThread());
    return IsOpen() != 0 ? m_open.pMedium->GetTrackCount() : 0;
}

int CPlayEngine::Eject()
{
    SORVANE_EXPECT(OnMainThread());
    // Only an open CD, which never has a prepared medium beside it, is closed here.
    if (IsOpen() != 0 && m_open.pMedium->OpenDiscDoor()) {
        CloseMedium();
        return 1;
    }
    return CDeviceMedium::OpenDoorOfDrive() ? 1 : 0;
}

CPlayEngine::Notice CPlayEngine::NoticeTarget(LPARAM lParam)
{
    SORVANE_EXPECT(OnMainThread());
    const auto names = [lParam](const HeldMedium& held) {
        return held.pMedium != nullptr && lParam == static_cast<LPARAM>(held.nSerial) &&
               !held.pMedium->PlaysOn();
    };
    if (names(m_open))
        return Notice::Current;
    return names(m_prepared) ? Notice::Prepared : Notice::Stale;
}

int CPlayEngine::PrepareNext(const std::string& strPath, float fGain,
                             const std::optional<CueTrack>& track)
{
    SORVANE_EXPECT(OnMainThread());
    DropPrepared();
    // A track that starts later in its file would need a seek before it sounds.
    if (track && track->nStartMs > 0)
        return 0;
    const std::string& file = track ? track->strFile : strPath;
    const DeviceKind kind = KindFromExtension(file);
    if (IsOpen() == 0 || m_open.kind == DEVICE_CDAUDIO || kind == DEVICE_NONE)
        return 0;
    const AudioStreamRef leader = m_open.ticket->Stream();
    if (leader.expired())
        return 0;
    int nError = 0;
    HeldMedium next = OpenHeld(file, kind, CAudioStreamTicket::Make(leader, fGain), nError);
    if (next.pMedium == nullptr || next.pMedium->Play(0) != 0)
        return 0;
    next.strEntry = strPath;
    next.track = track;
    m_prepared = std::move(next);
    return 1;
}

void CPlayEngine::DropPrepared()
{
    SORVANE_EXPECT(OnMainThread());
    m_prepared = HeldMedium{};
}

AudioStreamRef CPlayEngine::Stream(bool bPrepared) const
{
    SORVANE_EXPECT(OnMainThread());
    const HeldMedium& held = bPrepared ? m_prepared : m_open;
    return held.ticket != nullptr ? held.ticket->Stream() : AudioStreamRef{};
}

int CPlayEngine::AdoptPrepared()
{
    SORVANE_EXPECT(OnMainThread());
    if (m_prepared.pMedium == nullptr)
        return 0;
    // The medium that played closes here, a MIDI file's decay rendered to its end.
    m_open = std::exchange(m_prepared, HeldMedium{});
    m_nKind.store(m_open.kind);
    // A medium of another kind that followed on lets the SoundFont go as one opened the usual
    // way does.
    if (m_open.kind != DEVICE_MIDI)
        CSequencerDevice::ReleaseSoundFontSoon();
    m_strTitle =
        m_open.track ? CueTrackName(*m_open.track) : std::string(FileNameOf(m_open.strEntry));
    return 1;
}
