#include "engine/PlayEngine.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "engine/MediaFormats.h"
#include "media/Mci.h"
#include "media/SequencerDevice.h"

#include <algorithm>

CPlayEngine::~CPlayEngine()
{
    CloseMedium();
}

DeviceKind CPlayEngine::KindFromExtension(std::string_view strPath)
{
    const MediaFormat* format = FindMediaFormat(strPath);
    return format != nullptr ? format->kind : DEVICE_NONE;
}

IPlaybackBackend* CPlayEngine::BackendFor(DeviceKind kind)
{
    switch (kind) {
    case DEVICE_NONE:
        return nullptr;
    case DEVICE_PLUGIN:
        return m_pPlugins;
    default:
        return &m_devices;
    }
}

void CPlayEngine::SetNotifyWindow(HWND hWnd)
{
    m_devices.SetNotifyWindow(hWnd);
    m_plugins.SetNotifyWindow(hWnd);
    m_peerPlugins.SetNotifyWindow(hWnd);
}

int CPlayEngine::OpenMedium(const std::string& strPath, MediumSource source, float fGain)
{
    // Callers close first; a medium still open here would leave its device and monitor
    // behind for good.
    CloseMedium();
    m_fGain = fGain;
    const DeviceKind kind = source != MEDIUM_CD ? KindFromExtension(strPath) : DEVICE_CDAUDIO;
    m_nKind.store(kind);
    m_track.reset();
    m_strTitle = kind == DEVICE_CDAUDIO ? std::string(kCdTitle) : std::string(FileNameOf(strPath));
    // The SoundFont (often well over 100 MB) is kept while MIDI follows MIDI, and for a
    // MIDI file that follows soon after this one.
    if (kind != DEVICE_MIDI && kind != DEVICE_NONE) {
        CSequencerDevice::ReleaseSoundFontSoon();
    }
    m_pBackend = BackendFor(kind);
    if (m_pBackend == nullptr) {
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    }
    return m_pBackend->Open(strPath, kind);
}

void CPlayEngine::CloseMedium()
{
    DropPrepared();
    if (IsOpen() != 0) {
        m_pBackend->Close();
    }
    m_leader.reset();
}

int CPlayEngine::OpenAndPlay(const std::string& strPath, float fGain)
{
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
    if (OpenMedium(track.strFile, MEDIUM_FILE, fGain) == 0) {
        Prompts().ShowMessage(kTextOpenFailed);
        return 0;
    }
    const std::int64_t fileLength = m_pBackend->GetLengthMilliseconds(0);
    if (fileLength > 0 && track.nStartMs >= fileLength) {
        CloseMedium();
        Prompts().ShowMessage(kTextInvalidFile);
        return 0;
    }
    m_track = track;
    m_strTitle = CueTrackName(track);
    if (PlayFrom(0, track.nStartMs) == 0) {
        Prompts().ShowMessage(kTextPlayFailed);
        return 0;
    }
    return 1;
}

std::int64_t CPlayEngine::FilePositionMs()
{
    PlayPosition pos{};
    m_pBackend->GetPosition(pos);
    return pos.nMilliseconds;
}

std::int64_t CPlayEngine::TrackLengthMs()
{
    const std::int64_t fileLength = m_pBackend->GetLengthMilliseconds(0);
    std::int64_t end = m_track->nEndMs < 0 ? fileLength : m_track->nEndMs;
    if (fileLength > 0) {
        end = std::min(end, fileLength);
    }
    return std::max<std::int64_t>(end - m_track->nStartMs, 0);
}

std::optional<std::int64_t> CPlayEngine::TrackRemainingMs()
{
    if (IsOpen() == 0 || !m_track || m_track->nEndMs < 0) {
        return std::nullopt;
    }
    return std::max<std::int64_t>(m_track->nEndMs - FilePositionMs(), 0);
}

void CPlayEngine::MoveToTrack(const CueTrack& track)
{
    m_track = track;
    m_strTitle = CueTrackName(track);
}

int CPlayEngine::Play(int nTrack)
{
    return PlayFrom(nTrack, -1);
}

