// One alarm of the program and what happens to it: which alarm (a limit of
// a channel, or the communication alarm of a recorder), its transitions as
// the alarm engine tells them, and their words, shared by the journal, the
// broker, the service's messages and the windows.
#ifndef RDXALARM_ALARMEVENT_H
#define RDXALARM_ALARMEVENT_H

#include <optional>

#include <QDateTime>
#include <QString>

#include "AlarmStates.h"

namespace rdxalarm {

// A limit of a channel (index 0..185), or the communication alarm of a
// recorder slot (0..30).
struct AlarmId {
    int index = 0;
    bool communication = false;
    AlarmLimit limit = AlarmLimit::HighHigh;  // limits only

    static AlarmId of(int channel, AlarmLimit limit) { return {channel, false, limit}; }
    static AlarmId communicationOf(int slot) { return {slot, true, AlarmLimit::HighHigh}; }
    int slot() const { return communication ? index : index / 6; }
    bool operator==(const AlarmId&) const = default;
};

// One transition of one alarm.
struct AlarmEvent {
    AlarmId id;
    QDateTime time;
    AlarmState from = AlarmState::Normal;
    AlarmState to = AlarmState::Normal;
    std::optional<float> value;  // the channel's current value, if it has one
    QString name;  // the channel's name (blanks trimmed); empty for a recorder
    QString user;  // who acknowledged; empty for a change of the value
};

// "high-high", "high", "low", "low-low".
QString limitText(AlarmLimit limit);
// The limit as the windows show it: "High-high (HH)", "High (H)", ...
QString limitCaption(AlarmLimit limit);
// The limit's text, or "communication".
QString limitTextOf(const AlarmId& id);
// "normal", "active unacknowledged", "active acknowledged", "returned unacknowledged".
QString stateText(AlarmState state);
// "01-3" for a channel, "01" for a recorder slot.
QString alarmLabel(const AlarmId& id);
// The value as the CSV log writes it; empty without one.
QString valueText(const std::optional<float>& value);
// One line for the service's messages:
// "Alarm 01-3 Furnace high: normal -> active unacknowledged, value 612".
QString describe(const AlarmEvent& event);

// What follows the transitions (the journal, the broker, the windows).
class AlarmSink {
public:
    virtual ~AlarmSink() = default;
    virtual void alarmChanged(const AlarmEvent& event) = 0;
};

}  // namespace rdxalarm

#endif
