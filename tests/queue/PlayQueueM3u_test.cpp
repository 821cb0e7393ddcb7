#include "queue/PlayQueue.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> Entries(const CPlayQueue& q)
{
    std::vector<std::string> all;
    for (int i = 0; i < q.GetCount(); ++i)
        all.push_back(q.GetAt(i));
    return all;
}

class M3u : public ::testing::Test
{
protected:
    CTempDir dir;
    CRecordingPrompts prompts;
    CPlayQueue queue;

    std::string Music() const { return dir / "Music"; }
};

TEST_F(M3u, EntriesUnderThePlaylistDirectoryAreWrittenRelative)
{
    for (const std::string& e : {Music() + "/a.mid", Music() + "/Pop/b.mp3", dir / "c.wav",
                                 std::string("\\track <2>"), Music() + "2/x.mid"})
        queue.Add(e);
    std::filesystem::create_directory(Music());
    ASSERT_EQ(queue.SaveM3u(Music() + "/mix.m3u"), 1);
    EXPECT_EQ(CTempDir::Read(Music() + "/mix.m3u"), "a.mid\r\nPop/b.mp3\r\n" + (dir / "c.wav") +
                                                        "\r\n\\track <2>\r\n" + Music() +
                                                        "2/x.mid\r\n");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, DirectoryPrefixComparesLettersExactly)
{
    queue.Add(dir / "MUSIC/Pop/b.mp3");
    std::filesystem::create_directory(Music());
    ASSERT_EQ(queue.SaveM3u(Music() + "/mix.m3u"), 1);
    EXPECT_EQ(CTempDir::Read(Music() + "/mix.m3u"), (dir / "MUSIC/Pop/b.mp3") + "\r\n");
}

// Also catches "<dir>//a.wav" being saved as "/a.wav", which reads back as a file at the root,
// and "<dir>/file:/e.wav" saved as "file:/e.wav", which reads back as the URI's path "/e.wav".
TEST_F(M3u, SavedQueueReadsBackWithMarkersBecomingPaths)
{
    const std::vector<std::string> original = {Music() + "/a.mid",  Music() + "/Pop/b.mp3",
                                               "/elsewhere/c.wav",  "\\track <2>",
                                               Music() + "//d.wav", Music() + "/file:/e.wav"};
    for (const std::string& e : original)
        queue.Add(e);
    std::filesystem::create_directory(Music());
    ASSERT_EQ(queue.SaveM3u(Music() + "/mix.m3u"), 1);

    CPlayQueue back;
    back.Add(Music() + "/mix.m3u");
    std::vector<std::string> expected = original;
    expected[3] = Music() + "/\\track <2>";
    EXPECT_EQ(Entries(back), expected);
}

