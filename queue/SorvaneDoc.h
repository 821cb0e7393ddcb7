#pragma once

#include "base/WinTypes.h"
#include "engine/PlayEngine.h"
#include "framework/Document.h"
#include "queue/PlayQueue.h"

#include <memory>
#include <string>
#include <vector>

#include <QtGlobal>

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
// User-interface thread only.
class CSorvaneDoc : public CDocument
{
public:
    static constexpr const char* kOpenFilter = QT_TRANSLATE_NOOP(
        "Sorvane", "AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||");
    static constexpr const char* kOpenDefExt = ".mid";
    static constexpr const char* kCdPath = "path";
    static constexpr const char* kPlayFailedText =
        QT_TRANSLATE_NOOP("Sorvane", "演奏に失敗しました");
    static constexpr const char* kMciOpenErrorText = QT_TRANSLATE_NOOP("Sorvane", "MCI Open Error");
    static constexpr const char* kMciPlayErrorText = QT_TRANSLATE_NOOP("Sorvane", "MCI Play Error");
    static constexpr int kPlaylistLeftThreshold = 300;
    static constexpr int kPlaylistRightOffset = 230;
    static constexpr int kPlaylistLeftOffset = 225;

    CSorvaneDoc();
    ~CSorvaneDoc() override;

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

    // Replaces the queue by paths (playlists expanded) and plays its first entry, as the open
    // button does with the files chosen in its dialog: what plays stops and closes first, and
    // a first entry that does not start is told with kPlayFailedText after the engine's boxes.
    void OpenFiles(const std::vector<std::string>& paths);
    // Replaces the queue by dropped files (playlists expanded) and plays its first entry. The
    // queue is replaced before what plays stops and closes, and a first entry that does not
    // start is told only by the engine's boxes.
    void DropFiles(const std::vector<std::string>& paths);
    // Appends paths to the queue (playlists expanded); what plays goes on.
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
    // Stops and closes what is open; the queue and the views are left as they are.
    void StopAndClose();

    // Moves what is open to nPercent (0-100) of its length; it keeps playing when it played.
    // Nothing when nothing is open.
    void SeekTo(int nPercent);
    // Moves what is open to nPercent (0-100) of its length and plays from there, whether it
    // played, paused or stood stopped. Nothing when nothing is open.
    void SeekAndPlay(int nPercent);
    // The open medium played to its end (or a read error ended it): the next entry plays,
    // from the last one back to the first only with bRepeat. Otherwise the views learn that
    // nothing plays.
    void PlayNextAfterEnd(bool bRepeat);
    // The playing CD moved into track nTrack by itself: the queue steps on, and when its next
    // entry is not that track, that entry plays instead. The views are told.
    void FollowCdTrack(int nTrack);
    // Plays the entry at nIndex and makes it current; nothing when not in range.
    void PlayAt(int nIndex);
    // Engine notifications go to the window hWnd.
    void SetNotifyWindow(HWND hWnd);

    // The queue, read only.
    const CPlayQueue& GetQueue() const { return m_queue; }
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

    // Plays an entry: a CD track marker plays that track of the open CD; a file is opened
    // and played. The views are told. Returns the queue's current index.
    int PlayEntry(std::string entry);
    // Steps 1 and 2 of playing an entry: a marker plays its track, a file reopens.
    void PlayEntryMedium(const std::string& entry);
    // Empties the queue and adds paths (playlists expanded).
    void ReplaceEntries(const std::vector<std::string>& paths);
};
