#include "media/CueText.h"

#include "base/MbString.h"
#include "base/ScanInt.h"

#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

bool ReadCueSheetBytes(const std::string& path, std::string& text)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0)
        return false;
    text.clear();
    char buffer[4096];
    bool bRead = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            bRead = n == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > static_cast<std::size_t>(kMaxCueSheetBytes))
            break;
    }
    ::close(fd);
    return bRead;
}

std::string CueKeyword(const std::string& line, std::string& rest)
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

std::optional<std::string> CueWord(const std::string& rest, std::string& after)
{
    std::size_t end = 0;
    std::string word;
    if (!rest.empty() && rest.front() == '"') {
        end = rest.find('"', 1);
        if (end == std::string::npos)
            return std::nullopt;
        word = rest.substr(1, end - 1);
        ++end;
    } else {
        end = rest.find_first_of(" \t");
        if (end == std::string::npos)
            end = rest.size();
        word = rest.substr(0, end);
    }
    after = rest.substr(end);
    if (word.empty())
        return std::nullopt;
    return word;
}

long CueTrackNumber(const std::string& rest)
{
    std::size_t pos = 0;
    const std::optional<std::uint64_t> value = ScanDigits(rest, pos);
    return value && *value <= static_cast<std::uint64_t>(kMaxCueTrack) ? static_cast<long>(*value)
                                                                       : -1;
}
