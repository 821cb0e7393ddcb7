#include "queue/PlayQueue.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "engine/MediaFormats.h"
#include "media/CueSheet.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <iterator>
#include <new>
#include <utility>

int CPlayQueue::Add(const std::string& entry)
{
    if (m_reading.empty()) {
        m_bOutOfMemory = false;
        // A sheet is read afresh by each command: it may have been edited in between.
        m_strLastSheet.clear();
    }
    try {
        // Only a folder given to the queue itself: a playlist's lines are looked up on no disk.
        if (m_reading.empty() && IsFolder(entry)) {
            AddFolder(entry);
            return 1;
        }
        if (EndsWithNoCase(entry, "m3u") || EndsWithNoCase(entry, "m3u8")) {
            LoadM3u(entry);
            return 1;
        }
        if (const auto track = SplitCueTrackEntry(entry)) {
            AddTrackEntry(entry, track->first);
            return 1;
        }
        if ((EndsWithNoCase(entry, ".cue") || MayEmbedCueSheet(entry)) && AddSheetTracks(entry))
            return 1;
        if (m_entries.size() >= static_cast<std::size_t>(INT_MAX))
            throw std::bad_alloc();
        m_entries.push_back(entry);
        return 1;
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return 0;
    }
}

const std::vector<std::pair<std::string, std::string>>&
CPlayQueue::SheetTracks(const std::string& sheet)
{
    if (sheet != m_strLastSheet || m_lastSheetNames.empty()) {
        m_lastSheetNames.clear();
        m_strLastSheet = sheet;
        if (const std::optional<CueSheet> read = ReadCueSheet(sheet)) {
            for (const CueTrack& track : read->tracks) {
                // A track of a missing file, or of one the player does not play (a CD
                // image's), is no entry.
                std::error_code error;
                if (FindMediaFormat(track.strFile) != nullptr &&
                    std::filesystem::is_regular_file(track.strFile, error))
                    m_lastSheetNames.emplace_back(CueTrackEntry(sheet, track.nNumber),
                                                  CueTrackName(track));
            }
        }
    }
    return m_lastSheetNames;
}

bool CPlayQueue::AddSheetTracks(const std::string& sheet)
{
    const auto& tracks = SheetTracks(sheet);
    if (tracks.empty())
        return false;
    if (m_entries.size() + tracks.size() >= static_cast<std::size_t>(INT_MAX))
        throw std::bad_alloc();
    for (const auto& [entry, name] : tracks) {
        m_entries.push_back(entry);
        m_trackNames[entry] = name;
    }
    return true;
}

void CPlayQueue::AddTrackEntry(const std::string& entry, const std::string& sheet)
{
    if (m_entries.size() >= static_cast<std::size_t>(INT_MAX))
        throw std::bad_alloc();
    m_entries.push_back(entry);
    for (const auto& [known, name] : SheetTracks(sheet))
        if (known == entry)
            m_trackNames[entry] = name;
}

int CPlayQueue::AppendEntries(std::vector<std::string>&& entries)
{
    m_bOutOfMemory = false;
    try {
        if (m_entries.empty()) {
            m_entries = std::move(entries);
        } else {
            m_entries.reserve(m_entries.size() + entries.size());
            std::move(entries.begin(), entries.end(), std::back_inserter(m_entries));
        }
        if (m_entries.size() > static_cast<std::size_t>(INT_MAX))
            m_entries.resize(static_cast<std::size_t>(INT_MAX));
        return 1;
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
        return 0;
    }
}

void CPlayQueue::ReportOutOfMemory()
{
    if (m_bOutOfMemory)
        return;
    m_bOutOfMemory = true;
    Prompts().ShowMessage(kOutOfMemoryText);
}

int CPlayQueue::RemoveAt(int nIndex)
{
    if (!InRange(nIndex))
        return 0;
    m_entries.erase(m_entries.begin() + nIndex);
    return 1;
}

std::string CPlayQueue::Next()
{
    if (m_entries.empty())
        return {};
    if (m_nCurrent >= GetCount() - 1)
        m_nCurrent = 0;
    else
        ++m_nCurrent;
    return m_entries[static_cast<std::size_t>(m_nCurrent)];
}

std::string CPlayQueue::Previous()
{
    if (m_entries.empty())
        return {};
    m_nCurrent = std::clamp(m_nCurrent - 1, 0, GetCount() - 1);
    return m_entries[static_cast<std::size_t>(m_nCurrent)];
}

std::string CPlayQueue::GetAt(int nIndex) const
{
    return InRange(nIndex) ? m_entries[static_cast<std::size_t>(nIndex)] : std::string();
}

int CPlayQueue::Swap(int nA, int nB)
{
    if (!InRange(nA) || !InRange(nB))
        return 0;
    std::swap(m_entries[static_cast<std::size_t>(nA)], m_entries[static_cast<std::size_t>(nB)]);
    return 1;
}

int CPlayQueue::Clear()
{
    m_entries.clear();
    m_trackNames.clear();
    m_strLastSheet.clear();
    m_lastSheetNames.clear();
    m_nCurrent = 0;
    return 1;
}

int CPlayQueue::SetCurrent(int nIndex)
{
    if (!InRange(nIndex))
        return 0;
    m_nCurrent = nIndex;
    return 1;
}

std::string CPlayQueue::GetDisplayName(int nIndex) const
{
    if (!InRange(nIndex))
        return {};
    const std::string& entry = m_entries[static_cast<std::size_t>(nIndex)];
    if (const auto name = m_trackNames.find(entry); name != m_trackNames.end())
        return name->second;
    if (!entry.empty() && entry.front() == '\\')
        return entry.substr(1);
    const std::size_t cut = MbsRChr(entry, kPathSeparator);
    return cut == std::string::npos ? entry : entry.substr(cut + 1);
}

int CPlayQueue::IsLast() const
{
    return !m_entries.empty() && m_nCurrent == GetCount() - 1 ? 1 : 0;
}
