#pragma once

#include "base/WinTypes.h"
#include "engine/PlayEngine.h"
#include "framework/Document.h"
#include "media/ReplayGain.h"
#include "queue/KeptQueue.h"
#include "queue/PlayOrder.h"
#include "queue/PlayQueue.h"
#include "queue/PlaybackSnapshot.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QtGlobal>

class QTimer;

// Update hints the document gives its views.
enum : int {
    HINT_STATE_CHANGED = 0, // what plays, or its state, changed
    HINT_QUEUE_CHANGED = 1, // the queue's contents were replaced too, or the CD went out
};

// What the playlist command needs from the windows; the player view supplies it.
// User-interface thread only.
class IPlaylistWindowHost
{
public:
    virtual ~IPlaylistWindowHost() = default;

    // Whether the playlist window is shown now.
    virtual bool IsPlaylistVisible() const = 0;
    // Hides the playlist window.
    virtual void HidePlaylist() = 0;
    // The player window's outer rectangle in screen pixels: left, top, right (exclusive).
    virtual void GetPlayerRect(int& nLeft, int& nTop, int& nRight) const = 0;
    // Moves the playlist window's top-left corner to (x, y) in screen pixels, keeping its
    // size and stacking place, and shows it.
    virtual void ShowPlaylistAt(int x, int y) = 0;
};

// Where the playlist window opens beside a player window: 225 px left of the player's
// left edge, or 5 px right of its right edge when the player is near the screen's left.
CPoint PlaylistPlacement(int nPlayerLeft, int nPlayerTop, int nPlayerRight);

// The number between an entry's first "<" and first ">", read like atoi; -1 when either is
// missing, 0 or less when ">" comes first. Only values above 0 are track numbers.
int ParseTrackNumber(std::string entry);

// The player's one document: it owns the play queue and the play engine, and it alone
// changes them. It turns the player's commands, and the operations of the windows and the
// bus service, into calls on them, then tells its views what changed; the windows read the
// queue and the medium's state through its const queries.
//
// It also decides what happens when a medium ends by itself: the next entry plays (from the
// last back to the first only with repeat; with shuffle the next of a drawn order, see
// CPlayOrder), having been prepared by the engine to follow on without a gap while the
// current one played; an entry that cannot be played then is told once, its file named, and
// passed over (a missing file quietly); after kFailureStreakLimit failed entries in a row
// the queue stops with kFailureStreakText. "Stop after this one" ends play at the next end,
// once. Every message box of an entry's open names the entry's file on its first line. A
// track of a CUE sheet that ends before its file does is watched with a timer: at its end the
// file plays on when the next entry is the track that follows in that file (the queue only
// steps on), and stops otherwise.
//
// What plays is not taken from the queue's current index: the document remembers which
// entry's medium is open (CPlayOrder follows it through the queue's edits), so that deleting
// or moving the playing entry changes neither what the views and the bus show nor which
// entry follows it.
//
// A queue kept from the last run (RestoreQueue) stands paused at its entry and place without
// opening anything; Play opens the entry there.
//
// Threads: user-interface thread only. The engine's threads reach it only through the
// notices the view hands on (OnEndNotice, OnTrackNotice), each of which may be stale by the
// time it arrives; how a stale notice is recognised is written at the top of
// engine/PlayEngine.h, and a track change must still be the CD's current track.
class CSorvaneDoc : public CDocument
{
public:
    static constexpr const char* kOpenFilter = QT_TRANSLATE_NOOP(
        "Sorvane", "AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||");
    // The open dialogs' second filter entry, after the first: every playable extension and
    // the playlists.
    static constexpr const char* kPlayableFilterName =
        QT_TRANSLATE_NOOP("Sorvane", "PlayableFiles");
    // The open dialogs show that entry first, so that no playable file is hidden at first.
    static constexpr int kPlayableFilterIndex = 2;
    static constexpr const char* kOpenDefExt = ".mid";
    static constexpr const char* kCdPath = "path";
    static constexpr const char* kPlayFailedText =
        QT_TRANSLATE_NOOP("Sorvane", "演奏に失敗しました");
    // Told once when the sound device goes away while a medium plays, and once when it is back.
    static constexpr const char* kDeviceLostText = QT_TRANSLATE_NOOP(
        "Sorvane", "サウンドデバイスが見つかりません。戻るまで演奏を一時停止します。");
    static constexpr const char* kDeviceBackText =
        QT_TRANSLATE_NOOP("Sorvane", "サウンドデバイスが戻りました。演奏を続けます。");
    static constexpr const char* kMciOpenErrorText = QT_TRANSLATE_NOOP("Sorvane", "MCI Open Error");
    static constexpr const char* kMciPlayErrorText = QT_TRANSLATE_NOOP("Sorvane", "MCI Play Error");
    // The save-file dialog of the playlist's Save and of Ctrl+S; an existing file is replaced
    // without a question.
    static constexpr const char* kSaveFilter =
        QT_TRANSLATE_NOOP("Sorvane", "PlayListFiles(.m3u)|*.m3u||");
    static constexpr const char* kSaveDefExt = ".m3u";
    static constexpr const char* kSaveFileName = "MyPlayList";
    // Shown when the playlist file could not be written.
    static constexpr const char* kSaveFailedText =
        QT_TRANSLATE_NOOP("Sorvane", "プレイリストを保存できませんでした。");
    static constexpr int kPlaylistLeftThreshold = 300;
    static constexpr int kPlaylistRightOffset = 230;
    static constexpr int kPlaylistLeftOffset = 225;
    // Failed entries in a row (each ended early by a read error or damage) after which the
    // queue stops, and what the user is told then.
    static constexpr int kFailureStreakLimit = 10;
    static constexpr const char* kFailureStreakText =
        QT_TRANSLATE_NOOP("Sorvane", "演奏に10回続けて失敗したので停止しました");

