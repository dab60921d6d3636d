#include "AlarmEvent.h"

#include "logging/CsvFormat.h"
#include "names/ChannelNames.h"
#include "startup/Lenient.h"

namespace rdxalarm {

QString limitText(AlarmLimit limit)
{
    switch (limit) {
    case AlarmLimit::HighHigh:
        return QStringLiteral("high-high");
    case AlarmLimit::High:
        return QStringLiteral("high");
    case AlarmLimit::Low:
        return QStringLiteral("low");
    case AlarmLimit::LowLow:
        break;
    }
    return QStringLiteral("low-low");
}

QString limitCaption(AlarmLimit limit)
{
    switch (limit) {
    case AlarmLimit::HighHigh:
        return QStringLiteral("High-high (HH)");
    case AlarmLimit::High:
        return QStringLiteral("High (H)");
    case AlarmLimit::Low:
        return QStringLiteral("Low (L)");
    case AlarmLimit::LowLow:
        break;
    }
    return QStringLiteral("Low-low (LL)");
}

QString limitTextOf(const AlarmId& id)
{
    return id.communication ? QStringLiteral("communication") : limitText(id.limit);
}

QString stateText(AlarmState state)
{
    switch (state) {
    case AlarmState::ActiveUnacknowledged:
        return QStringLiteral("active unacknowledged");
    case AlarmState::ActiveAcknowledged:
        return QStringLiteral("active acknowledged");
    case AlarmState::ReturnedUnacknowledged:
        return QStringLiteral("returned unacknowledged");
    case AlarmState::Normal:
        break;
    }
    return QStringLiteral("normal");
}

QString alarmLabel(const AlarmId& id)
{
    return id.communication ? rdxmon::format00(id.index + 1) : rdxmon::channelLabel(id.index);
}

QString valueText(const std::optional<float>& value)
{
    return value ? rdxmon::csvNumber(*value) : QString();
}

QString describe(const AlarmEvent& e)
{
    QString text = QStringLiteral("Alarm %1").arg(alarmLabel(e.id));
    if (!e.name.isEmpty())
        text += u' ' + e.name;
    text += QStringLiteral(" %1: %2 -> %3").arg(limitTextOf(e.id), stateText(e.from), stateText(e.to));
    if (e.value)
        text += QStringLiteral(", value ") + valueText(e.value);
    if (!e.user.isEmpty())
        text += QStringLiteral(", acknowledged by ") + e.user;
    return text;
}

}  // namespace rdxalarm
