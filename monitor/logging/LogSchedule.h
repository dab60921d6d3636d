// When the rows of the log are due. Times are seconds after midnight, 0 to
// 86399. START puts the first row one cycle after the present second; the
// rows then keep to that grid (START + k cycles, wrapping at midnight).
#ifndef RDXMON_LOGGING_LOGSCHEDULE_H
#define RDXMON_LOGGING_LOGSCHEDULE_H

#include <QString>
#include <QTime>

namespace rdxmon {

inline constexpr int kSecondsPerDay = 86400;
// The longest cycle: 60 minutes.
inline constexpr int kMaxCycleSeconds = 3600;

// (hour * 60 + minute) * 60 + second.
int secondsOfDay(const QTime& time);

// The sampling cycle in seconds from the number in the cycle label's
// caption (read the lenient way), times 60 for minutes. Kept within 1 second
// and 60 minutes, so a caption that reads 0 cannot stall the schedule.
int cycleSeconds(const QString& caption, bool minutes);

// The due time of the first row after START at the present second now.
int firstDueTime(int now, int cycle);

// Whether the row due at due has to be written at the present second now.
// A due time counts as reached from that second on for half a day; so a
// tick that missed the due second (the window thread was busy) still finds
// the row due, while a due time that lies ahead (up to half a day) is not.
// This holds for every cycle of at most 60 minutes.
bool isDue(int now, int due);

// The due time after a row written at the present second now for the due
// time due: the first point of the grid (due + k cycles) after now.
int nextDueTime(int now, int due, int cycle);

}  // namespace rdxmon

#endif
