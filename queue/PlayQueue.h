#pragma once

#include <string>
#include <vector>

// The ordered list of entries the player plays, with a current index. An entry is a file
// path or a CD track marker ("\track <N>", first character a backslash). The queue only
// keeps texts: it never opens or checks a medium. User-interface thread only.
//
// m_nCurrent is never negative but may stand beyond the end after removals (RemoveAt never
// moves it); every operation copes with that.
class CPlayQueue
{
public:
    // Shown when memory runs out while an entry is added.
    static constexpr const char* kOutOfMemoryText = "メモリが不足しています。";
    // Shown when a playlist file fails while it is read or written.
    static constexpr const char* kFileErrorText = "ファイルが開けませんでした";
    // How deep playlist files may name other playlist files.
    static constexpr int kMaxPlaylistDepth = 16;
    // How many playlist files one Add may read in all, so that a few small files naming each
    // other many times over cannot expand without end.
    static constexpr int kMaxPlaylistReads = 256;

    CPlayQueue() = default;
    virtual ~CPlayQueue() = default;

    // Appends entry, or, when its last three bytes are "m3u" in any case, appends the lines
    // of that playlist file instead. Returns 1; 0 after an out-of-memory failure, which is
    // reported to the user and leaves the queue as it was.
    int Add(const std::string& entry);
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
    // The text after the entry's last path separator (a marker without its backslash);
    // "" when not in range.
    std::string GetDisplayName(int nIndex) const;
    // 1 when m_nCurrent designates the last entry.
    int IsLast() const;

    // Writes every entry to the playlist file at strPath, one line each, entries under the
    // playlist's directory relative to it. 0 when strPath holds no separator or a write
    // error occurred (reported to the user), else 1. A file that cannot be created is
    // silently not written.
    int SaveM3u(const std::string& strPath);
    // Reads the playlist file at strPath and adds each line, relative lines joined to the
    // playlist's directory. A file that cannot be opened adds nothing, silently; a read
    // error is reported to the user and keeps what was added. A playlist already being read
    // (a loop of playlists), nesting beyond kMaxPlaylistDepth and playlists beyond the
    // kMaxPlaylistReads-th of one expansion are skipped. Running out of memory is reported
    // once and ends the whole expansion.
    void LoadM3u(const std::string& strPath);

private:
    std::vector<std::string> m_entries;
    int m_nCurrent = 0;

    // Playlist files being read, outermost first: the guard against playlist loops.
    std::vector<std::string> m_reading;
    // Playlist files read since the outermost one began.
    int m_nPlaylistReads = 0;
    // Memory ran out during the current Add or expansion, and the user has been told.
    bool m_bOutOfMemory = false;

    void ReportOutOfMemory();

    bool InRange(int nIndex) const { return nIndex >= 0 && nIndex < GetCount(); }
};