int CPlayEngine::PlayFrom(int nTrack, std::int64_t nStartMs)
{
    if (IsOpen() == 0) {
        return 0;
    }
    // A medium's stream comes with its first play: the one a prepared medium will follow.
    const AudioStreamRef before = LastAudioStreamOpenedHere();
    int result = 0;
    // The stream opens on this thread, in the back end's play, already at its gain.
    const CAudioStreamGain gain(m_fGain);
    if (nStartMs < 0) {
        result = m_pBackend->Play(nTrack);
    } else if (m_pBackend == m_pPlugins) {
        result = m_pPlugins->PlayFrom(nStartMs);
    } else {
        // A device seeks while it stands and plays from there.
        m_pBackend->SeekMilliseconds(nStartMs);
        result = m_pBackend->Play(nTrack);
    }
    const AudioStreamRef after = LastAudioStreamOpenedHere();
    if (before.owner_before(after) || after.owner_before(before)) {
        m_leader = after;
    }
    return result;
}

void CPlayEngine::SetGain(float fGain)
{
    m_fGain = fGain;
    SetAudioStreamGain(m_leader, fGain);
}

int CPlayEngine::Stop()
{
    return IsOpen() != 0 ? m_pBackend->Stop() : 0;
}

int CPlayEngine::SeekPercent(int nPercent)
{
    // A share outside 0-100 would aim before the start or past the end.
    DropPrepared();
    if (IsOpen() != 0 && m_track) {
        return SeekMilliseconds(TrackLengthMs() * std::clamp(nPercent, 0, 100) / 100);
    }
    return IsOpen() != 0 ? m_pBackend->SeekPercent(std::clamp(nPercent, 0, 100)) : 0;
}