    CSorvaneDoc();
    ~CSorvaneDoc() override;

    // strFilter ("Name|patterns||") with the entry kPlayableFilterName added after its own.
    static std::string WithPlayableEntry(std::string_view strFilter);

    bool OnCmdMsg(int nId) override;

    // The framework's new-document step: changes neither queue nor engine.
    int OnNewDocument() { return 1; }

    void OnCmdOpen();
    void OnCmdPlay();
    void OnCmdStop();
    void OnCmdPrevious();
    void OnCmdPause();
    void OnCmdNext();
    void OnCmdPlaylist();
    void OnCmdCdPlay();
    void OnCmdEject();
    // Ctrl+S: SavePlaylistAs.
    void OnCmdSave();

    // Replaces the queue by paths (playlists expanded) and plays its first entry, as the open
    // button does with the files chosen in its dialog: what plays stops and closes first, and
    // a first entry that does not start is told with kPlayFailedText after the engine's boxes.
    void OpenFiles(const std::vector<std::string>& paths);
    // Replaces the queue by dropped files (playlists expanded) and plays its first entry. The
    // queue is replaced before what plays stops and closes, and a first entry that does not
    // start is told only by the engine's boxes.
    void DropFiles(const std::vector<std::string>& paths);
    // Appends paths to the queue (playlists expanded); what plays goes on. With nothing open
    // (and no kept place waiting) the first new entry is opened, standing stopped, so that
    // Play starts it.
    void EnqueueFiles(const std::vector<std::string>& paths);
    // Appends paths (playlists expanded) as the playlist window's Add does: a queue holding CD
    // track markers is emptied first (the CD stopped and closed when the engine's kind is the
    // CD). With bPlayFirst the first entry, when there is one, becomes current and plays.
    // The views are not told of the new entries.
    void AddFiles(const std::vector<std::string>& paths, bool bPlayFirst);
    // Removes the entry at nIndex; the current index follows the entry it designated when that
    // lay after it, and one left at or beyond the end moves to the last entry. An emptied
    // queue is cleared and what plays stops and closes. 1 when removed, 0 when not in range.
    int DeleteEntry(int nIndex);
    // Exchanges two entries; the current index stays. 0 when either is not in range.
    int SwapEntries(int nA, int nB);
    // Empties the queue, stops and closes what plays and tells the views.
    void ClearQueue();
    // Writes the queue to the playlist file at strPath (see CPlayQueue::SaveM3u); 0, silently,
    // when it could not be written.
    int SavePlaylist(const std::string& strPath);
    // Asks for a file name (the save dialog) and writes the queue there as an M3U playlist;
    // tells the user with kSaveFailedText when it could not be written. Nothing when the
    // dialog is cancelled.
    void SavePlaylistAs();
    // Stops and closes what is open; the queue and the views are left as they are.
    void StopAndClose();

