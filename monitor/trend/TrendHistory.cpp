#include "trend/TrendHistory.h"

#include <algorithm>
#include <limits>

namespace rdxmon {

namespace {

constexpr float kBreak = std::numeric_limits<float>::quiet_NaN();

}  // namespace

TrendHistory::TrendHistory() = default;

TrendHistory::Slot& TrendHistory::slotFor(int slot)
{
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    if (!s.used()) {
        s.recent.resize(kRecentCapacity);
        s.buckets.resize(kBuckets);
    }
    return s;
}

void TrendHistory::addReply(int slot, qint64 ms, const std::array<float, kChannelsPerSlot>& values, quint8 readMask)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    record(slotFor(slot), Reply{ms, values, readMask, false});
}

void TrendHistory::addMiss(int slot, qint64 ms)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    record(slotFor(slot), Reply{ms, {}, 0, true});
}

void TrendHistory::addLineLost(qint64 ms)
{
    for (Slot& s : slots_) {
        if (s.used())
            record(s, Reply{ms, {}, 0, true});
    }
}

void TrendHistory::record(Slot& s, const Reply& reply)
{
    Reply r = reply;
    // A clock set back must not put a reply before the ones held.
    r.ms = std::max(r.ms, s.lastMs);
    s.lastMs = r.ms;
    newestMs_ = std::max(newestMs_, r.ms);
    if (s.count == kRecentCapacity) {
        s.head = (s.head + 1) % kRecentCapacity;
        --s.count;
    }
    s.recent[(s.head + s.count) % kRecentCapacity] = r;
    ++s.count;
    while (s.count > 1 && s.at(0).ms < r.ms - kRecentMs) {
        s.head = (s.head + 1) % kRecentCapacity;
        --s.count;
    }
    fold(s, r);
}

void TrendHistory::fold(Slot& s, const Reply& r)
{
    const auto number = static_cast<qint32>(r.ms / kBucketMs);
    Bucket& b = s.buckets[static_cast<std::size_t>(number % kBuckets)];
    if (b.number != number) {
        b = Bucket{};
        b.number = number;
    }
    for (int c = 0; c < kChannelsPerSlot; ++c) {
        const auto bit = static_cast<quint8>(1u << c);
        if (r.miss || !(r.read & bit)) {
            if (b.has & bit) {
                b.breakAfter |= bit;
            } else {
                b.breakBefore |= bit;
            }
            continue;
        }
        const float v = r.v[static_cast<std::size_t>(c)];
        if (!(b.has & bit)) {
            b.has |= bit;
            b.lo[c] = b.hi[c] = v;
            continue;
        }
        if (b.breakAfter & bit) {
            b.breakAfter &= static_cast<quint8>(~bit);
            b.breakInside |= bit;
        }
        if (v < b.lo[c]) {
            b.lo[c] = v;
            b.hiLast &= static_cast<quint8>(~bit);
        }
        if (v > b.hi[c]) {
            b.hi[c] = v;
            b.hiLast |= bit;
        }
    }
}

void TrendHistory::bucketPoints(const Bucket& b, int c, std::vector<TrendPoint>& out) const
{
    const auto bit = static_cast<quint8>(1u << c);
    const qint64 t0 = static_cast<qint64>(b.number) * kBucketMs;
    if (b.breakBefore & bit)
        out.push_back({t0, kBreak});
    if (b.has & bit) {
        const float lo = b.lo[c], hi = b.hi[c];
        if (lo == hi && !(b.breakInside & bit)) {
            out.push_back({t0 + kBucketMs / 2, lo});
        } else {
            const bool hiLast = b.hiLast & bit;
            out.push_back({t0 + kBucketMs / 4, hiLast ? lo : hi});
            if (b.breakInside & bit)
                out.push_back({t0 + kBucketMs / 2, kBreak});
            out.push_back({t0 + 3 * kBucketMs / 4, hiLast ? hi : lo});
        }
    }
    if (b.breakAfter & bit)
        out.push_back({t0 + kBucketMs - 1, kBreak});
}

