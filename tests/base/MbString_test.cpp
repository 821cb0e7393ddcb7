#include "base/MbString.h"

#include <gtest/gtest.h>

namespace {

// "表" in code page 932 is 0x95 0x5C: its trail byte is the value of a backslash.
const std::string kCp932Hyo = "\x95\x5C";

TEST(MbString, Cp932TrailByteIsNeverTakenForTheCharacter)
{
    const std::string s = "C:" + kCp932Hyo + "a";
    EXPECT_EQ(MbsChr(s, '\\', CodePage::Cp932), std::string::npos);
    EXPECT_EQ(MbsRChr(s, '\\', CodePage::Cp932), std::string::npos);
    const std::string path = "C:\\" + kCp932Hyo + "\\x" + kCp932Hyo;
    EXPECT_EQ(MbsChr(path, '\\', CodePage::Cp932), 2u);
    EXPECT_EQ(MbsRChr(path, '\\', CodePage::Cp932), 5u);
}

TEST(MbString, ByteScanWouldFindTheTrailByteInCp932)
{
    // The same string read byte by byte (as UTF-8, where 0x95 starts nothing) finds it.
    const std::string s = "a" + kCp932Hyo;
    EXPECT_EQ(MbsChr(s, '\\', CodePage::Utf8), 2u);
}

TEST(MbString, Utf8MultibyteCharactersAreSteppedOverWhole)
{
    const std::string s = "/音楽/曲.mp3";
    EXPECT_EQ(MbsChr(s, '/', CodePage::Utf8), 0u);
    EXPECT_EQ(MbsRChr(s, '/', CodePage::Utf8), 7u);
    EXPECT_EQ(MbCharLength(s, 1, CodePage::Utf8), 3u);
}

TEST(MbString, ALeadByteBeforeAByteThatCannotTrailStandsAlone)
{
    // 0x2F cannot be a trail byte, so "\x95/" is a stray lead byte and a separator.
    const std::string s = "\x95/x\x95\x5C";
    EXPECT_EQ(MbCharLength(s, 0, CodePage::Cp932), 1u);
    EXPECT_EQ(MbsRChr(s, '/', CodePage::Cp932), 1u);
    EXPECT_EQ(MbsChr(s, '\\', CodePage::Cp932), std::string::npos);
}

TEST(MbString, TruncatedSequencesNeverRunPastTheEnd)
{
    EXPECT_EQ(MbCharLength("\xE3\x81", 0, CodePage::Utf8), 1u);
    EXPECT_EQ(MbCharLength("a\x95", 1, CodePage::Cp932), 1u);
    EXPECT_EQ(MbsRChr("\x95", '\\', CodePage::Cp932), std::string::npos);
}

TEST(MbString, CaseInsensitiveCompareFoldsOnlyAsciiLetters)
{
    EXPECT_EQ(MbsICmp("topmost", "TOPMOST", CodePage::Utf8), 0);
    EXPECT_NE(MbsICmp(" TOPMOST", "TOPMOST", CodePage::Utf8), 0);
    EXPECT_LT(MbsICmp("LAYOUT", "LAYOUTS", CodePage::Utf8), 0);
    // 0x82 0x61 and 0x82 0x41 are different double-byte characters whose trail bytes look
    // like 'a' and 'A': they must not compare equal.
    EXPECT_NE(MbsICmp("\x82\x61", "\x82\x41", CodePage::Cp932), 0);
    EXPECT_EQ(MbsICmp("\x82\x61x", "\x82\x61X", CodePage::Cp932), 0);
}

TEST(MbString, EndsWithNoCaseComparesTheLastBytes)
{
    EXPECT_TRUE(EndsWithNoCase("/l/Party.M3U", "m3u"));
    EXPECT_TRUE(EndsWithNoCase("listm3u", "m3u"));
    EXPECT_FALSE(EndsWithNoCase("a.m3", "m3u"));
    EXPECT_FALSE(EndsWithNoCase("ab", "m3u"));
    EXPECT_FALSE(EndsWithNoCase("", "m3u"));
}

} // namespace
