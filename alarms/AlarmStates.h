// The alarm states every reader of alarms shares (the alarm list, the main
// window's marks, the broker, the Modbus gateway).
#ifndef RDXALARM_ALARMSTATES_H
#define RDXALARM_ALARMSTATES_H

#include <cstdint>

namespace rdxalarm {

// The limits of one channel, and the communication alarm of a recorder.
enum class AlarmLimit : std::uint8_t {
    HighHigh,
    High,
    Low,
    LowLow
};
inline constexpr int kLimitCount = 4;

// The usual state model of plant alarm handling.
enum class AlarmState : std::uint8_t {
    Normal,
    ActiveUnacknowledged,
    ActiveAcknowledged,
    ReturnedUnacknowledged,  // back in its band, not acknowledged yet
};

inline bool isActive(AlarmState s)
{
    return s == AlarmState::ActiveUnacknowledged || s == AlarmState::ActiveAcknowledged;
}
inline bool isUnacknowledged(AlarmState s)
{
    return s == AlarmState::ActiveUnacknowledged || s == AlarmState::ReturnedUnacknowledged;
}

// What readers of the alarms ask; the alarm engine answers. Called on the
// thread that keeps the values (the window thread in the program).
class AlarmStates {
public:
    virtual ~AlarmStates() = default;
    // Channel index 0..185, one of its four limits.
    virtual AlarmState limitState(int channel, AlarmLimit limit) const = 0;
    // Slot 0..30: the recorder has had no reading for the set time.
    virtual AlarmState communicationState(int slot) const = 0;
};

}  // namespace rdxalarm

#endif
