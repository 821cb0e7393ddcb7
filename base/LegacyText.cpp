#include "base/LegacyText.h"

#include <QString>

#include <cerrno>
#include <iconv.h>

namespace {

// The converter's name of code page 932 (glibc's iconv).
constexpr const char* kCp932Name = "CP932";

bool InRange(unsigned char byte, unsigned char low, unsigned char high)
{
    return byte >= low && byte <= high;
}

// text read as code page 932, in UTF-8; false when a byte sequence is not a character there.
bool Cp932ToUtf8(std::string_view text, std::string& out)
{
    iconv_t cd = ::iconv_open("UTF-8", kCp932Name);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign(text.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    ::iconv_close(cd);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0)
        return false;
    out.resize(out.size() - outLeft);
    return true;
}

// Whether the UTF-8 text holds a hiragana or full-width katakana character (U+3040-U+30FF,
// whose UTF-8 forms are E3 81 80 to E3 83 BF).
bool HoldsKana(std::string_view utf8)
{
    for (std::size_t i = 0; i + 2 < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const auto second = static_cast<unsigned char>(utf8[i + 1]);
        if (lead == 0xE3 && InRange(second, 0x81, 0x83))
            return true;
    }
    return false;
}

// IsCp932Japanese, with the text in UTF-8 in decoded when it is.
bool Cp932Japanese(std::string_view text, std::string& decoded)
{
    if (!Cp932ToUtf8(text, decoded))
        return false;
    if (HoldsKana(decoded))
        return true;
    // A double-byte character whose lead byte Latin-1 gives to a control character.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (InRange(byte, 0x81, 0x9F))
            return true;
        if (InRange(byte, 0xE0, 0xFC))
            ++i; // a lead byte of the upper range: its trail byte is no lead byte
    }
    return false;
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        // The range of the second byte narrows for E0, ED, F0 and F4: no overlong forms, no
        // surrogates, nothing past U+10FFFF.
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (InRange(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (InRange(lead, 0xF0, 0xF4)) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (k == 1 ? !InRange(byte, low, high) : !InRange(byte, 0x80, 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

bool IsCp932Japanese(std::string_view text)
{
    std::string decoded;
    return Cp932Japanese(text, decoded);
}

std::string DecodeLegacyText(std::string_view text)
{
    if (IsValidUtf8(text))
        return std::string(text);
    std::string decoded;
    if (Cp932Japanese(text, decoded))
        return decoded;
    return QString::fromLatin1(text.data(), qsizetype(text.size())).toStdString();
}
