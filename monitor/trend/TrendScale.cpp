#include "trend/TrendScale.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>

namespace rdxmon {

bool channelShown(const SharedState& state, int k)
{
    const int polled = state.gRecTotal * kChannelsPerSlot;
    return k >= 0 && k < polled && state.gChannel[static_cast<std::size_t>(k)].LogSel != 0;
}

std::vector<int> openingPicks(const SharedState& state, const std::optional<std::vector<int>>& kept, int page)
{
    std::vector<int> picks;
    if (kept) {
        for (int k : *kept) {
            if (channelShown(state, k) && std::find(picks.begin(), picks.end(), k) == picks.end())
                picks.push_back(k);
        }
        if (!picks.empty())
            return picks;
    }
    const int recorders = state.gRecTotal;
    const int first = std::clamp(page * 12, 0, recorders - 1);
    for (int i = 0; i < recorders && picks.empty(); ++i) {
        const int slot = (first + i) % recorders;
        for (int c = 0; c < kChannelsPerSlot; ++c) {
            if (channelShown(state, slot * kChannelsPerSlot + c))
                picks.push_back(slot * kChannelsPerSlot + c);
        }
    }
    return picks;
}

ValueScale roundScale(double lo, double hi)
{
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi)
        return {};
    const double size = std::max(std::abs(lo), std::abs(hi));
    if (hi - lo <= 1e-9 * std::max(1.0, size)) {
        // A flat line: a scale of about a hundredth of its size, at least 1.
        const double half = std::max(size * 0.01, 0.5);
        lo -= half;
        hi += half;
    }
    const double raw = (hi - lo) / kScaleDivisions;
    int exponent = static_cast<int>(std::floor(std::log10(raw)));
    static constexpr double kMultiples[] = {1, 2, 2.5, 4, 5};
    for (;; ++exponent) {
        const double magnitude = std::pow(10.0, exponent);
        for (double m : kMultiples) {
            const double step = m * magnitude;
            const double first = std::floor(lo / step + 1e-9) * step;
            if (first + kScaleDivisions * step < hi - 1e-9 * step)
                continue;
            ValueScale scale;
            scale.lo = first;
            scale.hi = first + kScaleDivisions * step;
            scale.step = step;
            scale.decimals = std::max(0, -exponent + (m == 2.5 ? 1 : 0));
            return scale;
        }
    }
}

std::vector<ValueScale> curveScales(const std::vector<std::vector<TrendPoint>>& curves, qint64 from, qint64 to,
                                    bool common)
{
    std::vector<ValueScale> scales;
    double allLo = INFINITY, allHi = -INFINITY;
    for (const std::vector<TrendPoint>& points : curves) {
        double lo = INFINITY, hi = -INFINITY;
        for (const TrendPoint& p : points) {
            if (p.isBreak() || p.ms < from || p.ms > to)
                continue;
            lo = std::min(lo, static_cast<double>(p.value));
            hi = std::max(hi, static_cast<double>(p.value));
        }
        allLo = std::min(allLo, lo);
        allHi = std::max(allHi, hi);
        scales.push_back(roundScale(lo, hi));
    }
    if (common)
        std::fill(scales.begin(), scales.end(), roundScale(allLo, allHi));
    return scales;
}

QString scaleLabel(const ValueScale& scale, double value)
{
    // No "-0.0" for a zero that came out a hair below.
    if (std::abs(value) < scale.step * 1e-6)
        value = 0;
    return QString::number(value, 'f', scale.decimals);
}

TimeTicks timeTicks(qint64 from, qint64 to, int maxTicks)
{
    static constexpr qint64 kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute;
    static constexpr qint64 kSteps[] = {kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
                                        kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                                        kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   24 * kHour};
    TimeTicks ticks;
    if (to <= from)
        return ticks;
    maxTicks = std::max(1, maxTicks);
    ticks.stepMs = kSteps[std::size(kSteps) - 1];
    for (qint64 step : kSteps) {
        if ((to - from) / step <= maxTicks) {
            ticks.stepMs = step;
            break;
        }
    }
    ticks.format = ticks.stepMs < kMinute ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
    // Round on the local clock: 10:15, not a quarter past some UTC hour.
    const qint64 offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * kSecond;
    const qint64 local = from + offset;
    qint64 t = (local / ticks.stepMs + (local % ticks.stepMs != 0 ? 1 : 0)) * ticks.stepMs - offset;
    for (; t <= to; t += ticks.stepMs)
        ticks.at.push_back(t);
    return ticks;
}

}  // namespace rdxmon
