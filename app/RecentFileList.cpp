#include "app/RecentFileList.h"

#include <algorithm>

CRecentFileList::CRecentFileList(int nSize)
    : m_nSize(std::max(nSize, 0))
{}

void CRecentFileList::Add(const std::string& path)
{
    if (path.empty() || m_nSize == 0)
        return;
    std::erase(m_entries, path);
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > static_cast<std::size_t>(m_nSize))
        m_entries.resize(static_cast<std::size_t>(m_nSize));
}
