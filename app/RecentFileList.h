#pragma once

#include <string>
#include <vector>

// The framework's list of recently opened documents: at most a fixed number of paths, the
// most recent first, kept in the framework's own profile file (section "Recent File List",
// keys File1, File2, ...) between runs. User-interface thread only.
class CRecentFileList
{
public:
    static constexpr const char* kSection = "Recent File List";

    // A list of at most nSize entries stored in the ini file strProfile.
    CRecentFileList(std::string strProfile, int nSize);

    // Puts path first, removing an earlier copy of it; the oldest entry falls off the end.
    void Add(const std::string& path);
    const std::vector<std::string>& GetEntries() const { return m_entries; }
    int GetSize() const { return m_nSize; }

    // Reads the list from the profile (missing or unreadable: empty). Writes it back; false
    // when the profile could not be written.
    void ReadList();
    bool WriteList() const;

private:
    std::string m_strProfile;
    int m_nSize;
    std::vector<std::string> m_entries;
};
