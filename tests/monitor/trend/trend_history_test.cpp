// The trend's history: buckets keep the extremes in order, breaks stay
// breaks in both tiers, memory stays bounded; the CSV of a range.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "trend/TrendCsv.h"
#include "trend/TrendHistory.h"

namespace rdxmon {
namespace {

constexpr qint64 kStart = 1'700'000'000'000;  // a bucket boundary
constexpr quint8 kAll = 0x3f;
constexpr qint64 kHourMs = 3600 * 1000;

std::array<float, kChannelsPerSlot> six(float v)
{
    return {v, v, v, v, v, v};
}

std::vector<TrendPoint> pointsOf(const TrendHistory& h, int channel, qint64 from, qint64 to)
{
    std::vector<TrendPoint> out;
    h.points(channel, from, to, out);
    return out;
}

// The values between the first and last point at from..to, breaks as NaN.
std::vector<float> valuesIn(const std::vector<TrendPoint>& points, qint64 from, qint64 to)
{
    std::vector<float> v;
    for (const TrendPoint& p : points)
        if (p.ms >= from && p.ms <= to)
            v.push_back(p.value);
    return v;
}

struct Tier {
    const char* name;
    qint64 ageMs;  // how long before the newest reply the pattern lies
};
const Tier kTiers[] = {{"recent replies", 60'000}, {"buckets", 2 * kHourMs}};

TEST(TrendHistoryTest, ExtremesOfEveryBucketSurviveInTheOrderTheyCame)
{
    struct Case {
        const char* name;
        std::vector<float> values;  // one reply a second inside one bucket
        std::vector<float> expected;
    };
    const Case cases[] = {
        {"spike up", {1, 1, 90, 1, 1}, {1, 90}},
        {"spike down", {5, 5, -40, 5}, {5, -40}},
        {"falling", {9, 7, 3}, {9, 3}},
        {"flat", {2, 2, 2}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrendHistory h;
        const qint64 t0 = kStart;
        for (std::size_t i = 0; i < c.values.size(); ++i)
            h.addReply(0, t0 + 500 + qint64(i) * 1000, six(c.values[i]), kAll);
        // Push the pattern out of the recent replies.
        h.addReply(0, t0 + 2 * kHourMs, six(0), kAll);
        const auto v
            = valuesIn(pointsOf(h, 0, t0, t0 + TrendHistory::kBucketMs - 1), t0, t0 + TrendHistory::kBucketMs - 1);
        EXPECT_EQ(v, c.expected);
    }
}

TEST(TrendHistoryTest, AMissOrASkippedChannelBreaksTheLineInBothTiers)
{
    for (const Tier& tier : kTiers) {
        SCOPED_TRACE(tier.name);
        TrendHistory h;
        const qint64 t0 = kStart;
        // Reply, miss, reply, each in a bucket of its own; channel 1 skipped
        // in the middle reply of a second run.
        h.addReply(0, t0 + 1000, six(1), kAll);
        h.addMiss(0, t0 + 6000);
        h.addReply(0, t0 + 11000, six(2), kAll);
        h.addReply(0, t0 + 16000, six(3), kAll & ~quint8(1u << 1));
        h.addReply(0, t0 + 21000, six(4), kAll);
        h.addReply(0, t0 + tier.ageMs, six(0), kAll);

        const auto ch0 = valuesIn(pointsOf(h, 0, t0, t0 + 24999), t0, t0 + 24999);
        ASSERT_EQ(ch0.size(), 5u);
        EXPECT_EQ(ch0[0], 1);
        EXPECT_TRUE(std::isnan(ch0[1]));
        EXPECT_EQ((std::vector<float>{ch0[2], ch0[3], ch0[4]}), (std::vector<float>{2, 3, 4}));

        const auto ch1 = valuesIn(pointsOf(h, 1, t0, t0 + 24999), t0, t0 + 24999);
        ASSERT_EQ(ch1.size(), 5u);
        EXPECT_TRUE(std::isnan(ch1[1]));
        EXPECT_EQ(ch1[2], 2);
        EXPECT_TRUE(std::isnan(ch1[3]));
        EXPECT_EQ(ch1[4], 4);
    }
}

TEST(TrendHistoryTest, ALostLineBreaksEverySlotHeardOf)
{
    TrendHistory h;
    h.addReply(0, kStart + 1000, six(1), kAll);
    h.addReply(3, kStart + 1200, six(1), kAll);
    h.addLineLost(kStart + 2000);
    h.addReply(0, kStart + 9000, six(1), kAll);
    h.addReply(3, kStart + 9200, six(1), kAll);
    for (int channel : {0, 3 * kChannelsPerSlot + 5}) {
        SCOPED_TRACE(channel);
        const auto v = valuesIn(pointsOf(h, channel, kStart, kStart + 10'000), kStart, kStart + 10'000);
        ASSERT_EQ(v.size(), 3u);
        EXPECT_TRUE(std::isnan(v[1]));
    }
    EXPECT_TRUE(pointsOf(h, kChannelsPerSlot, kStart, kStart + 10'000).empty());
}

TEST(TrendHistoryTest, EightHoursOfEveryChannelStayUnder40MBAndTheOldestIsDropped)
{
    TrendHistory h;
    const qint64 end = kStart + 9 * kHourMs;
    std::size_t atEightHours = 0;
    for (qint64 t = kStart; t < end; t += 1000) {
        if (t == kStart + 8 * kHourMs)
            atEightHours = h.memoryBytes();
        for (int slot = 0; slot < kSlotCount; ++slot)
            h.addReply(slot, t + slot, six(float(t % 97)), kAll);
    }
    EXPECT_LT(h.memoryBytes(), 40u * 1024 * 1024);
    EXPECT_EQ(h.memoryBytes(), atEightHours);
    EXPECT_GE(h.oldestMs(), end - TrendHistory::kSpanMs - TrendHistory::kBucketMs);
    EXPECT_TRUE(valuesIn(pointsOf(h, 0, kStart, kStart + kHourMs / 2), kStart, kStart + kHourMs / 2).empty());
    // The whole 8 hours are there at the bucket resolution and beyond.
    const auto all = pointsOf(h, 185, end - 8 * kHourMs, end);
    EXPECT_GT(all.size(), std::size_t(8 * kHourMs / TrendHistory::kBucketMs));
}

TEST(TrendHistoryTest, ReducingToColumnsKeepsSpikesAndBreaks)
{
    std::vector<TrendPoint> points;
    for (int i = 0; i < 1000; ++i)
        points.push_back({kStart + i, i == 500 ? 99.f : 1.f});
    points[700].value = NAN;
    const auto reduced = reduceToColumns(points, kStart, kStart + 1000, 10);
    EXPECT_LE(reduced.size(), 10u * 2 + 3);
    EXPECT_TRUE(std::any_of(reduced.begin(), reduced.end(), [](const TrendPoint& p) { return p.value == 99.f; }));
    EXPECT_EQ(std::count_if(reduced.begin(), reduced.end(), [](const TrendPoint& p) { return p.isBreak(); }), 1);
}

TEST(TrendHistoryTest, CsvRowsLeaveABreakEmptyAndUseTheLogNumbers)
{
    TrendHistory h;
    h.addReply(0, kStart + 1000, {0.5f, 1e8f, 0, 0, 0, 0}, kAll);
    h.addMiss(0, kStart + 2000);
    std::array<ChannelRecord, kChannelCount> names{};
    names[0].Name = QStringLiteral("Oven              ");
    const QString csv = QString::fromLatin1(trendCsv(h, {0, 1}, names, kStart, kStart + 3000));
    const QStringList lines = csv.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("\"Time\",\"01-1 Oven\",\"01-2\""));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(".000\",0.5,1E+08"))) << lines[1].toStdString();
}

}  // namespace
}  // namespace rdxmon