void TrendHistory::points(int channel, qint64 from, qint64 to, std::vector<TrendPoint>& out) const
{
    if (channel < 0 || channel >= kChannelCount || to < from)
        return;
    const Slot& s = slots_[static_cast<std::size_t>(channel / kChannelsPerSlot)];
    if (!s.used() || s.count == 0)
        return;
    const int c = channel % kChannelsPerSlot;
    const qint64 recentStart = s.at(0).ms;

    // Buckets wholly before the recent replies, one more each side so the
    // line comes in from the edges.
    const qint64 firstValid = s.lastMs / kBucketMs - kBuckets + 1;
    const qint64 first = std::max(from / kBucketMs - 1, std::max<qint64>(firstValid, 0));
    const qint64 last = std::min(to / kBucketMs + 1, recentStart / kBucketMs - 1);
    for (qint64 n = first; n <= last; ++n) {
        const Bucket& b = s.buckets[static_cast<std::size_t>(n % kBuckets)];
        if (b.number == n)
            bucketPoints(b, c, out);
    }

    // Recent replies from the last before `from` to the first after `to`.
    int lo = 0, hi = s.count;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (s.at(mid).ms < from)
            lo = mid + 1;
        else
            hi = mid;
    }
    const auto bit = static_cast<quint8>(1u << c);
    for (int i = std::max(lo - 1, 0); i < s.count; ++i) {
        const Reply& r = s.at(i);
        const bool has = !r.miss && (r.read & bit);
        out.push_back({r.ms, has ? r.v[static_cast<std::size_t>(c)] : kBreak});
        if (r.ms > to)
            break;
    }
}

qint64 TrendHistory::oldestMs() const
{
    qint64 oldest = 0;
    for (const Slot& s : slots_) {
        if (!s.used() || s.count == 0)
            continue;
        qint64 first = s.at(0).ms;
        for (const Bucket& b : s.buckets) {
            if (b.number >= 0 && b.number > s.lastMs / kBucketMs - kBuckets)
                first = std::min(first, static_cast<qint64>(b.number) * kBucketMs);
        }
        oldest = oldest == 0 ? first : std::min(oldest, first);
    }
    return oldest;
}

std::size_t TrendHistory::memoryBytes() const
{
    std::size_t bytes = sizeof(*this);
    for (const Slot& s : slots_) {
        bytes += s.recent.capacity() * sizeof(Reply) + s.buckets.capacity() * sizeof(Bucket);
    }
    return bytes;
}

void TrendRecorder::replyTaken(int slot, const QDateTime& time)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    std::array<float, kChannelsPerSlot> values{};
    quint8 read = 0;
    for (int c = 0; c < kChannelsPerSlot; ++c) {
        const auto k = static_cast<std::size_t>(slot * kChannelsPerSlot + c);
        values[static_cast<std::size_t>(c)] = state_.gPvValue[k];
        if (isCurrent(state_.gPvState[k]))
            read |= static_cast<quint8>(1u << c);
    }
    lastMs_ = time.toMSecsSinceEpoch();
    history_.addReply(slot, lastMs_, values, read);
}

void TrendRecorder::pollMissed(int slot, const QDateTime& time, MissReason)
{
    lastMs_ = time.toMSecsSinceEpoch();
    history_.addMiss(slot, lastMs_);
}

void TrendRecorder::lineLost(bool lost)
{
    // The break goes after the last poll heard of; the slots' own misses
    // follow while the line is away.
    if (lost && lastMs_ > 0)
        history_.addLineLost(lastMs_);
}

std::vector<TrendPoint> reduceToColumns(const std::vector<TrendPoint>& points, qint64 from, qint64 to, int columns)
{
    std::vector<TrendPoint> out;
    if (columns <= 0 || to <= from)
        return points;
    out.reserve(std::min<std::size_t>(points.size(), static_cast<std::size_t>(columns) * 2 + 8));
    const TrendPoint* low = nullptr;
    const TrendPoint* high = nullptr;
    qint64 column = -1;
    auto flush = [&] {
        if (!low)
            return;
        if (low == high) {
            out.push_back(*low);
        } else if (low->ms <= high->ms) {
            out.push_back(*low);
            out.push_back(*high);
        } else {
            out.push_back(*high);
            out.push_back(*low);
        }
        low = high = nullptr;
    };
    for (const TrendPoint& p : points) {
        if (p.isBreak() || p.ms < from || p.ms > to) {
            flush();
            out.push_back(p);
            column = -1;
            continue;
        }
        const qint64 col = (p.ms - from) * columns / (to - from);
        if (col != column) {
            flush();
            column = col;
        }
        if (!low || p.value < low->value)
            low = &p;
        if (!high || p.value > high->value)
            high = &p;
    }
    flush();
    return out;
}

}  // namespace rdxmon