    // Moves what is open to nPercent (0-100) of its length; it keeps playing when it played.
    // Nothing when nothing is open.
    void SeekTo(int nPercent);
    // Moves what is open to nPercent (0-100) of its length and plays from there, whether it
    // played, paused or stood stopped. Nothing when nothing is open.
    void SeekAndPlay(int nPercent);
    // An end-of-medium notice (MM_MCINOTIFY) as the view received it. Only a successful or
    // failed end of the open (or prepared) medium counts; a stale one does nothing. The next
    // entry follows on, or plays, or nothing more plays (see the class comment).
    void OnEndNotice(WPARAM wParam, LPARAM lParam);
    // A track-change notice (WM_PLAYPOS, the new track in wParam, the CD medium's serial in
    // lParam): while that CD is the open medium and still stands in that track, the queue
    // steps on, and when its next entry is not that track, that entry plays instead. The
    // views are told.
    void OnTrackNotice(WPARAM wParam, LPARAM lParam);
    // Where the repeat setting is read (true: after the last entry the first plays); none
    // means off.
    void SetRepeatQuery(std::function<bool()> query) { m_repeatQuery = std::move(query); }
    // The repeat setting may have changed: the entry prepared to follow on is chosen again
    // (after the last entry the first follows only with repeat).
    void RepeatSettingChanged() { PrepareFollowing(); }
    // Where the shuffle setting is read; none means off.
    void SetShuffleQuery(std::function<bool()> query);
    // The shuffle setting may have changed: a new order is drawn (or dropped), the entry
    // prepared to follow on is chosen again and the views are told.
    void ShuffleSettingChanged();
    // "Stop after this one": toggles whether play stops when the current entry ends by
    // itself (once; the flag clears when it has stopped play).
    void OnCmdStopAfter();
    bool StopsAfterCurrent() const { return m_bStopAfter; }

    // The queue, its current entry and the place in it, for keeping until the next run: the
    // position of the open medium when it is the current entry and plays or pauses, else 0.
    KeptQueue KeepQueue() const;
    // Replaces the queue by a kept one and stands paused at its current entry and place,
    // opening nothing: Play opens that entry there (a file that has gone is passed over
    // quietly). The views are told.
    void RestoreQueue(KeptQueue kept);
    // The entry whose medium is open (or that stands paused from a kept queue); "" when none.
    std::string GetPlayingEntry() const;
    // Where the loudness settings are read; none means the defaults (automatic mode, 0 dB).
    void SetReplayGainQuery(std::function<ReplayGainSettings()> query)
    {
        m_gainQuery = std::move(query);
    }
    // The loudness settings may have changed: what plays takes its new gain at once, and the
    // entry prepared to follow on is prepared again when its gain changed.
    void ReplayGainSettingChanged();
    // The gain the entry at nIndex plays at under the loudness settings: its tags' track or
    // album gain (automatic mode: the album gain when the entry before or after it is of the
    // same album), the untagged gain for a CD track or a file without gain tags, 1 when off
    // or out of range.
    float EntryGain(int nIndex);
    // Moves what is open to nMilliseconds from its start (of the current track on a CD,
    // clamped to its length) as exactly as the medium allows; it keeps playing when it
    // played, and a pause stays a pause. Nothing when nothing is open.
    void SeekToMilliseconds(std::int64_t nMilliseconds);
    // Plays the entry at nIndex and makes it current; nothing when not in range.
    void PlayAt(int nIndex);
    // Engine notifications go to the window hWnd.
    void SetNotifyWindow(HWND hWnd);

    // The queue, read only.
    const CPlayQueue& GetQueue() const { return m_queue; }
    // The CUE sheet's track that is open (its file, span, title, performer and album);
    // nullptr when a whole file, the CD or nothing is.
    const CueTrack* GetCueTrack() const;
    // What the engine reports of the medium, as CPlayEngine's members of the same names:
    // the device id of the open medium (0 when none), the kind and title of the medium last
    // opened, the media mode, the position and a length in whole seconds.
    UINT IsOpen() const;
    DeviceKind GetKind() const;
    std::string GetTitle() const;
    int GetMode() const;
    int GetPosition(PlayPosition* pPos) const;
    int GetLengthSeconds(int nTrack) const;
    // "title mm:ss" (the length, not the elapsed time) for a file, "title <tt> mm:ss" for
    // the CD's current track; "" with nothing open.
    std::string GetStatusText() const;
    // What plays and what may be done with it, read from the engine now: the one place that
    // turns the medium's mode and position into a state, times and what is allowed.
    PlaybackSnapshot GetPlayback() const;
    // The news of the sound device since the last call, for the window to tell: kDeviceLostText
    // when a playing medium became held by the system, kDeviceBackText when it plays again
    // (each once an outage), else null.
    const char* TakeDeviceNews() { return TakeDeviceNews(GetPlayback()); }
    // The same, from a snapshot just taken (the window's tick takes one anyway).
    const char* TakeDeviceNews(const PlaybackSnapshot& snap);

