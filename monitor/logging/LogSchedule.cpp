#include "logging/LogSchedule.h"

#include <algorithm>
#include <cmath>

#include "startup/Lenient.h"

namespace rdxmon {

namespace {

constexpr int kHalfDay = kSecondsPerDay / 2;

// Seconds from due to now, going forward through midnight when needed.
int secondsSince(int due, int now)
{
    return ((now - due) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
}

}  // namespace

int secondsOfDay(const QTime& time)
{
    return (time.hour() * 60 + time.minute()) * 60 + time.second();
}

int cycleSeconds(const QString& caption, bool minutes)
{
    const int number = lenientInt(caption);
    const long long seconds = static_cast<long long>(number) * (minutes ? 60 : 1);
    return static_cast<int>(std::clamp<long long>(seconds, 1, kMaxCycleSeconds));
}

int firstDueTime(int now, int cycle)
{
    return (now + cycle) % kSecondsPerDay;
}

bool isDue(int now, int due)
{
    return secondsSince(due, now) < kHalfDay;
}

int nextDueTime(int now, int due, int cycle)
{
    const int late = secondsSince(due, now);
    const int steps = late / cycle + 1;
    return static_cast<int>((due + static_cast<long long>(steps) * cycle) % kSecondsPerDay);
}

}  // namespace rdxmon
