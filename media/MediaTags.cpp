#include "media/MediaTags.h"

#include "base/Path.h"
#include "media/TagReader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>

namespace {

bool IsPlainFile(const std::string& strPath, std::int64_t* pnModified = nullptr)
{
    struct stat st
    {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (pnModified != nullptr) {
        *pnModified =
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return true;
}

std::string CacheDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/')
        return JoinPath(cache, "sorvane");
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return JoinPath(JoinPath(home, ".cache"), "sorvane");
}

} // namespace

MediaTags ReadMediaTags(const std::string& strPath)
{
    const TagReaderTable* reader = LoadedTagReader();
    return reader != nullptr ? reader->pReadMediaTags(strPath) : MediaTags{};
}

std::string CoverArtPath(const std::string& strPath, const MediaTags& tags)
{
    if (!tags.strCover.empty()) {
        const std::string dir = CacheDirectory();
        char name[32];
        std::snprintf(name, sizeof name, "cover-%016zx.%s", std::hash<std::string>{}(tags.strCover),
                      tags.strCoverType == "image/png" ? "png" : "jpg");
        const std::string path = dir.empty() ? std::string() : JoinPath(dir, name);
        if (!path.empty() && IsPlainFile(path))
            return path;
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        // Written beside its place and renamed, so that a reader never sees half a picture.
        const std::string temporary = path + ".part";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(tags.strCover.data(), static_cast<std::streamsize>(tags.strCover.size()));
        out.close();
        if (!dir.empty() && out && std::rename(temporary.c_str(), path.c_str()) == 0)
            return path;
        std::remove(temporary.c_str());
    }
    if (const auto dir = DirectoryOf(strPath)) {
        for (const char* name : {"cover.jpg", "folder.jpg"}) {
            const std::string beside = JoinPath(*dir, name);
            if (IsPlainFile(beside))
                return beside;
        }
    }
    return {};
}

const MediaTags& CMediaTagCache::Get(const std::string& strPath, std::string* pstrCover)
{
    std::int64_t modified = -1;
    IsPlainFile(strPath, &modified);
    if (strPath != m_strPath || modified != m_nModified) {
        m_strPath = strPath;
        m_nModified = modified;
        m_tags = ReadMediaTags(strPath);
        m_strCover = CoverArtPath(strPath, m_tags);
        // The picture is on disk now; the bytes need not stay in memory.
        m_tags.strCover.clear();
        m_tags.strCover.shrink_to_fit();
    }
    if (pstrCover != nullptr)
        *pstrCover = m_strCover;
    return m_tags;
}
