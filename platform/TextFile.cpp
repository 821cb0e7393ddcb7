#include "platform/TextFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Describe(const std::string& path, int err)
{
    return path + ": " + std::strerror(err);
}

} // namespace

CTextFile::~CTextFile()
{
    if (m_pFile != nullptr)
        std::fclose(m_pFile);
    std::free(m_pLine);
}

bool CTextFile::Open(const std::string& path, Mode mode)
{
    if (m_pFile != nullptr)
        return false;
    // Opened without blocking, so that a FIFO or a device never holds the player up; only a
    // regular file is kept, and only then is it cut to length 0 for writing.
    const int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT);
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        (mode == Mode::Write && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return false;
    }
    m_pFile = ::fdopen(fd, mode == Mode::Read ? "r" : "w");
    if (m_pFile == nullptr) {
        ::close(fd);
        return false;
    }
    m_strPath = path;
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
    const bool flushed = std::fflush(file) == 0;
    const int flushErr = errno;
    const bool closed = std::fclose(file) == 0;
    if (!flushed || !closed)
        throw CFileException(Describe(m_strPath, flushed ? errno : flushErr));
}
