// The folder half of CPlayQueue: a folder stands for the playable files it holds.

#include "queue/PlayQueue.h"

#include "base/Prompts.h"
#include "engine/MediaFormats.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

bool CPlayQueue::IsFolder(const std::string& entry)
{
    std::error_code error;
    return !entry.empty() && entry.front() != '\\' && std::filesystem::is_directory(entry, error);
}

void CPlayQueue::AddFolder(const std::string& strPath)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code error;
    long nVisited = 0;
    // Links to folders are not followed, so a link back to a folder above cannot loop; a
    // folder that cannot be read, or vanishes meanwhile, ends the walk with what was found.
    fs::recursive_directory_iterator it(strPath, fs::directory_options::skip_permission_denied,
                                        error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        if (++nVisited > m_nLineBudget) {
            Prompts().ShowMessage(kTooManyFilesText);
            break;
        }
        const fs::path& path = it->path();
        std::error_code typeError;
        if (path.has_extension() && FindMediaFormat(path.filename().string()) != nullptr &&
            it->is_regular_file(typeError))
            files.push_back(path);
    }
    // By name, a subfolder's files together where the subfolder's name falls.
    std::sort(files.begin(), files.end());
    std::vector<std::string> entries;
    entries.reserve(files.size());
    for (const fs::path& file : files)
        entries.push_back(file.string());
    // All or nothing: memory running out leaves the queue as it was.
    m_entries.reserve(m_entries.size() + entries.size());
    std::move(entries.begin(), entries.end(), std::back_inserter(m_entries));
}
