#include "base/LegacyText.h"

#include <gtest/gtest.h>

namespace {

// Catches text that names no encoding read in the wrong one: UTF-8 decoded again, code page
// 932 Japanese shown as Latin-1 letters, or Latin-1 accented words taken for kanji (one
// accented letter between Latin ones decodes as a kanji in code page 932 too).
TEST(LegacyText, Utf8ThenJapaneseCodePage932ThenLatin1)
{
    EXPECT_EQ(DecodeLegacyText("桜の歌"), "桜の歌");
    EXPECT_EQ(DecodeLegacyText("Caf\xC3\xA9"), "Café");
    EXPECT_EQ(DecodeLegacyText("\x8D\xF7\x82\xCC\x89\xCC"), "桜の歌");
    EXPECT_EQ(DecodeLegacyText("\x8F\x89\x89\xB9"), "初音") << "kanji alone, no kana";
    EXPECT_EQ(DecodeLegacyText("\x89\xCC\x8E\xE8\x96\xBC"), "歌手名");
    EXPECT_EQ(DecodeLegacyText("\x8F\x74\x82\xCC\x83\x41\x83\x8B\x83\x6F\x83\x80"), "春のアルバム");
    EXPECT_EQ(DecodeLegacyText("Caf\xE9"), "Café");
    EXPECT_EQ(DecodeLegacyText("M\xFCller"), "Müller");
    EXPECT_EQ(DecodeLegacyText("Cr\xE8me"), "Crème");
    EXPECT_EQ(DecodeLegacyText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80") << "a surrogate";
    EXPECT_EQ(DecodeLegacyText(""), "");
}

} // namespace
