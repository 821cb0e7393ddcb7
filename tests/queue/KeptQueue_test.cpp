#include "queue/KeptQueue.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

// Catches entries changed on their way through the file: a marker, a name beginning with '#'
// (an entry after the header), a name with a line break (which cannot be kept, and the
// current index must then still name its entry).
TEST(KeptQueue, WhatIsWrittenIsReadBackEntryForEntry)
{
    CTempDir dir;
    KeptQueue kept;
    kept.entries = {"/m/a.wav", "/m/bad\nname.wav", "\\track <3>", "#hash.mp3", "/m/曲.flac"};
    kept.nCurrent = 3;
    kept.nPositionMs = 10'250;
    kept.nLengthMs = 30'000;
    ASSERT_EQ(WriteKeptQueue(dir / "q.txt", kept), 1);
    const KeptQueue back = ReadKeptQueue(dir / "q.txt");
    EXPECT_EQ(back.entries,
              (std::vector<std::string>{"/m/a.wav", "\\track <3>", "#hash.mp3", "/m/曲.flac"}));
    EXPECT_EQ(back.nCurrent, 2);
    EXPECT_EQ(back.nPositionMs, 10'250);
    EXPECT_EQ(back.nLengthMs, 30'000);
}

// Catches a damaged kept file that crashes the start, fills the queue with garbage or loses
// the entries that could be read.
TEST(KeptQueue, ADamagedFileGivesWhatCanBeRead)
{
    CTempDir dir;
    const std::string header = std::string(kKeptQueueMagic) + "\n#CURRENT=1\n#ENTRIES\n";
    EXPECT_TRUE(ReadKeptQueue(dir / "missing.txt").entries.empty());
    EXPECT_TRUE(ReadKeptQueue(dir.Write("empty.txt", "")).entries.empty());
    EXPECT_TRUE(ReadKeptQueue(dir.Write("binary.txt", std::string("\0\xff\x01\n\n\x80", 6)))
                    .entries.empty());
    EXPECT_TRUE(ReadKeptQueue(dir.Write("header-damaged.txt",
                                        std::string(kKeptQueueMagic) + "\n#CURR\n#ENTRIES\na\n"))
                    .entries.empty());

    const KeptQueue truncated = ReadKeptQueue(dir.Write("truncated.txt", header + "/a.wav\n/b.w"));
    EXPECT_EQ(truncated.entries, (std::vector<std::string>{"/a.wav", "/b.w"}));
    EXPECT_EQ(truncated.nCurrent, 1);

    const KeptQueue past = ReadKeptQueue(dir.Write("current-past-end.txt", header + "/a.wav\n"));
    EXPECT_EQ(past.nCurrent, 0) << "a current index beyond the entries";

    std::string many = header;
    for (int i = 0; i < 100'000; ++i)
        many += "/music/" + std::to_string(i) + ".wav\n";
    EXPECT_EQ(ReadKeptQueue(dir.Write("many.txt", many)).entries.size(), 100'000u);
    std::string beyond = header;
    for (std::size_t i = 0; i <= kKeptQueueMaxEntries; ++i)
        beyond += "/a\n";
    EXPECT_EQ(ReadKeptQueue(dir.Write("beyond-limit.txt", beyond)).entries.size(),
              kKeptQueueMaxEntries);

    const std::string longLine(10 * 1024 * 1024, 'x');
    const KeptQueue huge = ReadKeptQueue(dir.Write("huge-line.txt", header + longLine + "\n/b\n"));
    ASSERT_EQ(huge.entries.size(), 2u);
    EXPECT_EQ(huge.entries[1], "/b");
}