int CPlayEngine::SeekMilliseconds(std::int64_t nMilliseconds)
{
    if (IsOpen() == 0) {
        return 0;
    }
    if (m_track) {
        const std::int64_t within = std::clamp<std::int64_t>(nMilliseconds, 0, TrackLengthMs());
        return m_pBackend->SeekMilliseconds(m_track->nStartMs + within);
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
    if (m_track) {
        // The track's own position: 0 at its start, its length past its end.
        const std::int64_t within = std::clamp<std::int64_t>(
            std::int64_t{pPos->nMilliseconds} - m_track->nStartMs, 0, TrackLengthMs());
        pPos->nMilliseconds = static_cast<std::int32_t>(within);
        pPos->nMinutes = static_cast<std::int32_t>(within / 60000);
        pPos->nSeconds = static_cast<std::int32_t>(within / 1000 % 60);
    }
    return 1;
}

int CPlayEngine::GetLengthSeconds(int nTrack)
{
    if (IsOpen() != 0 && m_track) {
        return static_cast<int>(TrackLengthMs() / 1000);
    }
    return IsOpen() != 0 ? m_pBackend->GetLengthSeconds(nTrack) : 0;
}

std::int64_t CPlayEngine::GetLengthMilliseconds(int nTrack)
{
    if (IsOpen() != 0 && m_track) {
        return TrackLengthMs();
    }
    return IsOpen() != 0 ? m_pBackend->GetLengthMilliseconds(nTrack) : 0;
}

int CPlayEngine::GetMode()
{
    return IsOpen() != 0 ? m_pBackend->GetMode() : 0;
}

int CPlayEngine::Eject()
{
    // Only an open CD, which never has a prepared file beside it, is closed here.
    if (IsOpen() != 0 && m_pBackend->OpenDiscDoor() != 0) {
        CloseMedium();
        return 1;
    }
    return CDeviceBackend::OpenDoorOfDrive();
}

CPlayEngine::Notice CPlayEngine::NoticeTarget(LPARAM lParam)
{
    if (lParam == kPluginNextNotice) {
        // The chained file began where the open one ended.
        return m_bPreparedChained && m_pPlugins->ChainedHeard() ? Notice::Current : Notice::Stale;
    }
    if (lParam == m_plugins.EndNotice() || lParam == m_peerPlugins.EndNotice()) {
        // A plug-in back end's end names its file only once its decoder no longer plays it.
        CPluginBackend& named = lParam == m_plugins.EndNotice() ? m_plugins : m_peerPlugins;
        const bool bStopped =
            named.DeviceId() != 0 && named.GetMode() != static_cast<int>(MCI_MODE_PLAY);
        if (!bStopped) {
            return Notice::Stale;
        }
        if (&named == m_pPreparedPlugins) {
            return Notice::Prepared;
        }
        return m_pBackend == &named ? Notice::Current : Notice::Stale;
    }
    if (m_nPreparedDevice != 0 && static_cast<LPARAM>(m_nPreparedDevice) == lParam) {
        return Notice::Prepared;
    }
    // The plug-in's medium reports device 1, which a device's late end may carry too.
    const bool bCurrent =
        m_pBackend == &m_devices && IsOpen() != 0 && static_cast<LPARAM>(IsOpen()) == lParam;
    return bCurrent ? Notice::Current : Notice::Stale;
}

int CPlayEngine::PrepareNext(const std::string& strPath, float fGain,
                             const std::optional<CueTrack>& track)
{
    DropPrepared();
    // A track that starts later in its file would need a seek before it sounds.
    if (track && track->nStartMs > 0) {
        return 0;
    }
    const std::string& file = track ? track->strFile : strPath;
    const DeviceKind kind = KindFromExtension(file);
    if (IsOpen() == 0 || m_nKind.load() == DEVICE_CDAUDIO || kind == DEVICE_NONE ||
        m_leader.expired()) {
        return 0;
    }
    // The prepared medium's stream opens on this thread, already at its gain.
    const CAudioStreamGain gain(fGain);
    if (kind == DEVICE_PLUGIN) {
        // After a compressed file its own decoder chains the next one when it can (the same
        // output, the same stream, so only at the same gain); otherwise the plug-in back end
        // that stands closed opens it held behind the open medium.
        const bool bAfterPlugin = m_pBackend == m_pPlugins;
        if (bAfterPlugin && fGain == m_fGain && m_pPlugins->ChainNext(file) != 0) {
            m_bPreparedChained = true;
        } else {
            CPluginBackend* following = bAfterPlugin ? OtherPlugins() : m_pPlugins;
            if (following->OpenFollowing(file, m_leader) == 0) {
                return 0;
            }
            m_pPreparedPlugins = following;
        }
    } else {
        m_nPreparedDevice = m_devices.OpenFollowing(file, kind, m_leader);
        if (m_nPreparedDevice == 0) {
            return 0;
        }
    }
    m_strPreparedPath = strPath;
    m_preparedTrack = track;
    m_nPreparedKind = kind;
    m_fPreparedGain = fGain;
    m_preparedStream = m_bPreparedChained ? m_leader : LastAudioStreamOpenedHere();
    return 1;
}

bool CPlayEngine::PreparedBegan()
{
    return !m_strPreparedPath.empty() && (!m_bPreparedChained || m_pPlugins->ChainedHeard());
}

void CPlayEngine::DropPrepared()
{
    if (m_strPreparedPath.empty()) {
        return;
    }
    if (m_nPreparedDevice != 0) {
        CDeviceBackend::CloseFollowing(m_nPreparedDevice);
    } else if (m_bPreparedChained) {
        m_pPlugins->DropChained();
    } else if (m_pPreparedPlugins != nullptr) {
        m_pPreparedPlugins->Close();
    }
    m_pPreparedPlugins = nullptr;
    m_bPreparedChained = false;
    m_strPreparedPath.clear();
    m_preparedTrack.reset();
    m_nPreparedDevice = 0;
    m_preparedStream.reset();
}

int CPlayEngine::AdoptPrepared()
{
    if (m_strPreparedPath.empty()) {
        return 0;
    }
    if (m_bPreparedChained) {
        m_pPlugins->AdoptChained();
    } else if (m_nPreparedDevice != 0) {
        if (m_pBackend == m_pPlugins) {
            m_pPlugins->Close();
        }
        m_devices.Adopt(m_nPreparedDevice, m_nPreparedKind);
        m_pBackend = &m_devices;
    } else if (m_pPreparedPlugins != nullptr) {
        // The medium before was a device or the other plug-in back end; either closes.
        if (m_pBackend != nullptr) {
            m_pBackend->Close();
        }
        m_pPlugins = m_pPreparedPlugins;
        m_pBackend = m_pPlugins;
    }
    m_pPreparedPlugins = nullptr;
    m_nKind.store(m_nPreparedKind);
    // The sequencer that played is closed now, its decay rendered: a medium of another kind
    // that followed on lets the SoundFont go as one opened the usual way does.
    if (m_nPreparedKind != DEVICE_MIDI) {
        CSequencerDevice::ReleaseSoundFontSoon();
    }
    m_track = m_preparedTrack;
    m_strTitle = m_track ? CueTrackName(*m_track) : std::string(FileNameOf(m_strPreparedPath));
    m_preparedTrack.reset();
    m_leader = m_preparedStream;
    m_fGain = m_fPreparedGain;
    m_bPreparedChained = false;
    m_strPreparedPath.clear();
    m_nPreparedDevice = 0;
    m_preparedStream.reset();
    return 1;
}