TEST_F(M3u, SavingAnEmptyQueueLeavesAnEmptyFile)
{
    const std::string path = dir.Write("old.m3u", "something\r\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    ASSERT_EQ(queue.SaveM3u(path), 1);
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    // Catches a replacement file that keeps the temporary file's own permissions.
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(M3u, PathWithoutASeparatorTouchesNothing)
{
    queue.Add("/a.mid");
    EXPECT_EQ(queue.SaveM3u("mix.m3u"), 0);
    queue.LoadM3u("mix.m3u");
    EXPECT_EQ(queue.GetCount(), 1);
    EXPECT_FALSE(std::filesystem::exists("mix.m3u"));
}

TEST_F(M3u, FileThatCannotBeCreatedIsAFailure)
{
    // Catches a save that reports success for a file it never wrote.
    queue.Add("/a.mid");
    EXPECT_EQ(queue.SaveM3u(dir / "no-such-dir/mix.m3u"), 0);
    EXPECT_EQ(queue.SaveM3u(dir.Path() + "/"), 0);
    EXPECT_TRUE(prompts.messages.empty()) << "the playlist window tells the user";
}

TEST_F(M3u, WriteErrorLeavesTheEarlierFileIntact)
{
    // Catches a save that cuts the old playlist and leaves half a new one.
    queue.Add(std::string(100, 'a'));
    queue.Add(std::string(100, 'b'));
    const std::string path = dir.Write("mix.m3u", "/old.mid\r\n");
    {
        const CFileSizeLimit limit(150);
        EXPECT_EQ(queue.SaveM3u(path), 0);
    }
    EXPECT_EQ(CTempDir::Read(path), "/old.mid\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "the temporary file is removed";
}

TEST_F(M3u, RelativeLinesAreJoinedToThePlaylistDirectory)
{
    const std::string lists = dir / "Lists";
    const std::string path =
        dir.Write("Lists/l.m3u", "Pop/b.mp3\n/x.mid\n\\x.mid\nC:x.mid\n"
                                 "http://host/s.mp3\n\n#EXTM3U\n#EXTINF:3,T\n a b \n");
    queue.Add(path);
    // Blank and '#' lines are no entries: catches "#EXTM3U" taken for a missing playlist and
    // "#EXTINF" lines becoming entries that fail when played.
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{lists + "/Pop/b.mp3", "/x.mid",
                                                        lists + "/\\x.mid", lists + "/C:x.mid",
                                                        "http://host/s.mp3", lists + "/ a b "}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, LinesMayEndInLfOrCrLfAndTheLastNeedsNoEnd)
{
    queue.Add(dir.Write("l.m3u", "/a\r\n/b\n/c\r\r\n/d"));
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{"/a", "/b", "/c\r", "/d"}));
}

// Catches another player's .m3u8 queued as an audio file, its byte-order mark turning the
// header into an entry, and file: URIs left encoded so that no entry plays.
TEST_F(M3u, AnExtendedUtf8PlaylistOfFileUrisLoadsEveryEntry)
{
    const std::string path =
        dir.Write("qmmp.m3u8",
                  "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:61,A - B\r\nfile:///music/caf%C3%A9%20one.mp3\r\n"
                  "#EXTINF:5,C\r\nfile://localhost/music/two%2525.wav\r\n"
                  "file://otherhost/three.mp3\r\nfile:///bad%zz.mp3\r\nfile:///a%0Ab.mp3\r\n/music/"
                  "four.mid\r\n");
    queue.Add(path);
    EXPECT_EQ(Entries(queue),
              (std::vector<std::string>{"/music/caf\xC3\xA9 one.mp3", "/music/two%25.wav",
                                        "file://otherhost/three.mp3", "file:///bad%zz.mp3",
                                        "file:///a%0Ab.mp3", "/music/four.mid"}));
    // A .m3u with a byte-order mark reads the same way.
    CPlayQueue other;
    other.Add(dir.Write("bom.m3u", "\xEF\xBB\xBF/music/a.mp3\n"));
    EXPECT_EQ(Entries(other), std::vector<std::string>{"/music/a.mp3"});
    // Without the mark, a line in code page 932 or Latin-1 is read as such.
    CPlayQueue legacy;
    legacy.Add(dir.Write("cp932.m3u", "/music/\x89\xC4\x82\xCC\x96\xE9.mp3\n/music/Caf\xE9.mp3\n"));
    EXPECT_EQ(Entries(legacy), (std::vector<std::string>{"/music/夏の夜.mp3", "/music/Café.mp3"}));
}

// Catches a CUE sheet queued as one unplayable entry instead of one entry per track, tracks
// shown by the sheet's file name instead of their titles, track entries that do not come
// back from a saved playlist (or come back nameless), and a sheet naming a missing file or
// a CD image split into tracks that cannot play.
TEST_F(M3u, ACueSheetQueuesItsTracksByTitleAndTheyComeBackFromAPlaylist)
{
    dir.Write("album.flac", "audio");
    const std::string sheet = dir.Write(
        "album.cue", "FILE \"album.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"First\"\n"
                     "INDEX 01 00:00:00\nTRACK 02 AUDIO\nTITLE \"Second\"\nINDEX 01 00:02:00\n"
                     "TRACK 03 AUDIO\nINDEX 01 00:04:00\n");
    queue.Add(sheet);
    const std::vector<std::string> tracks = {sheet + "#1", sheet + "#2", sheet + "#3"};
    ASSERT_EQ(Entries(queue), tracks);
    EXPECT_EQ(queue.GetDisplayName(0), "First");
    EXPECT_EQ(queue.GetDisplayName(2), "Track 3");

    ASSERT_EQ(queue.SaveM3u(dir / "mix.m3u"), 1);
    EXPECT_EQ(CTempDir::Read(dir / "mix.m3u"), "album.cue#1\r\nalbum.cue#2\r\nalbum.cue#3\r\n");
    CPlayQueue back;
    back.Add(dir / "mix.m3u");
    EXPECT_EQ(Entries(back), tracks);
    EXPECT_EQ(back.GetDisplayName(1), "Second");

    CPlayQueue refused;
    const std::string missing = dir.Write("missing.cue", "FILE \"gone.flac\" WAVE\nTRACK 01 AUDIO\n"
                                                         "INDEX 01 00:00:00\n");
    dir.Write("disc.bin", std::string(2352, '\0'));
    const std::string image =
        dir.Write("disc.cue", "FILE \"disc.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n");
    refused.Add(missing);
    refused.Add(image);
    EXPECT_EQ(Entries(refused), (std::vector<std::string>{missing, image}));
}

TEST_F(M3u, EmptyFileAddsNothing)
{
    queue.Add(dir.Write("empty.m3u", ""));
    EXPECT_EQ(queue.GetCount(), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, ReadingAppendsAndKeepsTheCurrentIndex)
{
    queue.Add("/first");
    queue.Add("/second");
    queue.SetCurrent(1);
    queue.Add(dir.Write("l.m3u", "/third\n"));
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{"/first", "/second", "/third"}));
    EXPECT_EQ(queue.GetCurrent(), 1);
}

