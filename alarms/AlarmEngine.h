// The alarm engine: follows the polled values (a PollListener, on the
// thread that keeps them) and keeps every alarm's state:
//
//   normal -> active unacknowledged -> active acknowledged -> normal
//   active unacknowledged -> returned unacknowledged -> normal
//   returned unacknowledged -> active unacknowledged (beyond the limit again)
//
// A limit is raised once the channel's current value has stayed beyond its
// set point (above a high limit, below a low one) for the on-delay: each
// reading beyond it counts from the first reading of the run beyond it, and
// a reading back inside starts the count anew. An active alarm returns at
// the first reading back inside the set point by the deadband. A channel
// whose value is not current (stale, no reading, skipped) neither raises
// nor returns anything: its alarms stay as they are, the count included.
//
// A recorder that has had no complete reply for the communication time-out
// (counted from the engine's start while it has never answered) raises its
// communication alarm; its next reply returns it.
//
// Every transition goes to the sinks. The work is a few comparisons per
// reply; nothing here waits.
#ifndef RDXALARM_ALARMENGINE_H
#define RDXALARM_ALARMENGINE_H

#include <array>
#include <vector>

#include <QObject>
#include <QTimer>

#include "AlarmEvent.h"
#include "AlarmSettings.h"
#include "AlarmStates.h"
#include "polling/PollListener.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

namespace rdxalarm {

class AlarmEngine : public QObject, public AlarmStates, public rdxmon::PollListener {
    Q_OBJECT
public:
    // How often the communication time-outs are looked at (start()).
    static constexpr int kCheckIntervalMs = 1000;

    // values: read in the listener calls; clock: the time of every
    // evaluation (the start counts from now).
    AlarmEngine(const rdxmon::SharedState& values, rdxmon::Clock& clock, QObject* parent = nullptr);

    // New limits: a limit turned off (or the communication alarm) that is
    // not normal goes back to normal, told as a transition; a changed limit
    // keeps its state and is judged by its new values from the next reading.
    void setSettings(const AlarmSettings& settings);
    const AlarmSettings& settings() const { return settings_; }

    // Where no one acknowledges (the service): an alarm that returns is
    // acknowledged at once in the name of by, and so goes back to normal.
    void acknowledgeOnReturn(const QString& by) { autoAcknowledge_ = by; }

    // Starts looking at the communication time-outs every second.
    void start() { timer_.start(); }
    // Raises the communication alarm of every recorder without a reply for
    // the time-out (the timer calls it; tests call it directly).
    void checkTime();

    // The operator acknowledges: active unacknowledged becomes acknowledged,
    // returned unacknowledged normal. False when there was nothing to do.
    bool acknowledge(const AlarmId& id, const QString& user);
    // Every unacknowledged alarm, newest first; how many.
    int acknowledgeAll(const QString& user);

    // The alarms that are not normal, newest first (by the time raised).
    struct Entry {
        AlarmId id;
        AlarmState state;
        QDateTime raised;
        std::optional<float> value;  // at the raise
    };
    std::vector<Entry> present() const;
    AlarmState state(const AlarmId& id) const;
    // The channel's name (blanks trimmed), or "recorder address 05".
    QString nameOf(const AlarmId& id) const;

    // Sinks told of every transition (not owned; remove before deleting one).
    void addSink(AlarmSink* sink);
    void removeSink(AlarmSink* sink);
    // Tells sink the present state of every alarm watched (one event per
    // channel with a limit, per polled recorder with the communication
    // alarm), from and to alike: a fresh reader's picture.
    void announce(AlarmSink& sink) const;

    // AlarmStates.
    AlarmState limitState(int channel, AlarmLimit limit) const override;
    AlarmState communicationState(int slot) const override;

    // PollListener.
    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, rdxmon::MissReason why) override;

private:
    struct Alarm {
        AlarmState state = AlarmState::Normal;
        QDateTime raised;
        std::optional<float> raisedValue;
        QDateTime beyondSince;  // the count of the on-delay; invalid: not beyond
    };
    Alarm& alarm(const AlarmId& id);
    const Alarm& alarm(const AlarmId& id) const;
    void evaluate(int channel, AlarmLimit limit, const QDateTime& now);
    void change(const AlarmId& id, AlarmState to, const QDateTime& now, const QString& user = {});
    std::optional<float> currentValue(const AlarmId& id) const;

    const rdxmon::SharedState& values_;
    rdxmon::Clock& clock_;
    AlarmSettings settings_;
    QString autoAcknowledge_;
    std::array<std::array<Alarm, kLimitCount>, rdxmon::kChannelCount> limits_{};
    std::array<Alarm, rdxmon::kSlotCount> communication_{};
    std::array<QDateTime, rdxmon::kSlotCount> lastReply_{};
    std::vector<AlarmSink*> sinks_;
    QTimer timer_;
};

}  // namespace rdxalarm

#endif
