#include "queue/SorvaneDoc.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "base/ScanInt.h"
#include "base/StrFormat.h"
#include "engine/MediaFormats.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "res/Resource.h"

#include <algorithm>
#include <cstdio>

namespace {

const CommandEntry<CSorvaneDoc> kCommandTable[] = {
    {IDC_BTN_OPEN, &CSorvaneDoc::OnCmdOpen},
    {ID_MENU_OPEN, &CSorvaneDoc::OnCmdOpen},
    {IDC_BTN_PLAY, &CSorvaneDoc::OnCmdPlay},
    {ID_MENU_PLAY, &CSorvaneDoc::OnCmdPlay},
    {IDC_BTN_STOP, &CSorvaneDoc::OnCmdStop},
    {ID_MENU_STOP, &CSorvaneDoc::OnCmdStop},
    {IDC_BTN_PREV, &CSorvaneDoc::OnCmdPrevious},
    {ID_MENU_PREV, &CSorvaneDoc::OnCmdPrevious},
    {IDC_BTN_PAUSE, &CSorvaneDoc::OnCmdPause},
    {ID_MENU_PAUSE, &CSorvaneDoc::OnCmdPause},
    {IDC_BTN_NEXT, &CSorvaneDoc::OnCmdNext},
    {ID_MENU_NEXT, &CSorvaneDoc::OnCmdNext},
    {IDC_BTN_PLAYLIST, &CSorvaneDoc::OnCmdPlaylist},
    {ID_MENU_PLAYLIST, &CSorvaneDoc::OnCmdPlaylist},
    {IDC_BTN_CDPLAY, &CSorvaneDoc::OnCmdCdPlay},
    {ID_MENU_CDPLAY, &CSorvaneDoc::OnCmdCdPlay},
    {IDC_BTN_EJECT, &CSorvaneDoc::OnCmdEject},
    {ID_MENU_EJECT, &CSorvaneDoc::OnCmdEject},
    {ID_FILE_SAVE, &CSorvaneDoc::OnCmdSave},
};

bool HoldsCdTracks(const CPlayQueue& queue)
{
    for (int i = 0; i < queue.GetCount(); ++i) {
        if (queue.GetAt(i).starts_with('\\'))
            return true;
    }
    return false;
}

} // namespace

CPoint PlaylistPlacement(int nPlayerLeft, int nPlayerTop, int nPlayerRight)
{
    int x = nPlayerLeft;
    if (x < CSorvaneDoc::kPlaylistLeftThreshold)
        x = nPlayerRight + CSorvaneDoc::kPlaylistRightOffset;
    return {x - CSorvaneDoc::kPlaylistLeftOffset, nPlayerTop};
}

int ParseTrackNumber(std::string entry)
{
    const std::size_t open = MbsChr(entry, '<');
    const std::size_t close = MbsChr(entry, '>');
    if (open == std::string::npos || close == std::string::npos)
        return -1;
    if (close < open)
        return 0;
    std::size_t pos = 0;
    return ScanInt(std::string_view(entry).substr(open + 1, close - open - 1), pos).value_or(0);
}

CSorvaneDoc::CSorvaneDoc()
    : m_pEngine(std::make_unique<CPlayEngine>())
{}

CSorvaneDoc::~CSorvaneDoc()
{
    StopAndClose();
}

bool CSorvaneDoc::OnCmdMsg(int nId)
{
    return DispatchCommand(*this, kCommandTable, nId);
}

std::string CSorvaneDoc::WithPlayableEntry(std::string_view strFilter)
{
    std::string_view first = strFilter;
    while (first.ends_with('|')) {
        first.remove_suffix(1);
    }
    return std::string(first) + "|" + kPlayableFilterName + "|" + MediaFormatPatterns({".m3u"}) +
           "||";
}

void CSorvaneDoc::OnCmdOpen()
{
    FileDialogRequest request;
    request.bOpen = true;
    request.bMultiSelect = true;
    request.strDefExt = kOpenDefExt;
    request.strFilter = WithPlayableEntry(kOpenFilter);
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths))
        return;
    OpenFiles(paths);
}

