#include "media/MediaTags.h"

#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// An ID3v2.3 tag whose title, artist and album frames are marked Latin-1 and hold bytes.
std::string Id3v2Latin1(const std::string& title, const std::string& artist,
                        const std::string& album)
{
    std::string frames;
    for (const auto& [id, text] : {std::pair{"TIT2", title}, {"TPE1", artist}, {"TALB", album}}) {
        const std::size_t size = text.size() + 1;
        frames += id;
        frames += {'\0', '\0', static_cast<char>(size >> 8), static_cast<char>(size & 0xFF)};
        frames += {'\0', '\0', '\0'}; // flags, then the encoding byte: Latin-1
        frames += text;
    }
    const std::size_t size = frames.size();
    std::string tag = "ID3\x03";
    tag += {'\0',
            '\0',
            '\0',
            '\0',
            static_cast<char>((size >> 7) & 0x7F),
            static_cast<char>(size & 0x7F)};
    return tag + frames;
}

// An ID3v1 tag: fields padded with zero bytes.
std::string Id3v1(const std::string& title, const std::string& artist, const std::string& album)
{
    auto field = [](std::string text, std::size_t size) {
        text.resize(size, '\0');
        return text;
    };
    return "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field("", 4 + 30) +
           std::string(1, '\xFF');
}

// Catches ID3v2 frames marked Latin-1 and ID3v1 tags holding code page 932 bytes shown as
// Latin-1 letters, and Latin-1 accented words in an ID3v1 tag taken for Japanese.
TEST(MediaTags, TextsWithoutAnEncodingAreReadByTheLegacyRule)
{
    CTempDir dir;
    Mp3Tone tone;
    tone.dSeconds = 0.2;
    const std::string audio = EncodeMp3(tone);
    ASSERT_FALSE(audio.empty());

    const MediaTags v2 = ReadMediaTags(
        dir.Write("v2.mp3", Id3v2Latin1("\x8D\xF7\x82\xCC\x89\xCC", "\x8F\x89\x89\xB9",
                                        "\x8F\x74\x82\xCC\x83\x41\x83\x8B\x83\x6F\x83\x80") +
                                audio));
    EXPECT_EQ(v2.strTitle, "桜の歌");
    EXPECT_EQ(v2.strArtist, "初音");
    EXPECT_EQ(v2.strAlbum, "春のアルバム");

    const MediaTags v1 = ReadMediaTags(
        dir.Write("v1.mp3", audio + Id3v1("\x89\xC4\x82\xCC\x96\xE9", "\x89\xCC\x8E\xE8\x96\xBC",
                                          "\x89\xC4\x82\xCC\x83\x41\x83\x8B\x83\x6F\x83\x80")));
    EXPECT_EQ(v1.strTitle, "夏の夜");
    EXPECT_EQ(v1.strArtist, "歌手名");
    EXPECT_EQ(v1.strAlbum, "夏のアルバム");

    const MediaTags latin1 =
        ReadMediaTags(dir.Write("l1.mp3", audio + Id3v1("Caf\xE9", "M\xFCller", "Cr\xE8me")));
    EXPECT_EQ(latin1.strTitle, "Café");
    EXPECT_EQ(latin1.strArtist, "Müller");
    EXPECT_EQ(latin1.strAlbum, "Crème");
}

} // namespace
