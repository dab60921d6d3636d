#include "AlarmEngine.h"

#include <algorithm>

#include "names/ChannelNames.h"
#include "startup/Lenient.h"

namespace rdxalarm {

namespace {

constexpr AlarmLimit kLimits[kLimitCount]
    = {AlarmLimit::HighHigh, AlarmLimit::High, AlarmLimit::Low, AlarmLimit::LowLow};

}  // namespace

AlarmEngine::AlarmEngine(const rdxmon::SharedState& values, rdxmon::Clock& clock, QObject* parent)
    : QObject(parent), values_(values), clock_(clock)
{
    lastReply_.fill(clock_.now());
    timer_.setInterval(kCheckIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &AlarmEngine::checkTime);
}

AlarmEngine::Alarm& AlarmEngine::alarm(const AlarmId& id)
{
    return id.communication ? communication_[id.index] : limits_[id.index][static_cast<int>(id.limit)];
}

const AlarmEngine::Alarm& AlarmEngine::alarm(const AlarmId& id) const
{
    return id.communication ? communication_[id.index] : limits_[id.index][static_cast<int>(id.limit)];
}

AlarmState AlarmEngine::state(const AlarmId& id) const
{
    const int count = id.communication ? rdxmon::kSlotCount : rdxmon::kChannelCount;
    return id.index >= 0 && id.index < count ? alarm(id).state : AlarmState::Normal;
}

AlarmState AlarmEngine::limitState(int channel, AlarmLimit limit) const
{
    return state(AlarmId::of(channel, limit));
}

AlarmState AlarmEngine::communicationState(int slot) const
{
    return state(AlarmId::communicationOf(slot));
}

void AlarmEngine::setSettings(const AlarmSettings& settings)
{
    const QDateTime now = clock_.now();
    const AlarmSettings old = std::exchange(settings_, settings);
    for (int k = 0; k < rdxmon::kChannelCount; ++k) {
        for (const AlarmLimit limit : kLimits) {
            const LimitSetting& s = settings_.at(k, limit);
            if (s == old.at(k, limit))
                continue;
            const AlarmId id = AlarmId::of(k, limit);
            alarm(id).beyondSince = QDateTime();
            if (!s.on && alarm(id).state != AlarmState::Normal)
                change(id, AlarmState::Normal, now);
        }
    }
    if (settings_.communicationTimeout == 0)
        for (int slot = 0; slot < rdxmon::kSlotCount; ++slot)
            if (communication_[slot].state != AlarmState::Normal)
                change(AlarmId::communicationOf(slot), AlarmState::Normal, now);
}

void AlarmEngine::replyTaken(int slot, const QDateTime&)
{
    if (slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    const QDateTime now = clock_.now();
    lastReply_[slot] = now;
    const AlarmId comm = AlarmId::communicationOf(slot);
    if (alarm(comm).state == AlarmState::ActiveUnacknowledged)
        change(comm, AlarmState::ReturnedUnacknowledged, now);
    else if (alarm(comm).state == AlarmState::ActiveAcknowledged)
        change(comm, AlarmState::Normal, now);
    for (int c = 0; c < rdxmon::kChannelsPerSlot; ++c)
        for (const AlarmLimit limit : kLimits)
            evaluate(slot * rdxmon::kChannelsPerSlot + c, limit, now);
}

void AlarmEngine::pollMissed(int, const QDateTime&, rdxmon::MissReason)
{
    checkTime();
}

void AlarmEngine::checkTime()
{
    const int timeout = settings_.communicationTimeout;
    if (timeout <= 0)
        return;
    const QDateTime now = clock_.now();
    for (int slot = 0; slot < std::min(values_.gRecTotal, rdxmon::kSlotCount); ++slot) {
        const AlarmId id = AlarmId::communicationOf(slot);
        if (!isActive(alarm(id).state) && lastReply_[slot].msecsTo(now) >= timeout * 1000LL)
            change(id, AlarmState::ActiveUnacknowledged, now);
    }
}

void AlarmEngine::evaluate(int channel, AlarmLimit limit, const QDateTime& now)
{
    const LimitSetting& s = settings_.at(channel, limit);
    if (!s.on || !rdxmon::isCurrent(values_.gPvState[channel]))
        return;
    const AlarmId id = AlarmId::of(channel, limit);
    Alarm& a = alarm(id);
    // Compared in single precision, as the recorder's value is kept: a
    // reading of "30.1" is not above a set point of 30.1.
    const float v = values_.gPvValue[channel];
    const float setPoint = static_cast<float>(s.setPoint);
    const float back = static_cast<float>(isHigh(limit) ? s.setPoint - s.deadband : s.setPoint + s.deadband);
    const bool beyond = isHigh(limit) ? v > setPoint : v < setPoint;
    if (beyond) {
        // A clock set back starts the count again rather than stretching it.
        if (!a.beyondSince.isValid() || a.beyondSince > now)
            a.beyondSince = now;
        if (!isActive(a.state) && a.beyondSince.msecsTo(now) >= s.delaySeconds * 1000LL)
            change(id, AlarmState::ActiveUnacknowledged, now);
        return;
    }
    a.beyondSince = QDateTime();
    if (!(isHigh(limit) ? v <= back : v >= back))
        return;  // inside the deadband: as it was
    if (a.state == AlarmState::ActiveUnacknowledged)
        change(id, AlarmState::ReturnedUnacknowledged, now);
    else if (a.state == AlarmState::ActiveAcknowledged)
        change(id, AlarmState::Normal, now);
}

bool AlarmEngine::acknowledge(const AlarmId& id, const QString& user)
{
    const AlarmState s = state(id);
    if (!isUnacknowledged(s))
        return false;
    change(id, s == AlarmState::ActiveUnacknowledged ? AlarmState::ActiveAcknowledged : AlarmState::Normal,
           clock_.now(), user);
    return true;
}

int AlarmEngine::acknowledgeAll(const QString& user)
{
    int count = 0;
    for (const Entry& e : present())
        count += acknowledge(e.id, user) ? 1 : 0;
    return count;
}

std::optional<float> AlarmEngine::currentValue(const AlarmId& id) const
{
    if (id.communication || !rdxmon::isCurrent(values_.gPvState[id.index]))
        return std::nullopt;
    return values_.gPvValue[id.index];
}

QString AlarmEngine::nameOf(const AlarmId& id) const
{
    if (id.communication)
        return QStringLiteral("recorder address %1").arg(rdxmon::format00(values_.gDevAddr[id.index]));
    return rdxmon::plainName(values_.gChannel[id.index].Name).trimmed();
}

void AlarmEngine::change(const AlarmId& id, AlarmState to, const QDateTime& now, const QString& user)
{
    Alarm& a = alarm(id);
    const AlarmEvent event{id, now, a.state, to, currentValue(id), nameOf(id), user};
    a.state = to;
    if (to == AlarmState::ActiveUnacknowledged) {
        a.raised = now;
        a.raisedValue = event.value;
    }
    for (AlarmSink* sink : sinks_)
        sink->alarmChanged(event);
    if (to == AlarmState::ReturnedUnacknowledged && !autoAcknowledge_.isEmpty())
        change(id, AlarmState::Normal, now, autoAcknowledge_);
}

std::vector<AlarmEngine::Entry> AlarmEngine::present() const
{
    std::vector<Entry> entries;
    for (int k = 0; k < rdxmon::kChannelCount; ++k)
        for (const AlarmLimit limit : kLimits)
            if (const Alarm& a = limits_[k][static_cast<int>(limit)]; a.state != AlarmState::Normal)
                entries.push_back({AlarmId::of(k, limit), a.state, a.raised, a.raisedValue});
    for (int slot = 0; slot < rdxmon::kSlotCount; ++slot)
        if (const Alarm& a = communication_[slot]; a.state != AlarmState::Normal)
            entries.push_back({AlarmId::communicationOf(slot), a.state, a.raised, std::nullopt});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.raised > b.raised; });
    return entries;
}

void AlarmEngine::addSink(AlarmSink* sink)
{
    if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end())
        sinks_.push_back(sink);
}

void AlarmEngine::removeSink(AlarmSink* sink)
{
    sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end());
}

void AlarmEngine::announce(AlarmSink& sink) const
{
    const QDateTime now = clock_.now();
    const auto tell = [&](const AlarmId& id) {
        const AlarmState s = alarm(id).state;
        sink.alarmChanged({id, now, s, s, currentValue(id), nameOf(id), {}});
    };
    const int slots = std::min(values_.gRecTotal, rdxmon::kSlotCount);
    for (int k = 0; k < slots * rdxmon::kChannelsPerSlot; ++k) {
        for (const AlarmLimit limit : kLimits) {
            if (settings_.at(k, limit).on) {
                tell(AlarmId::of(k, limit));
                break;
            }
        }
    }
    if (settings_.communicationTimeout > 0)
        for (int slot = 0; slot < slots; ++slot)
            tell(AlarmId::communicationOf(slot));
}

}  // namespace rdxalarm
