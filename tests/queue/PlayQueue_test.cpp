#include "queue/PlayQueue.h"

#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

// How many of the next allocations in this test program fail with std::bad_alloc.
std::atomic<int> g_nFailingAllocations{0};
// While not 0, every allocation of at least this many bytes fails.
std::atomic<std::size_t> g_nFailingFromBytes{0};

} // namespace

void* operator new(std::size_t n)
{
    int pending = g_nFailingAllocations.load();
    while (pending > 0)
        if (g_nFailingAllocations.compare_exchange_weak(pending, pending - 1))
            throw std::bad_alloc();
    if (const std::size_t from = g_nFailingFromBytes.load(); from != 0 && n >= from)
        throw std::bad_alloc();
    if (void* p = std::malloc(n == 0 ? 1 : n))
        return p;
    throw std::bad_alloc();
}
// The no-throw form is replaced too, so that what it allocates meets the delete above (a
// sanitizer's own no-throw form would not, and a plug-in's nothrow new would then be freed
// by the wrong hand).
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

CPlayQueue Queue(std::initializer_list<const char*> entries, int current = 0)
{
    CPlayQueue q;
    for (const char* e : entries)
        q.Add(e);
    q.SetCurrent(current);
    return q;
}

TEST(PlayQueueStepping, NextWrapsFromTheLastEntryToTheFirst)
{
    CPlayQueue q = Queue({"E0", "E1", "E2"}, 2);
    EXPECT_EQ(q.Next(), "E0");
    EXPECT_EQ(q.GetCurrent(), 0);
    EXPECT_EQ(q.Next(), "E1");
    EXPECT_EQ(q.GetCurrent(), 1);
}

TEST(PlayQueueStepping, PreviousStopsAtTheFirstEntry)
{
    CPlayQueue q = Queue({"E0", "E1", "E2"}, 1);
    EXPECT_EQ(q.Previous(), "E0");
    EXPECT_EQ(q.Previous(), "E0");
    EXPECT_EQ(q.GetCurrent(), 0);
}

TEST(PlayQueueStepping, EmptyQueueGivesEmptyTextsAndNoLast)
{
    CPlayQueue q;
    EXPECT_EQ(q.Next(), "");
    EXPECT_EQ(q.Previous(), "");
    EXPECT_EQ(q.GetCurrent(), 0);
    EXPECT_EQ(q.IsLast(), 0);
    EXPECT_EQ(q.GetAt(0), "");
}

TEST(PlayQueueStepping, SingleEntryIsLastAndNextReturnsItAgain)
{
    CPlayQueue q = Queue({"only"});
    EXPECT_EQ(q.IsLast(), 1);
    EXPECT_EQ(q.Next(), "only");
    EXPECT_EQ(q.GetCurrent(), 0);
}

TEST(PlayQueueStepping, RemovalLeavesTheCurrentIndexOnePastTheEnd)
{
    CPlayQueue q = Queue({"E0", "E1", "E2"}, 2);
    EXPECT_EQ(q.RemoveAt(0), 1);
    EXPECT_EQ(q.GetCurrent(), 2);
    EXPECT_EQ(q.IsLast(), 0);
    EXPECT_EQ(q.GetAt(q.GetCurrent()), "");

    CPlayQueue forward = q;
    EXPECT_EQ(forward.Next(), "E1");
    EXPECT_EQ(forward.GetCurrent(), 0);

    EXPECT_EQ(q.Previous(), "E2");
    EXPECT_EQ(q.GetCurrent(), 1);
}

TEST(PlayQueueStepping, PreviousFromFarBeyondTheEndStepsToTheLastEntry)
{
    CPlayQueue q = Queue({"E0", "E1", "E2", "E3", "E4"}, 4);
    q.RemoveAt(0);
    q.RemoveAt(0);
    q.RemoveAt(0);
    ASSERT_EQ(q.GetCurrent(), 4);
    EXPECT_EQ(q.Previous(), "E4");
    EXPECT_EQ(q.GetCurrent(), 1);
}

TEST(PlayQueueIndexes, OutOfRangeIndexesChangeNothing)
{
    CPlayQueue q = Queue({"E0", "E1", "E2"}, 1);
    EXPECT_EQ(q.RemoveAt(-1), 0);
    EXPECT_EQ(q.RemoveAt(3), 0);
    EXPECT_EQ(q.Swap(0, 5), 0);
    EXPECT_EQ(q.Swap(-1, 0), 0);
    EXPECT_EQ(q.SetCurrent(-1), 0);
    EXPECT_EQ(q.SetCurrent(3), 0);
    EXPECT_EQ(q.GetAt(3), "");
    EXPECT_EQ(q.GetDisplayName(-1), "");
    EXPECT_EQ(q.GetCount(), 3);
    EXPECT_EQ(q.GetCurrent(), 1);
    EXPECT_EQ(q.GetAt(0), "E0");
}

TEST(PlayQueueIndexes, SwapExchangesTextsButNotTheCurrentIndex)
{
    CPlayQueue q = Queue({"E0", "E1", "E2"});
    EXPECT_EQ(q.Swap(1, 1), 1);
    EXPECT_EQ(q.GetAt(1), "E1");
    EXPECT_EQ(q.Swap(0, 2), 1);
    EXPECT_EQ(q.GetAt(0), "E2");
    EXPECT_EQ(q.GetAt(2), "E0");
    EXPECT_EQ(q.GetCurrent(), 0);
}

TEST(PlayQueueIndexes, ClearResetsCountAndCurrent)
{
    CPlayQueue q = Queue({"a", "b", "c", "d", "e", "f"}, 5);
    EXPECT_EQ(q.Clear(), 1);
    EXPECT_EQ(q.GetCount(), 0);
    EXPECT_EQ(q.GetCurrent(), 0);
}

