#include "Snapshot.h"

#include <limits>

#include "status/LineStatus.h"

namespace rdxgw {

using rdxmon::PvState;

Snapshot::Snapshot()
{
    value.fill(std::numeric_limits<float>::quiet_NaN());
    quality.fill(Quality::NoReading);
}

Quality qualityOf(PvState state, std::int16_t logSel)
{
    if (logSel == 0)
        return Quality::NotLogged;
    switch (state) {
    case PvState::Current:
        return Quality::Current;
    case PvState::Stale:
        return Quality::Stale;
    case PvState::Skipped:
        return Quality::Skipped;
    case PvState::NoReading:
        break;
    }
    return Quality::NoReading;
}

Snapshot takeSnapshot(const rdxmon::SharedState& state, const rdxmon::LineStatus& line,
                      const rdxalarm::AlarmStates* alarms, const QDateTime& now)
{
    Snapshot s;
    s.takenMs = now.toMSecsSinceEpoch();
    for (int k = 0; k < rdxmon::kChannelCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        s.quality[i] = qualityOf(state.gPvState[i], state.gChannel[i].LogSel);
        if (s.quality[i] == Quality::Current)
            s.value[i] = state.gPvValue[i];
        if (alarms)
            for (int l = 0; l < rdxalarm::kLimitCount; ++l)
                s.limits[i][static_cast<std::size_t>(l)] = alarms->limitState(k, static_cast<rdxalarm::AlarmLimit>(l));
    }
    for (int slot = 0; slot < rdxmon::kSlotCount; ++slot) {
        const rdxmon::LineStatus::Recorder& r = line.recorder(slot);
        RecorderFigures& f = s.recorders[static_cast<std::size_t>(slot)];
        f.lastReplyMs = r.lastReply.isValid() ? r.lastReply.toMSecsSinceEpoch() : -1;
        // Counts go round at 2^32, as Modbus counters do.
        f.answered = static_cast<std::uint32_t>(r.replies);
        f.missed = static_cast<std::uint32_t>(r.timeOuts);
        f.garbled = static_cast<std::uint32_t>(r.garbled);
        if (alarms)
            s.communication[static_cast<std::size_t>(slot)] = alarms->communicationState(slot);
    }
    return s;
}

}  // namespace rdxgw
