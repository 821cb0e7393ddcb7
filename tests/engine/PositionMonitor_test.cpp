#include "engine/PositionMonitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

// Catches a stop that has to wait out the interval between readings, or that is lost when it
// comes before the thread's first look: either goes unacknowledged within the timeout.
TEST(PositionMonitor, AStopRightAfterTheStartIsAcknowledgedAtOnce)
{
    CPositionMonitor monitor(
        std::make_shared<TrackWatch>(), 1, [] { return 1; }, std::chrono::hours(1));
    EXPECT_TRUE(monitor.Stop());
}