TEST_F(M3u, NestedPlaylistsExpandInPlaceAgainstTheirOwnDirectory)
{
    dir.Write("inner/in.m3u", "x.mid\ny.mid\n");
    queue.Add(dir.Write("outer.m3u", "a.mid\ninner/in.m3u\nb.mid\n"));
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{dir / "a.mid", dir / "inner/x.mid",
                                                        dir / "inner/y.mid", dir / "b.mid"}));
}

TEST_F(M3u, SelfReferencingPlaylistIsReadOnce)
{
    queue.Add(dir.Write("self.m3u", "a.mid\nself.m3u\n./self.m3u\nb.mid\n"));
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{dir / "a.mid", dir / "b.mid"}));
}

TEST_F(M3u, PlaylistLoopThroughOthersIsReadOnceEach)
{
    dir.Write("a.m3u", "1.mid\nb.m3u\n");
    dir.Write("b.m3u", "2.mid\na.m3u\n3.mid\n");
    queue.Add(dir / "a.m3u");
    EXPECT_EQ(Entries(queue),
              (std::vector<std::string>{dir / "1.mid", dir / "2.mid", dir / "3.mid"}));
}

TEST_F(M3u, DeepChainsOfPlaylistsStopAtTheDepthLimit)
{
    const int files = CPlayQueue::kMaxPlaylistDepth + 5;
    for (int i = 0; i < files; ++i)
        dir.Write("p" + std::to_string(i) + ".m3u",
                  std::to_string(i) + ".mid\np" + std::to_string(i + 1) + ".m3u\n");
    queue.Add(dir / "p0.m3u");
    EXPECT_EQ(queue.GetCount(), CPlayQueue::kMaxPlaylistDepth);
    EXPECT_EQ(queue.GetAt(0), dir / "0.mid");
}

TEST_F(M3u, AMasterPlaylistOfThreeHundredAlbumsLoadsThemAll)
{
    // Catches a cap on playlist reads that silently drops albums of a real library.
    std::string master;
    for (int i = 0; i < 300; ++i) {
        dir.Write("album" + std::to_string(i) + ".m3u", std::to_string(i) + ".mid\n");
        master += "album" + std::to_string(i) + ".m3u\n";
    }
    queue.Add(dir.Write("master.m3u", master));
    EXPECT_EQ(queue.GetCount(), 300);
    EXPECT_EQ(queue.GetAt(299), dir / "299.mid");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, PlaylistsNamingEachOtherManyTimesStopAtTheLineBudgetSayingSoOnce)
{
    // Catches an expansion without end, or one message per file cut short.
    struct CSmallBudgetQueue : CPlayQueue
    {
        CSmallBudgetQueue() { m_nLineBudget = 1000; }
    } small;
    // Sixteen files, each naming the next four times: without a budget 4^15 expansions.
    for (int i = 0; i < 16; ++i) {
        std::string text = std::to_string(i) + ".mid\n";
        for (int k = 0; k < 4; ++k)
            text += "p" + std::to_string(i + 1) + ".m3u\n";
        dir.Write("p" + std::to_string(i) + ".m3u", text);
    }
    small.Add(dir / "p0.m3u");
    const int count = small.GetCount();
    EXPECT_GE(count, 200) << "at least one entry in every five lines read";
    EXPECT_LE(count, 1000) << "no more lines than the budget";
    EXPECT_EQ(small.GetAt(0), dir / "0.mid");
    EXPECT_EQ(prompts.messages, std::vector<std::string>{CPlayQueue::kTooManyLinesText});

    small.Add(dir / "p15.m3u");
    EXPECT_EQ(small.GetCount(), count + 1) << "a new expansion starts a new count";
}

TEST_F(M3u, FifoNamedLikeAPlaylistIsPassedOverWithoutWaiting)
{
    const std::string fifo = dir / "pipe.m3u";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    queue.Add(fifo);
    EXPECT_EQ(queue.GetCount(), 0);
    queue.Add("/a.mid");
    EXPECT_EQ(queue.SaveM3u(fifo), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, DirectoryNamedLikeAPlaylistAddsNothing)
{
    std::filesystem::create_directory(dir / "folder.m3u");
    queue.Add(dir / "folder.m3u");
    EXPECT_EQ(queue.GetCount(), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, UnreadableFileAddsNothingSilently)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string path = dir.Write("locked.m3u", "/a.mid\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    queue.Add(path);
    EXPECT_EQ(queue.GetCount(), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, BinaryFileBecomesEntriesWithoutHarm)
{
    std::string bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.push_back(static_cast<char>((i * 131) & 0xFF));
    queue.Add(dir.Write("noise.m3u", bytes));
    EXPECT_GT(queue.GetCount(), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(M3u, TenMegabyteLineWithoutLineEndIsOneEntry)
{
    queue.Add(dir.Write("long.m3u", "/" + std::string(10 * 1024 * 1024, 'x')));
    ASSERT_EQ(queue.GetCount(), 1);
    EXPECT_EQ(queue.GetAt(0).size(), 10u * 1024 * 1024 + 1);
}

} // namespace
