#pragma once

#include <random>
#include <vector>

// Which entry of the queue plays after the one that plays now, for the document: the queue's
// own order, or with shuffle a drawn order in which each entry plays once per cycle. It
// follows the queue's edits by index (the document tells it of each one), so that the entry
// that plays stays known when entries before it move or it is itself removed, and what
// follows a removed entry is the entry that came after it. It never changes the queue.
// User-interface thread only.
class CPlayOrder
{
public:
    // How many entries that played are remembered for stepping back with shuffle.
    static constexpr std::size_t kHistoryLimit = 100'000;

    CPlayOrder();

    // The queue was replaced or emptied and now holds nCount entries; nothing plays.
    void Reset(int nCount);
    // The entry at nIndex begins to play (or stands open in its place): with shuffle it has
    // played in this cycle, and the one that played before it is remembered.
    void Started(int nIndex);
    // Entries nFrom to nCount - 1 were appended; with shuffle they join the cycle.
    void Appended(int nFrom, int nCount);
    // The entry at nIndex was removed, leaving nCount entries.
    void Removed(int nIndex, int nCount);
    // Entries nA and nB traded places.
    void Swapped(int nA, int nB);
    // Shuffle on or off for a queue of nCount entries; turned on, a new cycle is drawn of
    // every entry but the one that plays.
    void SetShuffle(bool bOn, int nCount);
    bool Shuffles() const { return m_bShuffle; }

    // The index of the entry that plays, -1 when none or when it was removed.
    int Playing() const { return m_nPlaying; }
    // Whether the entry that played was removed from the queue while it played.
    bool PlayingRemoved() const { return m_bPlayingRemoved; }
    // The entry that would play after the one that plays (nCurrent, the queue's current
    // index, when nothing is known to play): -1 when none. With bWrap the end of the queue
    // (or of the cycle, when a new one is drawn, its order fixed from then on) leads back to
    // the start.
    int Following(int nCurrent, int nCount, bool bWrap);
    // With shuffle: steps back to the entry that played before the one that plays, which
    // goes back to the cycle to play next again; -1 (and no change) when none is known.
    int StepBack();

private:
    bool m_bShuffle = false;
    int m_nPlaying = -1;
    bool m_bPlayingRemoved = false;
    // When the playing entry was removed: the index of the entry that came after it, -1 when
    // it was the last.
    int m_nFollower = -1;
    // With shuffle: the entries not yet played in this cycle, the next one at the back.
    std::vector<int> m_remaining;
    // With shuffle: the entries that played before the one that plays, the latest at the back.
    std::vector<int> m_history;
    std::mt19937 m_random;

    void DrawCycle(int nCount, int nExcept);
};
