#include "logging/LogSchedule.h"

#include <algorithm>

#include "startup/Lenient.h"

namespace rdxmon {

int secondsOfDay(const QTime& time)
{
    return (time.hour() * 60 + time.minute()) * 60 + time.second();
}

int cycleNumber(const QString& caption)
{
    return std::clamp(lenientInt(caption), kMinCycleNumber, kMaxCycleNumber);
}

int cycleSeconds(const QString& caption, bool minutes)
{
    return cycleNumber(caption) * (minutes ? 60 : 1);
}

LogStep logStep(const QDateTime& due, const QDateTime& now, int cycle)
{
    cycle = std::max(cycle, 1);
    const QDateTime second = now.addMSecs(-now.time().msec());
    const qint64 late = due.secsTo(second);
    LogStep step;
    if (late < 0) {
        const qint64 ahead = -late;
        step.next = ahead > cycle ? due.addSecs(-((ahead - 1) / cycle) * cycle) : due;
        return step;
    }
    step.write = true;
    if (late < std::min(cycle, kMaxLateSeconds)) {
        step.stamp = due;
        step.next = due.addSecs(cycle);
    } else {
        step.stamp = second;
        step.next = due.addSecs((late / cycle + 1) * cycle);
    }
    return step;
}

}  // namespace rdxmon
