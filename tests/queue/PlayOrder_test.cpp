#include "queue/PlayOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

// Steps onward from what plays, as the end of an entry does, until nothing follows.
std::vector<int> PlayOn(CPlayOrder& order, int nCount, int nLimit)
{
    std::vector<int> played;
    for (int next = order.Following(0, nCount, false); next >= 0 && nLimit-- > 0;
         next = order.Following(0, nCount, false)) {
        order.Started(next);
        played.push_back(next);
    }
    return played;
}

} // namespace

// Catches an entry played twice, or left out, in one shuffled cycle, and a cycle that does
// not end for repeat to decide.
TEST(PlayOrder, WithShuffleACyclePlaysEveryEntryOnceThenEnds)
{
    CPlayOrder order;
    order.SetShuffle(true, 0);
    order.Reset(50);
    order.Started(7);
    std::vector<int> played = PlayOn(order, 50, 100);
    played.push_back(7);
    std::sort(played.begin(), played.end());
    std::vector<int> all(50);
    for (int i = 0; i < 50; ++i)
        all[static_cast<std::size_t>(i)] = i;
    EXPECT_EQ(played, all);
    // With wrapping a new cycle is drawn, and what follows stays the same until it plays.
    const int next = order.Following(0, 50, true);
    EXPECT_GE(next, 0);
    EXPECT_EQ(order.Following(0, 50, true), next);
}

// Catches Previous that steps by the queue's order instead of back along what played.
TEST(PlayOrder, StepsBackAlongWhatPlayedAndOnAgainToWhereItCameFrom)
{
    CPlayOrder order;
    order.SetShuffle(true, 10);
    order.Started(3);
    const std::vector<int> played = PlayOn(order, 10, 4);
    ASSERT_EQ(played.size(), 4u);
    EXPECT_EQ(order.StepBack(), played[2]);
    EXPECT_EQ(order.StepBack(), played[1]);
    EXPECT_EQ(order.Following(0, 10, false), played[2]);
}

// Catches entries added during a cycle left out of it, removed ones still played (or their
// indexes left pointing at other entries), and a swap that changes what plays.
TEST(PlayOrder, AddedEntriesJoinTheCycleAndRemovedOnesLeaveIt)
{
    CPlayOrder order;
    order.SetShuffle(true, 6);
    order.Started(0);
    order.Appended(6, 8);
    order.Removed(2, 7); // entries 3..7 move down one
    order.Swapped(0, 6); // the playing entry moves to the end
    EXPECT_EQ(order.Playing(), 6);
    std::vector<int> played = PlayOn(order, 7, 20);
    std::sort(played.begin(), played.end());
    EXPECT_EQ(played, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

// Catches the entry after a deleted playing entry skipped: the one that took its place
// follows, also when entries around it go too.
TEST(PlayOrder, TheEntryAfterADeletedPlayingEntryFollowsIt)
{
    CPlayOrder order;
    order.Reset(5);
    order.Started(1);
    order.Removed(1, 4);
    EXPECT_TRUE(order.PlayingRemoved());
    EXPECT_EQ(order.Following(1, 4, false), 1);
    order.Removed(0, 3);
    EXPECT_EQ(order.Following(0, 3, false), 0);
    order.Removed(0, 2);
    EXPECT_EQ(order.Following(0, 2, false), 0) << "the next entry slides into its place";
    order.Removed(1, 1);
    order.Removed(0, 0);
    EXPECT_EQ(order.Following(0, 0, true), -1);
}
