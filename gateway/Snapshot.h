// What the gateway serves, copied on the thread that keeps the values after
// each finished poll and handed to the server's thread: the server never
// reads the shared state.
#ifndef RDXGW_SNAPSHOT_H
#define RDXGW_SNAPSHOT_H

#include <array>
#include <cstdint>

#include <QDateTime>

#include "RegisterMap.h"
#include "alarms/AlarmStates.h"
#include "startup/SharedState.h"

namespace rdxmon {
class LineStatus;
}

namespace rdxgw {

struct RecorderFigures {
    qint64 lastReplyMs = -1;  // ms since the epoch; -1: no reply since start
    std::uint32_t answered = 0, missed = 0, garbled = 0;
};

struct Snapshot {
    qint64 takenMs = 0;  // when it was taken, on the same clock as lastReplyMs
    // The value of a channel that is current; a NaN for every other one.
    std::array<float, rdxmon::kChannelCount> value{};
    std::array<Quality, rdxmon::kChannelCount> quality{};
    std::array<RecorderFigures, rdxmon::kSlotCount> recorders{};
    std::array<std::array<rdxalarm::AlarmState, rdxalarm::kLimitCount>, rdxmon::kChannelCount> limits{};
    std::array<rdxalarm::AlarmState, rdxmon::kSlotCount> communication{};

    Snapshot();
};

// A channel's quality: not logged (deselected) before anything else, then
// its value state.
Quality qualityOf(rdxmon::PvState state, std::int16_t logSel);

// The values, their qualities, the recorders' figures as line says and, with
// alarms, the alarm states, at now.
Snapshot takeSnapshot(const rdxmon::SharedState& state, const rdxmon::LineStatus& line,
                      const rdxalarm::AlarmStates* alarms, const QDateTime& now);

}  // namespace rdxgw

#endif
