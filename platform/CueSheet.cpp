#include "platform/CueSheet.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sys/stat.h>

namespace {

constexpr std::string_view kSpace = " \t\v\f";
constexpr off_t kLargestSheet = 1 << 20;

bool IsTrackWord(std::string_view word)
{
    constexpr std::string_view kTrack = "TRACK";
    if (word.size() != kTrack.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(word[i])) != kTrack[i])
            return false;
    }
    return true;
}

// The number at the start of text (after white space and an optional sign), as a C
// library's integer reader takes it; -1 when there is none or it is out of the track range.
long LeadingNumber(std::string_view text)
{
    std::size_t i = text.find_first_not_of(kSpace);
    if (i == std::string_view::npos)
        return -1;
    bool bNegative = false;
    if (text[i] == '+' || text[i] == '-') {
        bNegative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1000)
            return -1;
    }
    return i == firstDigit || bNegative ? -1 : value;
}

} // namespace

bool CueTracksInOrder(std::string_view sheet)
{
    long expected = 1;
    std::size_t pos = 0;
    while (pos < sheet.size()) {
        std::size_t end = sheet.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = sheet.size();
        const std::string_view line = sheet.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t first = line.find_first_not_of(kSpace);
        if (first == std::string_view::npos)
            continue;
        const std::size_t wordEnd = std::min(line.find_first_of(kSpace, first), line.size());
        if (!IsTrackWord(line.substr(first, wordEnd - first)))
            continue;
        if (LeadingNumber(line.substr(wordEnd)) != expected)
            return false;
        ++expected;
    }
    return true;
}

bool CueFileTracksInOrder(const std::string& path)
{
    struct stat st
    {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return true;
    if (st.st_size > kLargestSheet)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string sheet(static_cast<std::size_t>(st.st_size), '\0');
    in.read(sheet.data(), static_cast<std::streamsize>(sheet.size()));
    sheet.resize(static_cast<std::size_t>(in.gcount()));
    return CueTracksInOrder(sheet);
}
