#include "queue/SorvaneDoc.h"

#include "audio/SoundOutput.h"
#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "base/ScanInt.h"
#include "base/StrFormat.h"
#include "engine/MediaFormats.h"
#include "engine/PlayEngine.h"
#include "media/CueSheet.h"
#include "media/Mci.h"
#include "res/Resource.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>

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
    {ID_MENU_STOPAFTER, &CSorvaneDoc::OnCmdStopAfter},
};

bool IsMarker(const std::string& entry)
{
    return !entry.empty() && entry.front() == '\\';
}

// The file an entry stands for on disk: a sheet's track stands for its sheet.
std::string OnDisk(const std::string& entry)
{
    const auto track = SplitCueTrackEntry(entry);
    return track ? track->first : entry;
}

// While it lives, every message box names the entry's file on its first line, or, held
// back, is kept unshown (the first text only) for the caller to tell once.
class CEntryPrompts : public IPrompts
{
public:
    CEntryPrompts(std::string strEntry, bool bHoldBack)
        : m_strEntry(std::move(strEntry))
        , m_bHoldBack(bHoldBack)
        , m_pOuter(SetPrompts(this))
    {}
    ~CEntryPrompts() override { SetPrompts(m_pOuter); }
    CEntryPrompts(const CEntryPrompts&) = delete;
    CEntryPrompts& operator=(const CEntryPrompts&) = delete;

    void ShowMessage(const std::string& text) override
    {
        if (!m_bHoldBack)
            Outer().ShowMessage(m_strEntry + "\n" + text);
        else if (strFirst.empty())
            strFirst = text;
    }
    bool AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths) override
    {
        return Outer().AskFiles(request, paths);
    }
    bool AskColor(COLORREF initial, COLORREF& chosen) override
    {
        return Outer().AskColor(initial, chosen);
    }
    void EndPrompts() override { Outer().EndPrompts(); }

    std::string strFirst; // the first text held back

private:
    std::string m_strEntry;
    bool m_bHoldBack;
    IPrompts* m_pOuter;

    // The prompts this one stands in front of (the default ones when none was installed).
    IPrompts& Outer()
    {
        if (m_pOuter != nullptr)
            return *m_pOuter;
        SetPrompts(nullptr);
        IPrompts& outer = Prompts();
        SetPrompts(this);
        return outer;
    }
};

bool HoldsCdTracks(const CPlayQueue& queue)
{
    for (int i = 0; i < queue.GetCount(); ++i)
        if (queue.GetAt(i).starts_with('\\'))
            return true;
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
    , m_pTrackEnd(std::make_unique<QTimer>())
{
    m_pTrackEnd->setSingleShot(true);
    m_pTrackEnd->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_pTrackEnd.get(), &QTimer::timeout, [this] { OnTrackEnd(); });
}

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
    while (first.ends_with('|'))
        first.remove_suffix(1);
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
    request.nFilterIndex = kPlayableFilterIndex;
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths))
        return;
    OpenFiles(paths);
}

void CSorvaneDoc::StopAndClose()
{
    m_bPaused = false;
    m_resume = {};
    m_pEngine->Stop();
    m_pEngine->CloseMedium();
}

void CSorvaneDoc::ReplaceEntries(const std::vector<std::string>& paths)
{
    m_queue.Clear();
    for (const std::string& path : paths)
        m_queue.Add(path);
    m_order.Reset(m_queue.GetCount());
}