    // The window that shows the playlist; null until the view registers itself.
    void SetPlaylistHost(IPlaylistWindowHost* pHost) { m_pPlaylistHost = pHost; }

protected:
    // Tests only, through a derived class: the queue and the engine themselves, to arrange a
    // queue no command builds or to wait on the engine's CD monitor.
    CPlayQueue& QueueForTests() { return m_queue; }
    CPlayEngine& EngineForTests() { return *m_pEngine; }

private:
    CPlayQueue m_queue;
    // Declared after the queue, so that the engine goes first.
    std::unique_ptr<CPlayEngine> m_pEngine;
    IPlaylistWindowHost* m_pPlaylistHost = nullptr;
    std::function<bool()> m_repeatQuery;
    std::function<bool()> m_shuffleQuery;
    CPlayOrder m_order;
    // The entry the open medium was opened from, and the queue index of the prepared one.
    std::string m_strPlaying;
    int m_nPreparedIndex = -1;
    bool m_bStopAfter = false;
    // A kept queue's place, waiting for Play (nothing is open meanwhile).
    struct PendingResume
    {
        bool bActive = false;
        std::int64_t nPositionMs = 0;
        std::int64_t nLengthMs = 0;
    } m_resume;
    std::function<ReplayGainSettings()> m_gainQuery;
    // The gain tags of the last few entries looked at, oldest first, each with its file's
    // modification time, so that stepping through the queue reads each file once and a file
    // tagged anew is read again.
    static constexpr std::size_t kGainTagsKept = 8;
    struct GainTagsEntry
    {
        std::string strPath;
        std::filesystem::file_time_type modified;
        ReplayGainTags tags;
    };
    std::vector<GainTagsEntry> m_gainTags;
    const ReplayGainTags& GainTagsOf(const std::string& entry);
    int m_nFailureStreak = 0; // failed ends in a row since the user last chose what plays
    // Fires at the end of the open track of a sheet when that end is not its file's.
    std::unique_ptr<QTimer> m_pTrackEnd;

    bool Repeats() const { return m_repeatQuery && m_repeatQuery(); }
    bool Shuffles() const { return m_shuffleQuery && m_shuffleQuery(); }
    // The index of the entry that would play after the playing one; -1 when none. bWrap:
    // after the last entry (or cycle) the first (or a new cycle) follows.
    int NextIndex(bool bWrap);
    // Makes nIndex current and the playing entry, and plays it (see PlayEntry).
    void PlayIndex(int nIndex);
    // Opens and plays a file entry with its message boxes held back: false, with the first
    // box's text in strFailure ("" for a file that does not exist), when it does not play.
    // A CD track marker plays as PlayEntryMedium plays it.
    bool PlayEntryQuietly(const std::string& entry, std::string& strFailure);
    // Opens and plays the kept queue's entry at its place.
    void ResumeKept();
    // The index of the entry the open medium plays (the queue's current one when unknown).
    int PlayingIndex() const;
    // The open medium played to its end with nothing prepared: the next entry plays, from the
    // last one back to the first only with repeat. Otherwise the views learn that nothing
    // plays.
    void PlayNextAfterEnd();
    // The prepared medium has started where the open one ended: it becomes the open one, the
    // queue steps on and the views are told; the entry after it is prepared.
    void FollowOn();
    // Has the engine prepare the entry that would play next by itself, when a file plays and
    // that entry is a file; drops a prepared medium that no longer is that entry.
    void PrepareFollowing();
    // Sets m_pTrackEnd for the end of the open track, or stops it when there is none.
    void WatchTrackEnd();
    // m_pTrackEnd fired: at the track's end the file plays on into the next entry when that
    // is the following track of the file; otherwise the track stops and what follows it
    // plays as after any end.
    void OnTrackEnd();
    // Opens and plays an entry that is a file or a sheet's track (a sheet that no longer
    // holds the track refuses it as an invalid file), at fGain. 1 when playing.
    int OpenAndPlayEntry(const std::string& entry, float fGain);
    // A command of the user chose what plays: failures are counted afresh.
    void UserChosePlay() { m_nFailureStreak = 0; }
    // The open medium was halted by the pause command, not stopped; any play, stop, seek
    // that plays, open or close ends it.
    bool m_bPaused = false;
    bool m_bToldHeld = false; // TakeDeviceNews has told of an outage not yet over

    // Plays an entry: a CD track marker plays that track of the open CD; a file is opened
    // and played. The views are told. Returns the queue's current index.
    int PlayEntry(std::string entry);
    // Steps 1 and 2 of playing an entry: a marker plays its track, a file reopens at the gain
    // of the entry at nIndex.
    void PlayEntryMedium(const std::string& entry, int nIndex);
    // Empties the queue and adds paths (playlists expanded); nothing plays in the new order.
    void ReplaceEntries(const std::vector<std::string>& paths);
};
