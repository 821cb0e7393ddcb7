#include "media/CueImage.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/ScanInt.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Opens path for reading without waiting (a FIFO would wait for a writer) and keeps it only
// when it is a regular file; -1 otherwise.
int OpenRegularFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ReadAll(int fd, std::string& text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(CCueImage::kMaxSheetBytes))
            return false;
    }
}

// The line's first word in capitals, and the rest after the blanks that follow it.
std::string Keyword(const std::string& line, std::string& rest)
{
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos)
        return {};
    std::size_t end = line.find_first_of(" \t", i);
    if (end == std::string::npos)
        end = line.size();
    const std::string word = AsciiUpper(std::string_view(line).substr(i, end - i));
    const std::size_t next = line.find_first_not_of(" \t", end);
    rest = next == std::string::npos ? std::string() : line.substr(next);
    return word;
}

// The file name of a FILE line's rest ("name" or name, then the file type), and the text
// after it.
std::optional<std::string> FileName(const std::string& rest, std::string& type)
{
    std::size_t end = 0;
    std::string name;
    if (!rest.empty() && rest.front() == '"') {
        end = rest.find('"', 1);
        if (end == std::string::npos)
            return std::nullopt;
        name = rest.substr(1, end - 1);
        ++end;
    } else {
        end = rest.find_first_of(" \t");
        if (end == std::string::npos)
            end = rest.size();
        name = rest.substr(0, end);
    }
    type = rest.substr(end);
    if (name.empty())
        return std::nullopt;
    return name;
}

// The track number at the start of a TRACK line's rest; -1 when there is none or it lies
// beyond the 99 tracks a disc can hold.
long TrackNumber(const std::string& rest)
{
    constexpr std::uint64_t kMaxTrack = 99;
    std::size_t pos = 0;
    const std::optional<std::uint64_t> value = ScanDigits(rest, pos);
    return value && *value <= kMaxTrack ? static_cast<long>(*value) : -1;
}

} // namespace

CCueImage::~CCueImage()
{
    Release();
}

void CCueImage::Release()
{
    if (!m_strFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_strFolder, ec);
        m_strFolder.clear();
    }
    if (m_nDataFd >= 0) {
        ::close(m_nDataFd);
        m_nDataFd = -1;
    }
    m_strSheet.clear();
}

bool CCueImage::Prepare(const std::string& path)
{
    Release();
    const int sheetFd = OpenRegularFile(path);
    if (sheetFd < 0)
        return false;
    std::string text;
    const bool bRead = ReadAll(sheetFd, text);
    ::close(sheetFd);
    if (!bRead)
        return false;

    // The copy names the data file "disc.bin" beside it; every other line stays as it was.
    // The reader takes one data file for the whole disc: exactly one FILE line, followed by
    // at least one TRACK line. Anything else is refused here, also because the reader would
    // open a sheet whose last FILE line has no track after it and lose that file's name (a
    // leak inside the library, shown by a program using the library alone).
    std::istringstream lines(text);
    std::string copy;
    std::optional<std::string> data;
    bool bTrackAfterFile = false;
    long nTracks = 0;
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string rest;
        const std::string word = Keyword(line, rest);
        if (word == "TRACK") {
            // The reader indexes its track table by the sheet's numbers: a first track
            // numbered high reads and writes past that table, so tracks must run 1, 2, 3...
            if (TrackNumber(rest) != ++nTracks)
                return false;
            bTrackAfterFile = data.has_value();
        }
        if (word == "FILE") {
            std::string type;
            const std::optional<std::string> name = FileName(rest, type);
            if (!name || data)
                return false;
            data = name;
            line = "FILE \"disc.bin\"" + type;
        }
        copy += line + "\r\n";
    }
    if (!data || !bTrackAfterFile)
        return false;

    const std::string dataPath =
        data->front() == kPathSeparator
            ? *data
            : JoinPath(DirectoryOf(path).value_or(std::string(".")), *data);
    m_nDataFd = OpenRegularFile(dataPath);
    if (m_nDataFd < 0)
        return false;

    std::error_code ec;
    std::string folder = (std::filesystem::temp_directory_path(ec) / "sorvane-cue-XXXXXX").string();
    if (ec || ::mkdtemp(folder.data()) == nullptr) {
        Release();
        return false;
    }
    m_strFolder = folder;
    const std::string sheet = folder + "/disc.cue";
    // The link names the file already opened and checked, so a file swapped in afterwards
    // (a FIFO) is never what the reader opens.
    std::filesystem::create_symlink("/proc/self/fd/" + std::to_string(m_nDataFd),
                                    folder + "/disc.bin", ec);
    const int out = ec ? -1 : ::open(sheet.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool bWritten =
        out >= 0 && ::write(out, copy.data(), copy.size()) == static_cast<ssize_t>(copy.size());
    const bool bClosed = out >= 0 && ::close(out) == 0;
    if (!bWritten || !bClosed) {
        Release();
        return false;
    }
    m_strSheet = sheet;
    return true;
}