void CSorvaneDoc::StopAndClose()
{
    m_bPaused = false;
    m_pEngine->Stop();
    m_pEngine->CloseMedium();
}

void CSorvaneDoc::ReplaceEntries(const std::vector<std::string>& paths)
{
    m_queue.Clear();
    for (const std::string& path : paths)
        m_queue.Add(path);
}

void CSorvaneDoc::OpenFiles(const std::vector<std::string>& paths)
{
    UserChosePlay();
    StopAndClose();
    ReplaceEntries(paths);

    const std::string entry = m_queue.GetAt(0);
    if (!entry.empty() && !m_pEngine->OpenAndPlay(entry, EntryGain(0)))
        Prompts().ShowMessage(kPlayFailedText);
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::DropFiles(const std::vector<std::string>& paths)
{
    UserChosePlay();
    ReplaceEntries(paths);
    StopAndClose();
    // Empty playlists leave no entry: there is nothing to open, and nothing to complain of.
    if (m_queue.GetCount() > 0)
        m_pEngine->OpenAndPlay(m_queue.GetAt(0), EntryGain(0));
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::EnqueueFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        m_queue.Add(path);
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::AddFiles(const std::vector<std::string>& paths, bool bPlayFirst)
{
    // The engine keeps reporting the CD kind after the disc was closed, so only the queue
    // tells whether it still holds a disc's tracks.
    if (HoldsCdTracks(m_queue)) {
        if (m_pEngine->GetKind() == DEVICE_CDAUDIO)
            StopAndClose();
        m_queue.Clear();
    }
    for (const std::string& path : paths)
        m_queue.Add(path);
    // A playlist file without entries leaves nothing to start.
    if (bPlayFirst && m_queue.GetCount() > 0) {
        UserChosePlay();
        m_queue.SetCurrent(0);
        PlayEntry(m_queue.GetAt(0));
    }
    PrepareFollowing();
}

int CSorvaneDoc::DeleteEntry(int nIndex)
{
    const int removed = m_queue.RemoveAt(nIndex);
    const int current = m_queue.GetCurrent();
    if (current > nIndex)
        m_queue.SetCurrent(current - 1);
    // The current index stays on a real entry, so that Next steps from where play is.
    if (m_queue.GetCurrent() >= m_queue.GetCount())
        m_queue.SetCurrent(m_queue.GetCount() - 1);
    if (m_queue.GetCount() == 0) {
        m_queue.Clear();
        StopAndClose();
    }
    PrepareFollowing();
    return removed;
}

int CSorvaneDoc::SwapEntries(int nA, int nB)
{
    const int swapped = m_queue.Swap(nA, nB);
    PrepareFollowing();
    return swapped;
}

void CSorvaneDoc::ClearQueue()
{
    m_queue.Clear();
    StopAndClose();
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

int CSorvaneDoc::SavePlaylist(const std::string& strPath)
{
    return m_queue.SaveM3u(strPath);
}

void CSorvaneDoc::SavePlaylistAs()
{
    FileDialogRequest request;
    request.bOpen = false;
    request.strDefExt = kSaveDefExt;
    request.strFileName = kSaveFileName;
    request.strFilter = kSaveFilter;
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths) || paths.empty())
        return;
    if (SavePlaylist(paths.front()) == 0)
        Prompts().ShowMessage(kSaveFailedText);
}

void CSorvaneDoc::OnCmdSave()
{
    SavePlaylistAs();
}

void CSorvaneDoc::SeekTo(int nPercent)
{
    if (m_pEngine->IsOpen() == 0)
        return;
    const bool bPlaying = m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    m_pEngine->SeekPercent(nPercent);
    if (bPlaying && m_pEngine->GetMode() != static_cast<int>(MCI_MODE_PLAY))
        m_pEngine->Play(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::SeekAndPlay(int nPercent)
{
    if (m_pEngine->IsOpen() == 0)
        return;
    UserChosePlay();
    m_pEngine->SeekPercent(nPercent);
    m_bPaused = false;
    m_pEngine->Play(0);
    // The seek may have started play from pause or stop: the views follow.
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::SeekToMilliseconds(std::int64_t nMilliseconds)
{
    if (m_pEngine->IsOpen() == 0)
        return;
    const bool bPlaying = m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    m_pEngine->SeekMilliseconds(nMilliseconds);
    if (bPlaying && m_pEngine->GetMode() != static_cast<int>(MCI_MODE_PLAY))
        m_pEngine->Play(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnEndNotice(WPARAM wParam, LPARAM lParam)
{
    // A play ended early by a read error moves on like a play that reached its end, so that
    // one bad file or scratched disc never stops the queue silently.
    if (wParam != MCI_NOTIFY_SUCCESSFUL && wParam != MCI_NOTIFY_FAILURE)
        return;
    switch (m_pEngine->NoticeTarget(lParam)) {
    case CPlayEngine::Notice::Stale:
        return;
    case CPlayEngine::Notice::Prepared:
        // The prepared medium ended before the end of the one it followed was handled: it
        // has been the one playing since that end, and its own end is handled below.
        FollowOn();
        break;
    case CPlayEngine::Notice::Current:
        break;
    }
    m_nFailureStreak = wParam == MCI_NOTIFY_FAILURE ? m_nFailureStreak + 1 : 0;
    if (m_nFailureStreak >= kFailureStreakLimit) {
        // A queue of broken files, above all with repeat on, would fail on for ever.
        m_nFailureStreak = 0;
        m_pEngine->DropPrepared();
        m_pEngine->Stop();
        UpdateAllViews(nullptr, HINT_STATE_CHANGED);
        Prompts().ShowMessage(kFailureStreakText);
        return;
    }
    if (m_pEngine->PreparedBegan()) {
        FollowOn();
        return;
    }
    m_pEngine->DropPrepared();
    PlayNextAfterEnd();
}

void CSorvaneDoc::OnTrackNotice(WPARAM wParam)
{
    // A track change posted before the CD was closed, or before another track was asked
    // for, no longer describes what plays.
    PlayPosition pos{};
    if (m_pEngine->IsOpen() == 0 || m_pEngine->GetKind() != DEVICE_CDAUDIO ||
        m_pEngine->GetPosition(&pos) == 0 || static_cast<WPARAM>(pos.nTrack) != wParam)
        return;
    const std::string entry = m_queue.Next();
    if (ParseTrackNumber(entry) != pos.nTrack)
        PlayEntry(entry);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::PlayNextAfterEnd()
{
    if (Repeats() || !m_queue.IsLast()) {
        PlayEntry(m_queue.Next());
        return;
    }
    // The play ended by itself: the buttons show the stop, and every other view (the bus
    // service) learns that nothing plays.
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::FollowOn()
{
    m_pEngine->AdoptPrepared();
    m_bPaused = false;
    m_queue.Next();
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::PrepareFollowing()
{
    // After a failed entry the next one starts the usual way, so that a run of failures
    // stops with nothing left sounding.
    const bool bFilePlays = m_nFailureStreak == 0 && m_pEngine->IsOpen() != 0 &&
                            m_pEngine->GetKind() != DEVICE_CDAUDIO &&
                            m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    std::string entry;
    if (bFilePlays && (!m_queue.IsLast() || Repeats()))
        entry = m_queue.GetAt(m_queue.IsLast() ? 0 : m_queue.GetCurrent() + 1);
    if (entry.empty() || entry.front() == '\\') {
        m_pEngine->DropPrepared();
        return;
    }
    const float gain = EntryGain(m_queue.IsLast() ? 0 : m_queue.GetCurrent() + 1);
    if (entry != m_pEngine->PreparedPath() || gain != m_pEngine->PreparedGain())
        m_pEngine->PrepareNext(entry, gain);
}

const ReplayGainTags& CSorvaneDoc::GainTagsOf(const std::string& entry)
{
    // A CD track marker has no file, hence no tags (and no time: the error is ignored).
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(entry, error);
    const auto known = std::find_if(m_gainTags.begin(), m_gainTags.end(),
                                    [&](const GainTagsEntry& e) { return e.strPath == entry; });
    if (known != m_gainTags.end()) {
        if (known->modified == modified)
            return known->tags;
        m_gainTags.erase(known);
    } else if (m_gainTags.size() >= kGainTagsKept) {
        m_gainTags.erase(m_gainTags.begin());
    }
    ReplayGainTags tags = entry.starts_with('\\') ? ReplayGainTags{} : ReadReplayGainTags(entry);
    return m_gainTags.emplace_back(GainTagsEntry{entry, modified, std::move(tags)}).tags;
}

float CSorvaneDoc::EntryGain(int nIndex)
{
    const ReplayGainSettings settings = m_gainQuery ? m_gainQuery() : ReplayGainSettings{};
    if (settings.mode == ReplayGainMode::Off || nIndex < 0 || nIndex >= m_queue.GetCount())
        return 1.0f;
    const ReplayGainTags tags = GainTagsOf(m_queue.GetAt(nIndex));
    bool bAlbum = settings.mode == ReplayGainMode::Album;
    if (settings.mode == ReplayGainMode::Auto && !tags.strAlbum.empty()) {
        // Consecutive entries of one album keep the album's own balance between its tracks.
        for (const int neighbour : {nIndex - 1, nIndex + 1}) {
            if (neighbour >= 0 && neighbour < m_queue.GetCount() &&
                GainTagsOf(m_queue.GetAt(neighbour)).strAlbum == tags.strAlbum)
                bAlbum = true;
        }
    }
    return static_cast<float>(ReplayGainFactor(tags, bAlbum, settings));
}

void CSorvaneDoc::ReplayGainSettingChanged()
{
    // A CD track has no tags: the disc plays at the untagged gain.
    if (m_pEngine->IsOpen() != 0)
        m_pEngine->SetGain(EntryGain(m_queue.GetCurrent()));
    PrepareFollowing();
}

void CSorvaneDoc::SetNotifyWindow(HWND hWnd)
{
    m_pEngine->SetNotifyWindow(hWnd);
}

void CSorvaneDoc::OnCmdPlay()
{
    UserChosePlay();
    m_bPaused = false;
    m_pEngine->Play(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::OnCmdStop()
{
    if (!m_pEngine->Stop())
        return;
    m_bPaused = false;
    m_pEngine->SeekPercent(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPause()
{
    const bool bPlaying = m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    if (!m_pEngine->Stop())
        return;
    m_bPaused = m_bPaused || bPlaying;
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdNext()
{
    if (m_queue.GetCount() == 0)
        return;
    UserChosePlay();
    PlayEntry(m_queue.Next());
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPrevious()
{
    if (m_queue.GetCount() == 0)
        return;
    UserChosePlay();
    PlayEntry(m_queue.Previous());
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPlaylist()
{
    if (m_pPlaylistHost == nullptr)
        return;
    if (m_pPlaylistHost->IsPlaylistVisible()) {
        m_pPlaylistHost->HidePlaylist();
        return;
    }
    int left = 0;
    int top = 0;
    int right = 0;
    m_pPlaylistHost->GetPlayerRect(left, top, right);
    const CPoint at = PlaylistPlacement(left, top, right);
    m_pPlaylistHost->ShowPlaylistAt(at.x, at.y);
}

void CSorvaneDoc::OnCmdCdPlay()
{
    UserChosePlay();
    StopAndClose();
    // A CD has no gain tags: its one stream plays at the untagged gain.
    const ReplayGainSettings settings = m_gainQuery ? m_gainQuery() : ReplayGainSettings{};
    const auto gain = static_cast<float>(ReplayGainFactor({}, false, settings));
    if (!m_pEngine->OpenMedium(kCdPath, MEDIUM_CD, gain)) {
        Prompts().ShowMessage(kMciOpenErrorText);
        return;
    }
    if (!m_pEngine->Play(1)) {
        Prompts().ShowMessage(kMciPlayErrorText);
        return;
    }
    m_queue.Clear();
    for (int n = 1; n <= m_pEngine->GetTrackCount(); ++n)
        m_queue.Add(StrFormat("\\track <%d>", n));
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::OnCmdEject()
{
    if (m_pEngine->Eject() && m_pEngine->GetKind() == DEVICE_CDAUDIO)
        UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::PlayEntryMedium(const std::string& entry, int nIndex)
{
    m_bPaused = false;
    if (!entry.empty() && entry.front() == '\\') {
        const int track = ParseTrackNumber(entry);
        if (track > 0)
            m_pEngine->Play(track);
        return;
    }
    m_pEngine->CloseMedium();
    m_pEngine->OpenAndPlay(entry, EntryGain(nIndex));
}

int CSorvaneDoc::PlayEntry(std::string entry)
{
    PlayEntryMedium(entry, m_queue.GetCurrent());
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
    return m_queue.GetCurrent();
}

void CSorvaneDoc::PlayAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_queue.GetCount())
        return;
    UserChosePlay();
    PlayEntryMedium(m_queue.GetAt(nIndex), nIndex);
    m_queue.SetCurrent(nIndex);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

UINT CSorvaneDoc::IsOpen() const
{
    return m_pEngine->IsOpen();
}

DeviceKind CSorvaneDoc::GetKind() const
{
    return m_pEngine->GetKind();
}

std::string CSorvaneDoc::GetTitle() const
{
    return m_pEngine->GetTitle();
}

int CSorvaneDoc::GetMode() const
{
    return m_pEngine->GetMode();
}

int CSorvaneDoc::GetPosition(PlayPosition* pPos) const
{
    return m_pEngine->GetPosition(pPos);
}

int CSorvaneDoc::GetLengthSeconds(int nTrack) const
{
    return m_pEngine->GetLengthSeconds(nTrack);
}

std::string CSorvaneDoc::GetStatusText() const
{
    if (!m_pEngine->IsOpen())
        return {};
    PlayPosition position{};
    m_pEngine->GetPosition(&position);
    const int length = m_pEngine->GetLengthSeconds(position.nTrack);
    const std::string title = m_pEngine->GetTitle();
    if (m_pEngine->GetKind() != DEVICE_CDAUDIO)
        return StrFormat("%s %2d:%2d", title.c_str(), length / 60, length % 60);
    return StrFormat("%s <%2d> %2d:%2d", title.c_str(), position.nTrack, length / 60, length % 60);
}

PlaybackSnapshot CSorvaneDoc::GetPlayback() const
{
    PlaybackSnapshot snap;
    snap.nKind = m_pEngine->GetKind();
    snap.nQueueIndex = m_queue.GetCurrent();
    PlayPosition pos{};
    if (m_pEngine->GetPosition(&pos) == 0)
        return snap;
    snap.bOpen = true;
    snap.nTrack = pos.nTrack;
    snap.nMinutes = pos.nMinutes;
    snap.nSeconds = pos.nSeconds;
    snap.nLengthSeconds = m_pEngine->GetLengthSeconds(pos.nTrack);
    snap.nLengthMs = m_pEngine->GetLengthMilliseconds(pos.nTrack);
    if (snap.nKind == DEVICE_CDAUDIO) {
        snap.nPositionMs = (std::int64_t{pos.nMinutes} * 60 + pos.nSeconds) * 1000 +
                           std::int64_t{pos.nFrames} * 1000 / kCdFramesPerSecond;
    } else {
        snap.nPositionMs = pos.nMilliseconds;
    }
    const int mode = m_pEngine->GetMode();
    snap.bStandsStill = mode == static_cast<int>(MCI_MODE_STOP);
    if (mode == static_cast<int>(MCI_MODE_PLAY))
        snap.nState = PlaybackState::Playing;
    else if (snap.bStandsStill && m_bPaused)
        snap.nState = PlaybackState::Paused;
    // A device that played to its end and stands there plays nothing more when asked; the
    // decoder starts again from the top.
    const bool bAtEnd = snap.nState == PlaybackState::Stopped && snap.nKind != DEVICE_PLUGIN &&
                        snap.nLengthMs > 0 && snap.nPositionMs >= snap.nLengthMs;
    snap.bCanPlay = !bAtEnd;
    snap.bCanPause = snap.nState == PlaybackState::Playing;
    snap.bCanGoNext = m_queue.GetCount() > 0;
    snap.bCanGoPrevious = snap.bCanGoNext;
    snap.bCanSeek = snap.nLengthMs > 0;
    return snap;
}
