#include "base/MbString.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace {

unsigned char Byte(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

bool IsCp932Lead(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsCp932Trail(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

std::size_t Utf8Length(std::string_view s, std::size_t pos)
{
    const unsigned char b = Byte(s, pos);
    std::size_t want = 1;
    if (b >= 0xC2 && b <= 0xDF)
        want = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        want = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        want = 4;
    if (pos + want > s.size())
        return 1;
    for (std::size_t i = 1; i < want; ++i)
        if ((Byte(s, pos + i) & 0xC0) != 0x80)
            return 1;
    return want;
}

// An ASCII byte is never part of a UTF-8 multibyte character, and a byte below 0x40 is never
// the trail byte of a code page 932 character: such characters can be found byte by byte.
bool IsWholeCharacterByte(char c, CodePage cp)
{
    const auto b = static_cast<unsigned char>(c);
    return cp == CodePage::Utf8 ? b < 0x80 : b < 0x40;
}

int FoldAscii(unsigned char b)
{
    return (b >= 'a' && b <= 'z') ? b - 'a' + 'A' : b;
}

} // namespace

CodePage ActiveCodePage()
{
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr &&
        (std::strcmp(codeset, "SHIFT_JIS") == 0 || std::strcmp(codeset, "CP932") == 0 ||
         std::strcmp(codeset, "SJIS") == 0))
        return CodePage::Cp932;
    return CodePage::Utf8;
}

std::size_t MbCharLength(std::string_view s, std::size_t pos, CodePage cp)
{
    if (pos >= s.size())
        return 1;
    if (cp == CodePage::Utf8)
        return Utf8Length(s, pos);
    return (IsCp932Lead(Byte(s, pos)) && pos + 1 < s.size() && IsCp932Trail(Byte(s, pos + 1))) ? 2
                                                                                               : 1;
}

std::size_t MbsChr(std::string_view s, char c, CodePage cp)
{
    if (IsWholeCharacterByte(c, cp))
        return s.find(c);
    for (std::size_t i = 0; i < s.size(); i += MbCharLength(s, i, cp))
        if (s[i] == c)
            return i;
    return std::string_view::npos;
}

std::size_t MbsRChr(std::string_view s, char c, CodePage cp)
{
    if (IsWholeCharacterByte(c, cp))
        return s.rfind(c);
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += MbCharLength(s, i, cp))
        if (s[i] == c)
            found = i;
    return found;
}

int MbsICmp(std::string_view a, std::string_view b, CodePage cp)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::size_t la = MbCharLength(a, i, cp);
        const std::size_t lb = MbCharLength(b, j, cp);
        if (la == 1 && lb == 1) {
            const int d = FoldAscii(Byte(a, i)) - FoldAscii(Byte(b, j));
            if (d != 0)
                return d;
        } else {
            const int d = a.substr(i, la).compare(b.substr(j, lb));
            if (d != 0)
                return d;
        }
        i += la;
        j += lb;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix)
{
    const std::string_view tail = s.size() > suffix.size() ? s.substr(s.size() - suffix.size()) : s;
    if (tail.size() != suffix.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (FoldAscii(Byte(tail, i)) != FoldAscii(Byte(suffix, i)))
            return false;
    return true;
}

std::string AsciiUpper(std::string_view s)
{
    std::string upper(s);
    for (char& c : upper)
        c = static_cast<char>(FoldAscii(static_cast<unsigned char>(c)));
    return upper;
}
