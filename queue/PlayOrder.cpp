#include "queue/PlayOrder.h"

#include <algorithm>
#include <numeric>

namespace {

// Index rules of the queue applied to a list of indexes: nIndex removed.
void RemoveIndex(std::vector<int>& indexes, int nIndex)
{
    std::erase(indexes, nIndex);
    for (int& i : indexes)
        if (i > nIndex)
            --i;
}

int SwapIndex(int i, int nA, int nB)
{
    return i == nA ? nB : i == nB ? nA : i;
}

} // namespace

CPlayOrder::CPlayOrder()
    : m_random(std::random_device{}())
{}

void CPlayOrder::Reset(int nCount)
{
    m_nPlaying = -1;
    m_bPlayingRemoved = false;
    m_nFollower = -1;
    m_history.clear();
    m_remaining.clear();
    if (m_bShuffle)
        DrawCycle(nCount, -1);
}

void CPlayOrder::DrawCycle(int nCount, int nExcept)
{
    m_remaining.resize(static_cast<std::size_t>(std::max(nCount, 0)));
    std::iota(m_remaining.begin(), m_remaining.end(), 0);
    std::erase(m_remaining, nExcept);
    std::shuffle(m_remaining.begin(), m_remaining.end(), m_random);
}

void CPlayOrder::Started(int nIndex)
{
    if (m_bShuffle) {
        if (m_nPlaying >= 0 && m_nPlaying != nIndex) {
            m_history.push_back(m_nPlaying);
            if (m_history.size() > kHistoryLimit)
                m_history.erase(m_history.begin(), m_history.begin() + kHistoryLimit / 2);
        }
        // The one to play next sits at the back, so a step onward costs nothing.
        if (!m_remaining.empty() && m_remaining.back() == nIndex)
            m_remaining.pop_back();
        else
            std::erase(m_remaining, nIndex);
    }
    m_nPlaying = nIndex;
    m_bPlayingRemoved = false;
    m_nFollower = -1;
}

void CPlayOrder::Appended(int nFrom, int nCount)
{
    if (!m_bShuffle)
        return;
    for (int i = nFrom; i < nCount; ++i) {
        std::uniform_int_distribution<std::size_t> place(0, m_remaining.size());
        m_remaining.insert(m_remaining.begin() + static_cast<std::ptrdiff_t>(place(m_random)), i);
    }
}

void CPlayOrder::Removed(int nIndex, int nCount)
{
    if (m_nPlaying == nIndex) {
        m_nPlaying = -1;
        m_bPlayingRemoved = true;
        m_nFollower = nIndex;
    } else if (m_nPlaying > nIndex) {
        --m_nPlaying;
    } else if (m_bPlayingRemoved && m_nFollower > nIndex) {
        --m_nFollower;
    }
    // The entry after a removed follower slides into its place; none when it was the last.
    if (m_bPlayingRemoved && m_nFollower >= nCount)
        m_nFollower = -1;
    RemoveIndex(m_remaining, nIndex);
    RemoveIndex(m_history, nIndex);
}

void CPlayOrder::Swapped(int nA, int nB)
{
    m_nPlaying = SwapIndex(m_nPlaying, nA, nB);
    if (m_bPlayingRemoved)
        m_nFollower = SwapIndex(m_nFollower, nA, nB);
    for (int& i : m_remaining)
        i = SwapIndex(i, nA, nB);
    for (int& i : m_history)
        i = SwapIndex(i, nA, nB);
}

void CPlayOrder::SetShuffle(bool bOn, int nCount)
{
    if (bOn == m_bShuffle)
        return;
    m_bShuffle = bOn;
    m_history.clear();
    m_remaining.clear();
    if (bOn)
        DrawCycle(nCount, m_nPlaying);
}

int CPlayOrder::Following(int nCurrent, int nCount, bool bWrap)
{
    if (nCount <= 0)
        return -1;
    if (m_bShuffle) {
        if (m_remaining.empty() && bWrap) {
            DrawCycle(nCount, -1);
            // A new cycle does not begin with the entry that ended the last one.
            if (m_remaining.size() > 1 && m_remaining.back() == m_nPlaying)
                std::swap(m_remaining.back(), m_remaining.front());
        }
        return m_remaining.empty() ? -1 : m_remaining.back();
    }
    if (m_bPlayingRemoved) {
        if (m_nFollower >= 0 && m_nFollower < nCount)
            return m_nFollower;
        return bWrap ? 0 : -1;
    }
    const int from = m_nPlaying >= 0 && m_nPlaying < nCount ? m_nPlaying : nCurrent;
    if (from < nCount - 1)
        return from + 1;
    // Beyond the end (after removals) the queue starts again from the first entry.
    return bWrap || from > nCount - 1 ? 0 : -1;
}

int CPlayOrder::StepBack()
{
    if (!m_bShuffle || m_history.empty())
        return -1;
    const int back = m_history.back();
    m_history.pop_back();
    if (m_nPlaying >= 0)
        m_remaining.push_back(m_nPlaying);
    m_nPlaying = back;
    m_bPlayingRemoved = false;
    m_nFollower = -1;
    return back;
}
