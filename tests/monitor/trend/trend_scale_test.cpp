// What makes the trend readable, without widgets: the channels it opens
// with, a round scale for each line, time ticks on round steps of the clock.
#include <cmath>
#include <limits>

#include <QDateTime>
#include <gtest/gtest.h>

#include "trend/TrendScale.h"

namespace rdxmon {
namespace {

TEST(TrendScale, EachScaleIsFiveRoundStepsHoldingTheValues)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double lo, hi;
        ValueScale expected;
    } cases[] = {
        {0, 100, {0, 100, 20, 0}},
        {24.1, 25.9, {24, 26, 0.4, 1}},
        {-23.7, -22.1, {-24, -22, 0.4, 1}},
        {596, 618, {595, 620, 5, 0}},
        {0.013, 0.047, {0.01, 0.06, 0.01, 2}},
        {25, 25, {24.5, 25.75, 0.25, 2}},  // a flat line
        {none, none, {0, 1, 0.2, 1}},  // no values
        {5, 1, {0, 1, 0.2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lo << " .. " << c.hi);
        const ValueScale s = roundScale(c.lo, c.hi);
        EXPECT_NEAR(s.lo, c.expected.lo, 1e-9);
        EXPECT_NEAR(s.hi, c.expected.hi, 1e-9);
        EXPECT_NEAR(s.step, c.expected.step, 1e-12);
        EXPECT_EQ(s.decimals, c.expected.decimals);
    }
    EXPECT_EQ(scaleLabel(roundScale(-0.04, 0.04), -1e-17), QStringLiteral("0.00"));
}

TEST(TrendScale, EveryLineGetsItsOwnScaleOrOneForAll)
{
    const float gap = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::vector<TrendPoint>> curves = {
        {{1000, 0}, {2000, gap}, {3000, 100}, {9000, 5000}},  // the last point lies after the range
        {{1000, 0.013f}, {2000, 0.047f}},
    };
    const auto own = curveScales(curves, 0, 5000, false);
    ASSERT_EQ(own.size(), 2u);
    EXPECT_EQ(own[0].hi, 100);
    EXPECT_NEAR(own[1].hi, 0.06, 1e-9);
    const auto one = curveScales(curves, 0, 5000, true);
    EXPECT_EQ(one[0].hi, 100);
    EXPECT_EQ(one[1].hi, 100);
}

TEST(TrendScale, TimeTicksFallOnRoundStepsOfTheLocalClock)
{
    const QDateTime from(QDate(2026, 12, 7), QTime(10, 3, 27));
    const struct {
        qint64 spanMs;
        int maxTicks;
        qint64 stepMs;
        QTime first;
        const char* format;
    } cases[] = {
        {30'000, 10, 5'000, QTime(10, 3, 30), "HH:mm:ss"},    {600'000, 8, 120'000, QTime(10, 4), "HH:mm"},
        {600'000, 12, 60'000, QTime(10, 4), "HH:mm"},         {3'600'000, 8, 600'000, QTime(10, 10), "HH:mm"},
        {3'600'000, 4, 900'000, QTime(10, 15), "HH:mm"},      {8 * 3'600'000, 8, 3'600'000, QTime(11, 0), "HH:mm"},
        {8 * 3'600'000, 5, 7'200'000, QTime(12, 0), "HH:mm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.spanMs << " ms, " << c.maxTicks << " ticks");
        const qint64 t0 = from.toMSecsSinceEpoch();
        const TimeTicks ticks = timeTicks(t0, t0 + c.spanMs, c.maxTicks);
        EXPECT_EQ(ticks.stepMs, c.stepMs);
        ASSERT_FALSE(ticks.at.empty());
        EXPECT_LE(static_cast<int>(ticks.at.size()), c.maxTicks);
        EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(ticks.at.front()).time(), c.first);
        EXPECT_EQ(ticks.format, QString::fromLatin1(c.format));
        for (std::size_t i = 1; i < ticks.at.size(); ++i)
            EXPECT_EQ(ticks.at[i] - ticks.at[i - 1], c.stepMs);
    }
}

TEST(TrendScale, OpensWithTheKeptChannelsStillShownElseTheFirstRecordersOfThePage)
{
    SharedState state;
    state.gRecTotal = 15;  // channels 0..89
    for (int k : {2, 72, 73, 74, 75, 76, 77})
        state.gChannel[k].LogSel = 0;  // recorder 13 shows nothing
    using Picks = std::vector<int>;
    const struct {
        const char* name;
        std::optional<Picks> kept;
        int page;
        Picks expected;
    } cases[] = {
        {"nothing kept, page 0", std::nullopt, 0, {0, 1, 3, 4, 5}},
        {"nothing kept, page 1: recorder 13 shows none, 14 does", std::nullopt, 1, {78, 79, 80, 81, 82, 83}},
        {"kept, those not shown left out", Picks{5, 2, 40, 95, 40}, 0, {5, 40}},
        {"kept, none shown any more", Picks{2, 95}, 0, {0, 1, 3, 4, 5}},
        {"an empty pick kept", Picks{}, 0, {0, 1, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openingPicks(state, c.kept, c.page), c.expected);
    }
    EXPECT_FALSE(channelShown(state, 90));  // recorder 16 is not polled
}

}  // namespace
}  // namespace rdxmon
