#pragma once

#include <string>
#include <vector>

// The framework's list of recently opened documents: at most a fixed number of paths, the
// most recent first. No menu shows it, so it is kept in memory only and never written: it lasts
// as long as the run. User-interface thread only.
class CRecentFileList
{
public:
    // A list of at most nSize entries.
    explicit CRecentFileList(int nSize);

    // Puts path first, removing an earlier copy of it; the oldest entry falls off the end.
    void Add(const std::string& path);
    const std::vector<std::string>& GetEntries() const { return m_entries; }
    int GetSize() const { return m_nSize; }

private:
    int m_nSize;
    std::vector<std::string> m_entries;
};
