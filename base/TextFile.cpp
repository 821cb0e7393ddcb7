#include "base/TextFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string Describe(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

// The file that writing to path replaces: the file a link at path names, or path itself when
// nothing is there yet; with the permissions the new file gets. Nothing when path is no
// writable regular file.
std::optional<std::pair<std::string, mode_t>> ReplaceTarget(const std::string& path)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return std::nullopt;
        // The only way to read the umask is to set it; no other thread creates files.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return std::pair(path, static_cast<mode_t>(0666 & ~mask));
    }
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), W_OK) != 0)
        return std::nullopt;
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    if (!resolved)
        return std::nullopt;
    return std::pair(std::string(resolved.get()), static_cast<mode_t>(st.st_mode & 07777));
}

} // namespace

CTextFile::~CTextFile()
{
    if (m_pFile != nullptr)
        std::fclose(m_pFile);
    if (!m_strTempPath.empty())
        ::unlink(m_strTempPath.c_str());
    std::free(m_pLine);
}

bool CTextFile::Open(const std::string& path, Mode mode)
{
    if (m_pFile != nullptr)
        return false;
    if (mode == Mode::Write)
        return OpenReplacement(path);
    // Opened without blocking, so that a FIFO or a device never holds the player up; only a
    // regular file is kept.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    m_pFile = ::fdopen(fd, "r");
    if (m_pFile == nullptr) {
        ::close(fd);
        return false;
    }
    m_strPath = path;
    return true;
}

bool CTextFile::OpenReplacement(const std::string& path)
{
    const auto target = ReplaceTarget(path);
    if (!target)
        return false;
    const std::string& file = target->first;
    const std::size_t slash = file.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = file.substr(0, nameStart) + "." + file.substr(nameStart) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    if (::fchmod(fd, target->second) != 0 || (m_pFile = ::fdopen(fd, "w")) == nullptr) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    m_strPath = file;
    m_strTempPath = std::move(temp);
    return true;
}

void CTextFile::WriteString(std::string_view text)
{
    if (m_pFile == nullptr)
        throw CFileException(m_strPath + ": not open");
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        const std::size_t count = stop - start;
        bool ok = std::fwrite(text.data() + start, 1, count, m_pFile) == count;
        if (ok && end != std::string_view::npos)
            ok = std::fwrite("\r\n", 1, 2, m_pFile) == 2;
        if (!ok)
            throw CFileException(Describe(m_strPath, errno));
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
}

bool CTextFile::ReadLine(std::string& line)
{
    line.clear();
    if (m_pFile == nullptr)
        throw CFileException(m_strPath + ": not open");
    errno = 0;
    const ssize_t n = ::getline(&m_pLine, &m_nLineCapacity, m_pFile);
    if (n < 0) {
        if (std::ferror(m_pFile))
            throw CFileException(Describe(m_strPath, errno != 0 ? errno : EIO));
        if (errno == ENOMEM)
            throw std::bad_alloc();
        return false;
    }
    std::size_t length = static_cast<std::size_t>(n);
    if (length > 0 && m_pLine[length - 1] == '\n') {
        --length;
        if (length > 0 && m_pLine[length - 1] == '\r')
            --length;
    }
    line.assign(m_pLine, length);
    return true;
}

void CTextFile::Close()
{
    if (m_pFile == nullptr)
        return;
    std::FILE* file = m_pFile;
    m_pFile = nullptr;
    const std::string temp = std::exchange(m_strTempPath, {});
    // A replacement reaches the disk before it takes the old file's place.
    bool ok = std::fflush(file) == 0 && (temp.empty() || ::fsync(::fileno(file)) == 0);
    int err = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !temp.empty() && ::rename(temp.c_str(), m_strPath.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        if (!temp.empty())
            ::unlink(temp.c_str());
        throw CFileException(Describe(m_strPath, err));
    }
}
