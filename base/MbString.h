#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Byte strings in a multibyte code page, searched character by character so that the
// trail byte of a double-byte character is never mistaken for an ASCII character (in
// code page 932 a trail byte may equal '\\' or a letter).

enum class CodePage {
    Utf8,
    Cp932,
};

// The code page of the running process: the locale's, which on Linux is UTF-8.
CodePage ActiveCodePage();

// Byte length of the character that starts at s[pos] (1 for ASCII and for bytes that do
// not start a valid sequence; never runs past the end of s).
std::size_t MbCharLength(std::string_view s, std::size_t pos, CodePage cp);

// First/last byte offset at which the single-byte character c stands as a whole
// character, or std::string_view::npos.
std::size_t MbsChr(std::string_view s, char c, CodePage cp = ActiveCodePage());
std::size_t MbsRChr(std::string_view s, char c, CodePage cp = ActiveCodePage());

// Comparison without regard to ASCII letter case, multibyte characters compared whole
// (their bytes are never case-folded). Returns <0, 0 or >0 like strcmp.
int MbsICmp(std::string_view a, std::string_view b, CodePage cp = ActiveCodePage());

// s with the ASCII letters in capitals; every other byte, multibyte characters' included, as
// it is.
std::string AsciiUpper(std::string_view s);

// True when the last n bytes of s (all of s when shorter) equal suffix without regard to
// ASCII letter case. Bytes are compared one by one, as a byte-counting test does.
bool EndsWithNoCase(std::string_view s, std::string_view suffix);
