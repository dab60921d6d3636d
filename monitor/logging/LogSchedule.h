// When the rows of the log are due. The grid of due seconds starts when the
// log file is created: the first row one cycle later, then one every cycle.
// Due times are whole seconds of the local date and time, so the grid runs
// through midnight without a seam.
#ifndef RDXMON_LOGGING_LOGSCHEDULE_H
#define RDXMON_LOGGING_LOGSCHEDULE_H

#include <QDateTime>
#include <QString>
#include <QTime>

namespace rdxmon {

inline constexpr int kSecondsPerDay = 86400;
// The cycle number the up-down offers: 1 to 60 (seconds or minutes).
inline constexpr int kMinCycleNumber = 1;
inline constexpr int kMaxCycleNumber = 60;
// The longest the window thread is ever held up in a working program (a
// reply read to its time-out at the slowest line speed, with margin). A row
// written later than this after its due second is not stamped with that
// second: its values would be from a time the stamp does not show.
inline constexpr int kMaxLateSeconds = 10;

// (hour * 60 + minute) * 60 + second.
int secondsOfDay(const QTime& time);

// The cycle number a caption stands for, read the lenient way and kept
// within 1 to 60.
int cycleNumber(const QString& caption);

// The sampling cycle in seconds: the kept number, times 60 for minutes.
int cycleSeconds(const QString& caption, bool minutes);

// What one sampling tick does.
struct LogStep {
    bool write = false;  // a row is written now
    QDateTime stamp;  // the time the row carries
    QDateTime next;  // the second the next row is due
};

// The tick at the present time now, with the next row due at the second due
// and the cycle in seconds:
// - before the due second: nothing (when the due second lies more than one
//   cycle ahead, the clock was set back: the grid moves back to the first
//   of its points after now);
// - in the due second, or later by less than one cycle (and less than
//   kMaxLateSeconds): the row stamped with its due second, the next due one
//   cycle on;
// - later still (the machine slept, the clock jumped, the thread was held):
//   one row stamped with the present second, the next due at the first grid
//   point after it. No row is ever made up for seconds in between.
LogStep logStep(const QDateTime& due, const QDateTime& now, int cycle);

}  // namespace rdxmon

#endif
