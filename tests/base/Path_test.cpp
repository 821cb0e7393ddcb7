#include "base/Path.h"

#include <gtest/gtest.h>

namespace {

TEST(Path, DirectoryIsTheTextBeforeTheLastSeparator)
{
    EXPECT_EQ(DirectoryOf("/music/mix.m3u"), "/music");
    EXPECT_EQ(DirectoryOf("/mix.m3u"), "");
    EXPECT_EQ(DirectoryOf("mix.m3u"), std::nullopt);
    EXPECT_EQ(FileNameOf("/music/a.mid"), "a.mid");
    EXPECT_EQ(FileNameOf("a.mid"), "a.mid");
    EXPECT_EQ(FileNameOf("/music/"), "");
}

TEST(Path, CompletePlaylistLinesBeginWithTheSeparatorOrHoldAScheme)
{
    EXPECT_TRUE(IsCompletePlaylistLine("/x.mid"));
    EXPECT_TRUE(IsCompletePlaylistLine("http://host/x.mp3"));
    EXPECT_FALSE(IsCompletePlaylistLine("Pop/b.mp3"));
    EXPECT_FALSE(IsCompletePlaylistLine("C:x.mid"));
    EXPECT_FALSE(IsCompletePlaylistLine("\\track <2>"));
    EXPECT_FALSE(IsCompletePlaylistLine(""));
}

TEST(Path, UnderDirectoryNeedsTheSeparatorAndExactLetters)
{
    EXPECT_TRUE(IsUnderDirectory("/Music/Pop/b.mp3", "/Music"));
    EXPECT_FALSE(IsUnderDirectory("/MUSIC/Pop/b.mp3", "/Music"));
    EXPECT_FALSE(IsUnderDirectory("/Music2/x.mid", "/Music"));
    EXPECT_FALSE(IsUnderDirectory("/Music", "/Music"));
    EXPECT_TRUE(IsUnderDirectory("/a.mid", ""));
}

TEST(Path, JoinPutsOneSeparatorBetween)
{
    EXPECT_EQ(JoinPath("/lists", "b.mp3"), "/lists/b.mp3");
    EXPECT_EQ(JoinPath("", "a.mid"), "/a.mid");
    EXPECT_EQ(JoinPath("/lists", ""), "/lists/");
}

} // namespace