void CSorvaneDoc::OpenFiles(const std::vector<std::string>& paths)
{
    UserChosePlay();
    StopAndClose();
    ReplaceEntries(paths);

    const std::string entry = m_queue.GetAt(0);
    if (!entry.empty()) {
        m_order.Started(0);
        m_strPlaying = entry;
        const CEntryPrompts named(entry, false);
        if (!OpenAndPlayEntry(entry, EntryGain(0)))
            Prompts().ShowMessage(kPlayFailedText);
    }
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::DropFiles(const std::vector<std::string>& paths)
{
    UserChosePlay();
    ReplaceEntries(paths);
    StopAndClose();
    // Empty playlists leave no entry: there is nothing to open, and nothing to complain of.
    if (m_queue.GetCount() > 0) {
        m_order.Started(0);
        m_strPlaying = m_queue.GetAt(0);
        const CEntryPrompts named(m_strPlaying, false);
        OpenAndPlayEntry(m_strPlaying, EntryGain(0));
    }
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::EnqueueFiles(const std::vector<std::string>& paths)
{
    const int from = m_queue.GetCount();
    for (const std::string& path : paths)
        m_queue.Add(path);
    m_order.Appended(from, m_queue.GetCount());
    // With nothing open Play would have nothing to start: the first new entry stands open.
    const std::string first = m_queue.GetAt(from);
    if (m_pEngine->IsOpen() == 0 && !m_resume.bActive && !first.empty()) {
        m_queue.SetCurrent(from);
        m_order.Started(from);
        m_strPlaying = first;
        m_bPaused = false;
        // A sheet's track opens with its play, at its place in the file.
        if (!IsMarker(first) && !SplitCueTrackEntry(first)) {
            const CEntryPrompts named(first, false);
            m_pEngine->CloseMedium();
            m_pEngine->OpenMedium(first, MEDIUM_FILE, EntryGain(from));
        }
    }
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
        m_order.Reset(0);
    }
    const int from = m_queue.GetCount();
    for (const std::string& path : paths)
        m_queue.Add(path);
    m_order.Appended(from, m_queue.GetCount());
    // A playlist file without entries leaves nothing to start.
    if (bPlayFirst && m_queue.GetCount() > 0) {
        UserChosePlay();
        m_resume = {};
        m_queue.SetCurrent(0);
        m_order.Started(0);
        PlayEntry(m_queue.GetAt(0));
    }
    PrepareFollowing();
}

int CSorvaneDoc::DeleteEntry(int nIndex)
{
    const int removed = m_queue.RemoveAt(nIndex);
    if (removed != 0)
        m_order.Removed(nIndex, m_queue.GetCount());
    // A kept place waits for its entry only.
    if (m_resume.bActive && m_order.PlayingRemoved())
        m_resume = {};
    const int current = m_queue.GetCurrent();
    if (current > nIndex)
        m_queue.SetCurrent(current - 1);
    // The current index stays on a real entry, so that Next steps from where play is.
    if (m_queue.GetCurrent() >= m_queue.GetCount())
        m_queue.SetCurrent(m_queue.GetCount() - 1);
    if (m_queue.GetCount() == 0) {
        m_queue.Clear();
        m_order.Reset(0);
        StopAndClose();
    }
    PrepareFollowing();
    return removed;
}

int CSorvaneDoc::SwapEntries(int nA, int nB)
{
    const int swapped = m_queue.Swap(nA, nB);
    if (swapped != 0)
        m_order.Swapped(nA, nB);
    PrepareFollowing();
    return swapped;
}

void CSorvaneDoc::ClearQueue()
{
    m_queue.Clear();
    m_order.Reset(0);
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
    WatchTrackEnd();
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
    if (!m_pEngine->PreparedPath().empty()) {
        FollowOn();
        return;
    }
    m_pEngine->DropPrepared();
    PlayNextAfterEnd();
}

void CSorvaneDoc::OnTrackNotice(WPARAM wParam, LPARAM lParam)
{
    // A track change posted before the CD was closed, or before another track was asked
    // for, no longer describes what plays.
    PlayPosition pos{};
    if (m_pEngine->NoticeTarget(lParam) != CPlayEngine::Notice::Current ||
        m_pEngine->GetKind() != DEVICE_CDAUDIO || m_pEngine->GetPosition(&pos) == 0 ||
        static_cast<WPARAM>(pos.nTrack) != wParam)
        return;
    if (m_bStopAfter) {
        m_bStopAfter = false;
        m_pEngine->Stop();
        UpdateAllViews(nullptr, HINT_STATE_CHANGED);
        return;
    }
    const int next = NextIndex(true);
    m_queue.SetCurrent(next);
    m_order.Started(next);
    const std::string entry = m_queue.GetAt(next);
    m_strPlaying = entry;
    if (ParseTrackNumber(entry) != pos.nTrack)
        PlayEntry(entry);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::PlayNextAfterEnd()
{
    // What could not be played on the way, told once each after the next entry has started,
    // so that the queue plays on while a box waits for the user.
    std::vector<std::string> told;
    if (m_bStopAfter) {
        m_bStopAfter = false;
    } else {
        for (int next = NextIndex(Repeats()); next >= 0; next = NextIndex(Repeats())) {
            m_queue.SetCurrent(next);
            m_order.Started(next);
            std::string failure;
            if (PlayEntryQuietly(m_queue.GetAt(next), failure))
                break;
            if (!failure.empty())
                told.push_back(m_queue.GetAt(next) + "\n" + failure);
            if (++m_nFailureStreak >= kFailureStreakLimit) {
                m_nFailureStreak = 0;
                told.emplace_back(kFailureStreakText);
                break;
            }
        }
    }
    // The buttons follow, and when the play ended every other view (the bus service) learns
    // that nothing plays.
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
    for (const std::string& text : told)
        Prompts().ShowMessage(text);
}

bool CSorvaneDoc::PlayEntryQuietly(const std::string& entry, std::string& strFailure)
{
    m_bPaused = false;
    m_strPlaying = entry;
    if (IsMarker(entry)) {
        PlayEntryMedium(entry, PlayingIndex());
        return true;
    }
    m_pEngine->CloseMedium();
    std::error_code ec;
    if (!std::filesystem::exists(OnDisk(entry), ec))
        return false;
    CEntryPrompts held(entry, true);
    if (OpenAndPlayEntry(entry, EntryGain(PlayingIndex())) != 0)
        return true;
    strFailure = held.strFirst.empty() ? std::string(kPlayFailedText) : held.strFirst;
    return false;
}

void CSorvaneDoc::FollowOn()
{
    const std::string path = m_pEngine->PreparedPath();
    const int next = m_nPreparedIndex >= 0 ? m_nPreparedIndex : NextIndex(true);
    m_pEngine->AdoptPrepared();
    m_bPaused = false;
    m_strPlaying = path;
    m_queue.SetCurrent(next);
    m_order.Started(next);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

void CSorvaneDoc::WatchTrackEnd()
{
    const std::optional<std::int64_t> remaining = m_pEngine->TrackRemainingMs();
    if (!remaining || m_pEngine->GetMode() != static_cast<int>(MCI_MODE_PLAY)) {
        m_pTrackEnd->stop();
        return;
    }
    m_pTrackEnd->start(static_cast<int>(std::min<std::int64_t>(*remaining, INT32_MAX)));
}

void CSorvaneDoc::OnTrackEnd()
{
    const CueTrack* track = m_pEngine->GetTrack();
    const std::optional<std::int64_t> remaining = m_pEngine->TrackRemainingMs();
    if (track == nullptr || !remaining || m_pEngine->GetMode() != static_cast<int>(MCI_MODE_PLAY))
        return;
    if (*remaining > 0) {
        WatchTrackEnd();
        return;
    }
    const int nextIndex = m_bStopAfter ? -1 : NextIndex(Repeats());
    const std::string next = m_queue.GetAt(nextIndex);
    const std::optional<CueTrack> following = ReadCueTrackEntry(next);
    if (following && following->strFile == track->strFile && following->nStartMs == track->nEndMs) {
        // The file goes on sounding: only the queue and the track's figures move.
        m_pEngine->MoveToTrack(*following);
        m_nFailureStreak = 0;
        m_bPaused = false;
        m_strPlaying = next;
        m_queue.SetCurrent(nextIndex);
        m_order.Started(nextIndex);
        UpdateAllViews(nullptr, HINT_STATE_CHANGED);
        PrepareFollowing();
        return;
    }
    // The track ends here, ready to play again from its start.
    m_pEngine->Stop();
    m_pEngine->SeekMilliseconds(0);
    PlayNextAfterEnd();
}

int CSorvaneDoc::OpenAndPlayEntry(const std::string& entry, float fGain)
{
    if (SplitCueTrackEntry(entry)) {
        if (const std::optional<CueTrack> track = ReadCueTrackEntry(entry))
            return m_pEngine->OpenAndPlayTrack(*track, fGain);
    }
    return m_pEngine->OpenAndPlay(entry, fGain);
}

const CueTrack* CSorvaneDoc::GetCueTrack() const
{
    return m_pEngine->IsOpen() != 0 ? m_pEngine->GetTrack() : nullptr;
}

int CSorvaneDoc::NextIndex(bool bWrap)
{
    m_order.SetShuffle(Shuffles(), m_queue.GetCount());
    return m_order.Following(m_queue.GetCurrent(), m_queue.GetCount(), bWrap);
}

int CSorvaneDoc::PlayingIndex() const
{
    return m_order.Playing() >= 0 ? m_order.Playing() : m_queue.GetCurrent();
}

void CSorvaneDoc::PlayIndex(int nIndex)
{
    m_resume = {};
    m_queue.SetCurrent(nIndex);
    m_order.Started(m_queue.GetCurrent());
    PlayEntry(m_queue.GetAt(m_queue.GetCurrent()));
}

void CSorvaneDoc::SetShuffleQuery(std::function<bool()> query)
{
    m_shuffleQuery = std::move(query);
    m_order.SetShuffle(Shuffles(), m_queue.GetCount());
}

void CSorvaneDoc::ShuffleSettingChanged()
{
    m_order.SetShuffle(Shuffles(), m_queue.GetCount());
    PrepareFollowing();
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdStopAfter()
{
    m_bStopAfter = !m_bStopAfter;
    // A prepared entry would start by itself at the end: it goes, or comes back.
    PrepareFollowing();
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

KeptQueue CSorvaneDoc::KeepQueue() const
{
    KeptQueue kept;
    kept.entries.reserve(static_cast<std::size_t>(m_queue.GetCount()));
    for (int i = 0; i < m_queue.GetCount(); ++i)
        kept.entries.push_back(m_queue.GetAt(i));
    kept.nCurrent = std::clamp(m_queue.GetCurrent(), 0, std::max(m_queue.GetCount() - 1, 0));
    if (m_resume.bActive) {
        kept.nPositionMs = m_resume.nPositionMs;
        kept.nLengthMs = m_resume.nLengthMs;
        return kept;
    }
    const PlaybackSnapshot snap = GetPlayback();
    if (snap.bOpen && snap.nState != PlaybackState::Stopped && !m_order.PlayingRemoved() &&
        m_order.Playing() == kept.nCurrent) {
        kept.nPositionMs = snap.nPositionMs;
        kept.nLengthMs = snap.nLengthMs;
    }
    return kept;
}

void CSorvaneDoc::RestoreQueue(KeptQueue kept)
{
    StopAndClose();
    m_queue.Clear();
    m_queue.AppendEntries(std::move(kept.entries));
    m_order.Reset(m_queue.GetCount());
    if (m_queue.GetCount() > 0) {
        m_queue.SetCurrent(kept.nCurrent);
        m_order.Started(m_queue.GetCurrent());
        m_resume = {true, kept.nPositionMs, kept.nLengthMs};
    }
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::ResumeKept()
{
    const PendingResume resume = m_resume;
    m_resume = {};
    const int index = PlayingIndex();
    const std::string entry = m_queue.GetAt(index);
    m_strPlaying = entry;
    m_bPaused = false;
    std::error_code ec;
    if (!IsMarker(entry) && !std::filesystem::exists(OnDisk(entry), ec)) {
        // A kept file that has gone is passed over as at an entry's end.
        PlayNextAfterEnd();
        return;
    }
    {
        const CEntryPrompts named(entry, false);
        m_pEngine->CloseMedium();
        if (IsMarker(entry)) {
            const int track = ParseTrackNumber(entry);
            if (track > 0 && m_pEngine->OpenMedium(kCdPath, MEDIUM_CD, EntryGain(index)) != 0 &&
                m_pEngine->Play(track) != 0)
                m_pEngine->SeekMilliseconds(resume.nPositionMs);
        } else if (const std::optional<CueTrack> track = ReadCueTrackEntry(entry)) {
            if (m_pEngine->OpenAndPlayTrack(*track, EntryGain(index)) != 0 &&
                resume.nPositionMs > 0)
                m_pEngine->SeekMilliseconds(resume.nPositionMs);
        } else if (m_pEngine->OpenMedium(entry, MEDIUM_FILE, EntryGain(index)) != 0) {
            if (resume.nPositionMs > 0)
                m_pEngine->SeekMilliseconds(resume.nPositionMs);
            m_pEngine->Play(0);
        }
    }
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    PrepareFollowing();
}

std::string CSorvaneDoc::GetPlayingEntry() const
{
    if (m_resume.bActive)
        return m_queue.GetAt(PlayingIndex());
    return m_pEngine->IsOpen() != 0 ? m_strPlaying : std::string();
}

void CSorvaneDoc::PrepareFollowing()
{
    WatchTrackEnd();
    // After a failed entry the next one starts the usual way, so that a run of failures
    // stops with nothing left sounding.
    const bool bFilePlays = m_nFailureStreak == 0 && !m_bStopAfter && m_pEngine->IsOpen() != 0 &&
                            m_pEngine->GetKind() != DEVICE_CDAUDIO &&
                            m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    m_nPreparedIndex = bFilePlays ? NextIndex(Repeats()) : -1;
    const std::string entry = m_queue.GetAt(m_nPreparedIndex);
    // A track that ends before its file does is followed at that end, not the file's.
    if (entry.empty() || IsMarker(entry) || m_pEngine->TrackRemainingMs()) {
        m_nPreparedIndex = -1;
        m_pEngine->DropPrepared();
        return;
    }
    const float gain = EntryGain(m_nPreparedIndex);
    if (entry == m_pEngine->PreparedPath() && gain == m_pEngine->PreparedGain())
        return;
    if (SplitCueTrackEntry(entry)) {
        if (const std::optional<CueTrack> track = ReadCueTrackEntry(entry))
            m_pEngine->PrepareNext(entry, gain, track);
        else
            m_pEngine->DropPrepared();
        return;
    }
    m_pEngine->PrepareNext(entry, gain);
}

const ReplayGainTags& CSorvaneDoc::GainTagsOf(const std::string& entry)
{
    // A sheet's track has the tags of its file; a CD track marker has no file, hence no tags
    // (and no time: the error is ignored).
    std::string path = entry;
    if (SplitCueTrackEntry(entry)) {
        if (const std::optional<CueTrack> track = ReadCueTrackEntry(entry))
            path = track->strFile;
    }
    std::error_code error;
    const auto modified = std::filesystem::last_write_time(path, error);
    const auto known = std::find_if(m_gainTags.begin(), m_gainTags.end(),
                                    [&](const GainTagsEntry& e) { return e.strPath == path; });
    if (known != m_gainTags.end()) {
        if (known->modified == modified)
            return known->tags;
        m_gainTags.erase(known);
    } else if (m_gainTags.size() >= kGainTagsKept) {
        m_gainTags.erase(m_gainTags.begin());
    }
    ReplayGainTags tags = IsMarker(path) ? ReplayGainTags{} : ReadReplayGainTags(path);
    return m_gainTags.emplace_back(GainTagsEntry{path, modified, std::move(tags)}).tags;
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
        for (const int neighbour : {nIndex - 1, nIndex + 1})
            if (neighbour >= 0 && neighbour < m_queue.GetCount() &&
                GainTagsOf(m_queue.GetAt(neighbour)).strAlbum == tags.strAlbum)
                bAlbum = true;
    }
    return static_cast<float>(ReplayGainFactor(tags, bAlbum, settings));
}

void CSorvaneDoc::ReplayGainSettingChanged()
{
    // A CD track has no tags: the disc plays at the untagged gain.
    if (m_pEngine->IsOpen() != 0)
        m_pEngine->SetGain(EntryGain(PlayingIndex()));
    PrepareFollowing();
}

void CSorvaneDoc::SetNotifyWindow(HWND hWnd)
{
    m_pEngine->SetNotifyWindow(hWnd);
}

void CSorvaneDoc::OnCmdPlay()
{
    UserChosePlay();
    if (m_resume.bActive) {
        ResumeKept();
        return;
    }
    // A queue with nothing open starts its current entry.
    if (m_pEngine->IsOpen() == 0 && m_queue.GetCount() > 0) {
        PlayIndex(std::clamp(m_queue.GetCurrent(), 0, m_queue.GetCount() - 1));
        UpdateAllViews(nullptr, HINT_STATE_CHANGED);
        return;
    }
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
    PlayIndex(NextIndex(true));
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPrevious()
{
    if (m_queue.GetCount() == 0)
        return;
    UserChosePlay();
    m_order.SetShuffle(Shuffles(), m_queue.GetCount());
    // With shuffle, back along what played; without (or before the first that played), the
    // queue's own step back.
    int previous = m_order.StepBack();
    if (previous < 0 && m_order.Shuffles())
        previous = PlayingIndex();
    if (previous < 0) {
        m_queue.Previous();
        previous = m_queue.GetCurrent();
    }
    PlayIndex(previous);
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
    m_order.Reset(m_queue.GetCount());
    m_order.Started(0);
    m_strPlaying = m_queue.GetAt(0);
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
    m_strPlaying = entry;
    if (IsMarker(entry)) {
        const int track = ParseTrackNumber(entry);
        if (track > 0)
            m_pEngine->Play(track);
        return;
    }
    m_pEngine->CloseMedium();
    const CEntryPrompts named(entry, false);
    OpenAndPlayEntry(entry, EntryGain(nIndex));
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
    m_resume = {};
    m_order.Started(nIndex);
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
    if (m_resume.bActive) {
        const std::string entry = m_queue.GetAt(PlayingIndex());
        return IsMarker(entry) ? std::string(CPlayEngine::kCdTitle)
                               : std::string(FileNameOf(entry));
    }
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
    if (m_resume.bActive) {
        const PlaybackSnapshot snap = GetPlayback();
        const std::string title = GetTitle();
        if (snap.nKind == DEVICE_CDAUDIO)
            return StrFormat("%s <%2d> %2d:%2d", title.c_str(), snap.nTrack,
                             snap.nLengthSeconds / 60, snap.nLengthSeconds % 60);
        return StrFormat("%s %2d:%2d", title.c_str(), snap.nLengthSeconds / 60,
                         snap.nLengthSeconds % 60);
    }
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

const char* CSorvaneDoc::TakeDeviceNews(const PlaybackSnapshot& snap)
{
    if (snap.bHeldBySystem && !m_bToldHeld) {
        m_bToldHeld = true;
        return kDeviceLostText;
    }
    if (m_bToldHeld && !AudioOutputHeld()) {
        m_bToldHeld = false;
        return snap.bOpen ? kDeviceBackText : nullptr;
    }
    return nullptr;
}

PlaybackSnapshot CSorvaneDoc::GetPlayback() const
{
    PlaybackSnapshot snap;
    snap.nKind = m_pEngine->GetKind();
    snap.nQueueIndex = m_queue.GetCurrent();
    if (m_resume.bActive) {
        // A kept place stands paused without anything open.
        const std::string entry = m_queue.GetAt(PlayingIndex());
        snap.bOpen = true;
        snap.nState = PlaybackState::Paused;
        snap.nKind = IsMarker(entry) ? DEVICE_CDAUDIO : CPlayEngine::KindFromExtension(entry);
        snap.nTrack = IsMarker(entry) ? std::max(ParseTrackNumber(entry), 0) : 0;
        snap.nPositionMs = m_resume.nPositionMs;
        snap.nLengthMs = m_resume.nLengthMs;
        snap.nMinutes = static_cast<int>(m_resume.nPositionMs / 60000);
        snap.nSeconds = static_cast<int>(m_resume.nPositionMs / 1000 % 60);
        snap.nLengthSeconds = static_cast<int>(m_resume.nLengthMs / 1000);
        snap.bCanPlay = true;
        snap.bCanGoNext = m_queue.GetCount() > 0;
        snap.bCanGoPrevious = snap.bCanGoNext;
        return snap;
    }
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
    // Without a sound device the medium's position holds: it stands as if paused by the
    // system until the device is back.
    if (snap.nState == PlaybackState::Playing && AudioOutputHeld()) {
        snap.nState = PlaybackState::Paused;
        snap.bHeldBySystem = true;
    }
    // Play is offered whenever the medium stands still, at its end too (where a play ends at
    // once and its end notice moves the queue on), and never while it sounds.
    snap.bCanPlay = snap.bStandsStill;
    snap.bCanPause = snap.nState == PlaybackState::Playing || snap.bHeldBySystem;
    snap.bCanGoNext = m_queue.GetCount() > 0;
    snap.bCanGoPrevious = snap.bCanGoNext;
    snap.bCanSeek = snap.nLengthMs > 0;
    return snap;
}
