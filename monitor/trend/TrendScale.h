// What the trend plot needs to be readable, without widgets: the channels it
// offers and opens with, a round value scale for each plotted channel, and
// time ticks on round steps of the clock.
//
// Each channel gets a scale of its own by default: the recorders send no
// unit, and channels of one recorder range from a few hundredths to
// hundreds, so one axis for all flattens most of them to a line. Every scale
// has the same number of divisions, so the grid lines are round values of
// every channel at once; the axis is labelled for one channel at a time.
#ifndef RDXMON_TREND_TRENDSCALE_H
#define RDXMON_TREND_TRENDSCALE_H

#include <optional>
#include <vector>

#include <QString>
#include <QtGlobal>

#include "startup/SharedState.h"
#include "trend/TrendHistory.h"

namespace rdxmon {

// --- Channels.

// The main window shows channel k (0..185): its recorder is polled this run
// and the channel is selected (LogSel not 0).
bool channelShown(const SharedState& state, int k);
// The channels the trend opens with: those of kept (the last picks) that are
// shown; when nothing was kept or none of it is shown any more, the shown
// channels of the first recorder that has any, looking from the first
// recorder of the page the main window shows.
std::vector<int> openingPicks(const SharedState& state, const std::optional<std::vector<int>>& kept, int page);

// --- Values.

inline constexpr int kScaleDivisions = 5;

struct ValueScale {
    double lo = 0, hi = 1;  // the axis ends: hi - lo is kScaleDivisions steps
    double step = 0.2;
    int decimals = 1;  // that tell the grid values apart
    double fraction(double value) const { return (value - lo) / (hi - lo); }
};

// The smallest scale of kScaleDivisions round steps (1, 2, 2.5, 4 or 5
// times a power of ten, both ends on a step) that holds lo..hi. A flat line
// gets a scale around it (a hundredth of its size either side, at least
// 0.5); no values at all (lo > hi or NaN) give 0..1.
ValueScale roundScale(double lo, double hi);
// The scale of each curve's points from..to (breaks and points outside left
// out), or with common one scale holding all of them.
std::vector<ValueScale> curveScales(const std::vector<std::vector<TrendPoint>>& curves, qint64 from, qint64 to,
                                    bool common);
// A value as the axis writes it.
QString scaleLabel(const ValueScale& scale, double value);

// --- Time.

struct TimeTicks {
    qint64 stepMs = 0;
    std::vector<qint64> at;  // ms since the epoch, from..to
    QString format;  // "HH:mm:ss" for steps under a minute, else "HH:mm"
};
// Ticks from..to on the first round step of the local clock (1, 2, 5, 10,
// 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3, 6, 12 h; a day) that gives at
// most maxTicks of them.
TimeTicks timeTicks(qint64 from, qint64 to, int maxTicks);

}  // namespace rdxmon

#endif
