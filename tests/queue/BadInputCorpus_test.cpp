#include "queue/PlayQueue.h"

#include "tests/support/BadInputCorpus.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

// Catches a bad playlist (loops, deep nesting, a FIFO, a directory, NUL bytes, a 1 MB line)
// that crashes, hangs or leaks the reader, or that loses the good entries around it.
TEST(BadInputCorpus, EveryBadPlaylistIsReadQuietlyForWhatItHolds)
{
    CTempDir dir;
    CRecordingPrompts prompts;
    for (const BadInput& input : WriteBadInputCorpus(dir.Path())) {
        if (input.kind != BadInputKind::Playlist)
            continue;
        SCOPED_TRACE(BadInputName(input));
        CPlayQueue queue;
        EXPECT_EQ(queue.Add(input.path), 1);
        if (input.outcome == BadInputOutcome::Accepted)
            EXPECT_GT(queue.GetCount(), 0);
        else if (input.outcome == BadInputOutcome::Refused)
            EXPECT_EQ(queue.GetCount(), 0);
    }
    EXPECT_TRUE(prompts.messages.empty());
}
