#pragma once

#include "base/WinTypes.h"
#include "framework/Document.h"
#include "queue/PlayQueue.h"

#include <memory>
#include <string>
#include <vector>

class CPlayEngine;

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

// The player's one document: it owns the play queue and the play engine and turns the
// player's commands into calls on them, then tells its views what changed.
// User-interface thread only.
class CSorvaneDoc : public CDocument
{
public:
    static constexpr const char* kOpenFilter =
        "AudioFiles( .mid .wav .m3u,mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||";
    static constexpr const char* kOpenDefExt = ".mid";
    static constexpr const char* kCdPath = "path";
    static constexpr const char* kPlayFailedText = "演奏に失敗しました";
    static constexpr const char* kMciOpenErrorText = "MCI Open Error";
    static constexpr const char* kMciPlayErrorText = "MCI Play Error";
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
    // button does with the files chosen in its dialog.
    void OpenFiles(const std::vector<std::string>& paths);
    // Appends paths to the queue (playlists expanded); what plays goes on.
    void EnqueueFiles(const std::vector<std::string>& paths);
    // Moves what is open to nPercent (0-100) of its length, as the drag seek does; it keeps
    // playing when it played. Nothing when nothing is open.
    void SeekTo(int nPercent);
    // Plays an entry: a CD track marker plays that track of the open CD; a file is opened
    // and played. Returns the queue's current index.
    int PlayEntry(std::string entry);
    // Plays the entry at nIndex and makes it current; nothing when not in range.
    void PlayAt(int nIndex);
    // "title mm:ss" (the length, not the elapsed time) for a file, "title <tt> mm:ss" for
    // the CD's current track; "" with nothing open.
    std::string GetStatusText() const;

    // The window that shows the playlist; null until the view registers itself.
    void SetPlaylistHost(IPlaylistWindowHost* pHost) { m_pPlaylistHost = pHost; }

    CPlayQueue m_queue;
    CPlayEngine* m_pEngine;

private:
    IPlaylistWindowHost* m_pPlaylistHost = nullptr;

    // Steps 1 and 2 of playing an entry: a marker plays its track, a file reopens.
    void PlayEntryMedium(const std::string& entry);
};