TEST(PlayQueueAdd, ShortTextsAndNonPlaylistsAreAppended)
{
    CPlayQueue q;
    EXPECT_EQ(q.Add("ab"), 1);
    EXPECT_EQ(q.Add("/music/a.mid"), 1);
    EXPECT_EQ(q.Add("/music/a.m3"), 1);
    EXPECT_EQ(q.Add(""), 1);
    EXPECT_EQ(q.GetCount(), 4);
    EXPECT_EQ(q.GetAt(2), "/music/a.m3");
    EXPECT_EQ(q.GetDisplayName(3), "");
}

TEST(PlayQueueAdd, AMissingPlaylistAddsNothingAndSaysNothing)
{
    CRecordingPrompts prompts;
    CPlayQueue q;
    EXPECT_EQ(q.Add("/no/such/Party.M3U"), 1);
    EXPECT_EQ(q.Add("/no/such/listm3u"), 1);
    EXPECT_EQ(q.GetCount(), 0);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(PlayQueueAdd, OutOfMemoryIsReportedAndLeavesTheQueueAsItWas)
{
    CRecordingPrompts prompts;
    CPlayQueue q = Queue({"E0", "E1"}, 1);
    const std::string entry(200, 'x');
    g_nFailingAllocations = 1;
    EXPECT_EQ(q.Add(entry), 0);
    g_nFailingAllocations = 0;
    EXPECT_EQ(prompts.messages, std::vector<std::string>{CPlayQueue::kOutOfMemoryText});
    EXPECT_EQ(q.GetCount(), 2);
    EXPECT_EQ(q.GetAt(1), "E1");
    EXPECT_EQ(q.GetCurrent(), 1);
    EXPECT_EQ(q.Add(entry), 1);
    EXPECT_EQ(q.GetAt(2), entry);
}

// Catches a folder queued as a file (the engine then calls it invalid and stops), files left
// out or in the walk's order, playlists and other files taken, a link back to a folder above
// walked without end, and a huge folder walked to its end.
TEST(PlayQueueAdd, AFolderAddsItsPlayableFilesSortedByNameSubfoldersToo)
{
    const CTempDir dir;
    const std::string music = dir / "music";
    for (const char* name : {"b.wav", "sub/c.flac", "a.MP3", "c.ogg", "notes.txt", "list.m3u",
                             "sub/deeper/d.opus", "mp3", "e.m4a"})
        dir.Write(std::string("music/") + name, "x");
    std::filesystem::create_directory(music + "/empty.wav");
    std::filesystem::create_directory_symlink(music, music + "/sub/loop");
    CRecordingPrompts prompts;
    CPlayQueue q = Queue({"first.mid"});
    EXPECT_EQ(q.Add(music), 1);
    std::vector<std::string> entries;
    for (int i = 0; i < q.GetCount(); ++i)
        entries.push_back(q.GetAt(i));
    EXPECT_EQ(entries, (std::vector<std::string>{
                           "first.mid", music + "/a.MP3", music + "/b.wav", music + "/c.ogg",
                           music + "/e.m4a", music + "/sub/c.flac", music + "/sub/deeper/d.opus"}));
    EXPECT_TRUE(prompts.messages.empty());

    struct CSmallBudgetQueue : CPlayQueue
    {
        CSmallBudgetQueue() { m_nLineBudget = 3; }
    } small;
    small.Add(music);
    EXPECT_LE(small.GetCount(), 3);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{CPlayQueue::kTooManyFilesText});
}

// Catches one out-of-memory box per remaining line of a playlist (hundreds of thousands of
// modal boxes for a huge one) instead of one report that ends the expansion.
TEST(PlayQueueAdd, OutOfMemoryWhileExpandingAPlaylistIsReportedOnceAndEndsIt)
{
    const CTempDir dir;
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "/m/" + std::to_string(i) + ".wav\n";
    const std::string inner = dir.Write("inner.m3u", lines);
    const std::string outer = dir.Write("outer.m3u", lines + inner + "\n" + lines);
    CRecordingPrompts prompts;
    CPlayQueue q;
    // The entries' vector grows past 64 strings with an allocation of 4 KiB, which fails;
    // the reader's own buffers come from malloc.
    g_nFailingFromBytes = 64 * sizeof(std::string) * 2;
    q.Add(outer);
    g_nFailingFromBytes = 0;
    EXPECT_EQ(prompts.messages, std::vector<std::string>{CPlayQueue::kOutOfMemoryText});
    EXPECT_EQ(q.GetCount(), 64);
    q.Add(outer);
    EXPECT_EQ(q.GetCount(), 64 + 300);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST(PlayQueueDisplayName, IsTheTextAfterTheLastSeparator)
{
    CPlayQueue q = Queue({"/music/a.mid", "a.mid", "\\track <12>", "/music/"});
    EXPECT_EQ(q.GetDisplayName(0), "a.mid");
    EXPECT_EQ(q.GetDisplayName(1), "a.mid");
    EXPECT_EQ(q.GetDisplayName(2), "track <12>");
    EXPECT_EQ(q.GetDisplayName(3), "");
    EXPECT_EQ(q.GetDisplayName(4), "");
}

TEST(PlayQueueDisplayName, MultibyteNamesAreCutOnlyAtARealSeparator)
{
    CPlayQueue q = Queue({"/音楽/曲名.mp3"});
    EXPECT_EQ(q.GetDisplayName(0), "曲名.mp3");
    // A code page 932 name whose trail byte is 0x5C, the value of a backslash.
    q.Add("/music/\x95\x5C.mid");
    EXPECT_EQ(q.GetDisplayName(1), "\x95\x5C.mid");
}

} // namespace
