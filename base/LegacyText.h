#pragma once

#include <string>
#include <string_view>

// The one rule for text that carries no word on its encoding: ID3v1 tags, ID3v2 frames
// marked Latin-1, CUE sheets and playlists without a byte-order mark. Such text is taken as
// UTF-8 when it is valid UTF-8; otherwise as code page 932 when it decodes as such to
// Japanese text; else as Latin-1, which every byte string is. Usable from any thread.

// Whether text is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Whether text, read as code page 932, is Japanese: it decodes without a fault and either
// holds kana, or holds a character whose lead byte (0x81-0x9F) would be a control character
// in Latin-1 text. One stray accented letter between Latin letters is not taken for a kanji.
bool IsCp932Japanese(std::string_view text);

// text in UTF-8 by the rule above.
std::string DecodeLegacyText(std::string_view text);
