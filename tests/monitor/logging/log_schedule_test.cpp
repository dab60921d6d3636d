// When rows are due: the grid set by START, midnight, missed seconds.
#include <gtest/gtest.h>

#include "logging/LogSchedule.h"

namespace rdxmon {
namespace {

TEST(LogSchedule, CycleFromCaptionAndUnit)
{
    EXPECT_EQ(cycleSeconds(QStringLiteral("20"), false), 20);
    EXPECT_EQ(cycleSeconds(QStringLiteral("60"), true), 3600);
    EXPECT_EQ(cycleSeconds(QStringLiteral(" 1"), false), 1);
    EXPECT_EQ(cycleSeconds(QStringLiteral("0"), false), 1);
    EXPECT_EQ(secondsOfDay(QTime(23, 59, 30)), 86370);
}

TEST(LogSchedule, FirstDueTimeWrapsAtMidnight)
{
    EXPECT_EQ(firstDueTime(secondsOfDay(QTime(23, 59, 30)), 60), 30);
    EXPECT_EQ(firstDueTime(secondsOfDay(QTime(10, 0, 0)), 30), 36030);
    EXPECT_EQ(firstDueTime(86399, 1), 0);
    // Right after START the row lies ahead, even across midnight.
    EXPECT_FALSE(isDue(86370, 30));
    EXPECT_FALSE(isDue(36000, 36030));
    EXPECT_FALSE(isDue(0, 3600));
}

TEST(LogSchedule, RowsKeepToTheGrid)
{
    // On time: the next due time is one cycle on, wrapping at midnight.
    EXPECT_TRUE(isDue(86390, 86390));
    EXPECT_EQ(nextDueTime(86390, 86390, 20), 10);
    EXPECT_EQ(nextDueTime(36030, 36030, 30), 36060);
    EXPECT_EQ(nextDueTime(7200, 7200, 3600), 10800);
    EXPECT_EQ(nextDueTime(86399, 86399, 1), 0);
}

TEST(LogSchedule, MissedDueSecondIsCaughtAtTheNextTick)
{
    // Due at 10:00:30, the window was busy until 10:00:33: the row is still
    // due and the next one is the first grid point after now.
    EXPECT_TRUE(isDue(36033, 36030));
    EXPECT_EQ(nextDueTime(36033, 36030, 30), 36060);
    EXPECT_EQ(nextDueTime(36033, 36030, 1), 36034);
    EXPECT_EQ(nextDueTime(36090, 36030, 30), 36120);  // two whole cycles missed
    // Missed across midnight: due at 23:59:50, next tick at 00:00:05.
    EXPECT_TRUE(isDue(5, 86390));
    EXPECT_EQ(nextDueTime(5, 86390, 20), 10);
    // A due time up to an hour ahead is never taken as passed.
    EXPECT_FALSE(isDue(36000, 39600));
    EXPECT_FALSE(isDue(85000, 2000));
}

}  // namespace
}  // namespace rdxmon
