// The values of every channel since start, kept in memory for the trend
// window. Two tiers per recorder slot:
//   - recent replies as they came (the last quarter of an hour, at most
//     kRecentCapacity replies a slot);
//   - everything, folded into buckets of kBucketMs for kSpanMs: per channel
//     the lowest and highest value in the bucket in the order they came, so
//     a spike stays visible at any zoom.
// A recorder that did not answer, a skipped channel and a lost line leave a
// break: the points handed out carry a NaN there and no line may be drawn
// across it. Memory is fixed by the tiers' sizes, whatever the poll rate.
#ifndef RDXMON_TREND_TRENDHISTORY_H
#define RDXMON_TREND_TRENDHISTORY_H

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QtGlobal>

#include "polling/PollListener.h"
#include "startup/SharedState.h"

namespace rdxmon {

struct TrendPoint {
    qint64 ms = 0;  // milliseconds since the epoch
    float value = 0;  // NaN: a break in the line
    bool isBreak() const { return std::isnan(value); }
};

class TrendHistory {
public:
    static constexpr qint64 kBucketMs = 5'000;
    static constexpr qint64 kSpanMs = 8LL * 3600 * 1000;
    static constexpr qint64 kRecentMs = 15LL * 60 * 1000;
    static constexpr int kRecentCapacity = 4096;
    static constexpr int kBuckets = static_cast<int>(kSpanMs / kBucketMs) + 1;

    TrendHistory();

    // A reply of slot at ms: the six values, readMask bit c set when channel
    // c had a reading (a clear bit is a break for that channel).
    void addReply(int slot, qint64 ms, const std::array<float, kChannelsPerSlot>& values, quint8 readMask);
    // The slot did not answer at ms: a break in all its channels.
    void addMiss(int slot, qint64 ms);
    // The line was lost at ms: a break in every slot that has a history.
    void addLineLost(qint64 ms);

    // The points of channel (0..185) from `from` to `to` (ms), oldest first:
    // recent replies where they reach, two points a bucket before that,
    // breaks as NaN. Appends to out.
    void points(int channel, qint64 from, qint64 to, std::vector<TrendPoint>& out) const;

    // The time of the newest and oldest data held (0 when none).
    qint64 newestMs() const { return newestMs_; }
    qint64 oldestMs() const;

    // Bytes the history holds now (the tiers are allocated per slot on its
    // first data, at their full size).
    std::size_t memoryBytes() const;

private:
    struct Reply {
        qint64 ms;
        std::array<float, kChannelsPerSlot> v;
        quint8 read;  // channels with a reading
        bool miss;  // a miss or a lost line: no values
    };
    struct Bucket {
        qint32 number = -1;  // ms / kBucketMs of the bucket held, -1: empty
        std::array<float, kChannelsPerSlot> lo{}, hi{};
        quint8 has = 0;  // channels with at least one value
        quint8 twoValues = 0;  // channels whose lo and hi came from different replies
        quint8 hiLast = 0;  // channels whose highest value came after their lowest
        quint8 breakBefore = 0;  // a break before the channel's first value
        quint8 breakInside = 0;  // a break between the channel's values
        quint8 breakAfter = 0;  // a break after the channel's last value
    };
    struct Slot {
        std::vector<Reply> recent;  // ring of kRecentCapacity
        int head = 0;  // oldest entry
        int count = 0;
        std::vector<Bucket> buckets;  // ring of kBuckets, by number % kBuckets
        qint64 lastMs = 0;
        bool used() const { return !buckets.empty(); }
        const Reply& at(int i) const { return recent[(head + i) % kRecentCapacity]; }
    };

    Slot& slotFor(int slot);
    void record(Slot& s, const Reply& r);
    void fold(Slot& s, const Reply& r);
    void bucketPoints(const Bucket& b, int channel, std::vector<TrendPoint>& out) const;

    std::array<Slot, kSlotCount> slots_;
    qint64 newestMs_ = 0;
};

// Follows the poll cycle: each reply, miss and lost line of the shared state
// goes into the history.
class TrendRecorder : public PollListener {
public:
    TrendRecorder(const SharedState& state, TrendHistory& history) : state_(state), history_(history) {}
    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, MissReason why) override;
    void lineLost(bool lost) override;

private:
    const SharedState& state_;
    TrendHistory& history_;
    qint64 lastMs_ = 0;
};

// Reduces points to at most two a column (the lowest and highest in their
// order) over `columns` equal columns from `from` to `to`, keeping every
// break. Points outside the range are kept as they are (they lead the line
// in from the edges).
std::vector<TrendPoint> reduceToColumns(const std::vector<TrendPoint>& points, qint64 from, qint64 to, int columns);

}  // namespace rdxmon

#endif
