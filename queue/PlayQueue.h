#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <QtGlobal>

// The ordered list of entries the player plays, with a current index. An entry is a file
// path, a track of a CUE sheet ("<sheet>#<N>", see media/CueSheet.h) or a CD track marker
// ("\track <N>", first character a backslash). The queue keeps texts: it never opens a
// medium, and reads only playlist files and CUE sheets (a folder given to Add stands for the
// files inside it). User-interface thread only.
//
// m_nCurrent is never negative but may stand beyond the end after removals (RemoveAt never
// moves it); every operation copes with that.
class CPlayQueue
{
public:
    // Shown when memory runs out while an entry is added.
    static constexpr const char* kOutOfMemoryText =
        QT_TRANSLATE_NOOP("Sorvane", "メモリが不足しています。");
    // Shown when a playlist file fails while it is read or written.
    static constexpr const char* kFileErrorText =
        QT_TRANSLATE_NOOP("Sorvane", "ファイルが開けませんでした");
    // How deep playlist files may name other playlist files.
    static constexpr int kMaxPlaylistDepth = 16;
    // How many playlist lines one Add may read in all, far beyond any real library, so that
    // a few small files naming each other many times over cannot expand without end.
    static constexpr long kPlaylistLineBudget = 1'000'000;
    // Shown when a folder holds more names than that budget.
    static constexpr const char* kTooManyFilesText = QT_TRANSLATE_NOOP(
        "Sorvane", "フォルダのファイルが多すぎるため、残りを追加しませんでした。");
    // Shown once when an Add stops at that budget.
    static constexpr const char* kTooManyLinesText = QT_TRANSLATE_NOOP(
        "Sorvane", "プレイリストの行が多すぎるため、残りを読み込みませんでした。");

    CPlayQueue() = default;
    virtual ~CPlayQueue() = default;

    // Appends entry, or, when it ends in "m3u" or "m3u8" in any case, appends the lines
    // of that playlist file instead, or, when it names a folder (not as a playlist's line),
    // the playable files inside it (AddFolder). A CUE sheet (a .cue file, or a FLAC, WavPack
    // or APE file holding one) whose tracks name files the player plays is appended as one
    // entry per track; a sheet naming a missing or unplayable file (a CD image) stays one
    // entry, which plays as it did or is refused when opened. Returns 1; 0 after an
    // out-of-memory failure, which is reported to the user and leaves the queue as it was.
    int Add(const std::string& entry);
    // Appends entries as they stand (a playlist name stays an entry): entries taken back from
    // a kept queue. Returns 1; 0 after an out-of-memory failure, reported to the user, which
    // keeps the entries appended before it.
    int AppendEntries(std::vector<std::string>&& entries);
    // Removes the entry at nIndex; 0 when nIndex is not in range.
    int RemoveAt(int nIndex);
    // Steps forward (wrapping to entry 0) and returns the new current entry; "" when empty.
    std::string Next();
    // Steps back (stopping at entry 0) and returns the new current entry; "" when empty.
    // From beyond the end it steps to the last entry.
    std::string Previous();
    // The entry at nIndex; "" when not in range.
    std::string GetAt(int nIndex) const;
    int GetCount() const { return static_cast<int>(m_entries.size()); }
    // Exchanges two entries; 0 when either index is not in range. m_nCurrent stays.
    int Swap(int nA, int nB);
    // Removes every entry and sets m_nCurrent to 0. Returns 1.
    int Clear();
    // Sets m_nCurrent; 0 (and no change) when nIndex is not in range.
    int SetCurrent(int nIndex);
    int GetCurrent() const { return m_nCurrent; }
    // The text after the entry's last path separator (a marker without its backslash), or a
    // sheet's track's title ("Track <N>" when it has none); "" when not in range.
    std::string GetDisplayName(int nIndex) const;
    // 1 when m_nCurrent designates the last entry.
    int IsLast() const;

    // Writes every entry to the playlist file at strPath, one line each, entries under the
    // playlist's directory relative to it, through a temporary file that replaces the old
    // one only when it is complete. 1 on success; 0, silently, when strPath holds no
    // separator, the file cannot be created or a write error occurred (an earlier file of
    // that name is then left as it was): the caller tells the user.
    int SaveM3u(const std::string& strPath);
    // Reads the playlist file at strPath (.m3u or .m3u8, UTF-8 with a byte-order mark, or
    // without one each line read by the legacy-text rule of base/LegacyText.h; LF or CR LF)
    // and adds each line, relative lines joined to the playlist's
    // directory and file: URIs decoded to their paths (one that names no local path, or
    // with a broken escape, is taken as it stands); blank lines and lines that begin with
    // '#' are no entries. A file
    // that cannot be opened adds nothing, silently; a read error is reported to the user and
    // keeps what was added. A playlist already being read (a loop of playlists) and nesting
    // beyond kMaxPlaylistDepth are skipped; an expansion stops after kPlaylistLineBudget
    // lines and says so once. Running out of memory is reported once and ends the whole
    // expansion.
    void LoadM3u(const std::string& strPath);
    // Appends the files inside the folder strPath, its subfolders' too, that the player plays
    // by their extension (playlists are left out: they name files the folder already holds),
    // sorted by name. Links to folders are not followed; the walk stops after
    // kPlaylistLineBudget names and says so once.
    void AddFolder(const std::string& strPath);
    // Whether entry names a folder (a CD track marker never does).
    static bool IsFolder(const std::string& entry);

protected:
    // The line budget of one expansion; tests lower it.
    long m_nLineBudget = kPlaylistLineBudget;

private:
    std::vector<std::string> m_entries;
    int m_nCurrent = 0;

    // Playlist files being read, outermost first: the guard against playlist loops.
    std::vector<std::string> m_reading;
    // Lines read since the outermost playlist began, and whether the budget was reported.
    long m_nLinesRead = 0;
    bool m_bBudgetReported = false;
    // Memory ran out during the current Add or expansion, and the user has been told.
    bool m_bOutOfMemory = false;

    // The names of the sheets' tracks among the entries, by entry; entries stay plain texts
    // however they are reordered.
    std::unordered_map<std::string, std::string> m_trackNames;
    // The sheet read last, so that a playlist naming its tracks one by one reads it once.
    std::string m_strLastSheet;
    std::vector<std::pair<std::string, std::string>> m_lastSheetNames; // entry, name

    void ReportOutOfMemory();
    // Appends the tracks of the sheet at sheet; false when it has none that could play.
    bool AddSheetTracks(const std::string& sheet);
    // Appends a track entry ("<sheet>#<N>") with its name read from its sheet.
    void AddTrackEntry(const std::string& entry, const std::string& sheet);
    // The entries and names of the playable tracks of the sheet at sheet (read once in a row).
    const std::vector<std::pair<std::string, std::string>>& SheetTracks(const std::string& sheet);

    bool InRange(int nIndex) const { return nIndex >= 0 && nIndex < GetCount(); }
};
