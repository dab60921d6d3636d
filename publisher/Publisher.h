// The broker publisher: follows the polled values (a PollListener) and
// publishes each selected channel's reading to an MQTT broker.
//
// Topics, all retained, QoS 1:
//   <prefix>/<line>/<01-31>/<1-6>  {"value":12.3,"name":"Boiler in","time":"2026-12-07T03:04:05.120+01:00","stale":false}
//   <prefix>/<line>/status         "online" once connected, "offline" on a clean stop
//                                  and, as the last will, when the link to the broker breaks
//   <prefix>/<line>/<01-31>/<1-6>/alarm
//       {"limit":"high","state":"active unacknowledged","from":"normal","value":31.2,"by":"",
//        "name":"Boiler in","time":"...","high-high":"normal","high":"active unacknowledged",
//        "low":"normal","low-low":"normal"}
//   <prefix>/<line>/<01-31>/alarm  the recorder's communication alarm, "limit":"communication"
//       and no states per limit
//
// An alarm message goes out with every transition (the limit it was, its
// old and new state, who acknowledged), and holds every limit's present
// state, so the retained message is always the channel's whole picture.
//
// A channel is published after each complete reply of its recorder while
// its value is current (see PvState). When it stops being current (a missed
// poll, a dropped reply, the line lost) its last value goes out once more
// with its reply time and "stale":true; a channel without a reading (none
// yet, skipped, no number in its field) goes out once as
// {"value":null,...,"stale":true}. At start every channel of the polled
// recorders goes out that way, so the broker holds nothing of an earlier run
// as current. A channel taken off the log has its last value marked stale.
//
// Publishing never waits on the broker: messages go to the client library's
// queue and its own threads send them. While the broker is away the library
// keeps the newest kOfflineBuffer messages (the oldest are dropped) and
// reconnects by itself; a restart of the broker costs only state changes.
#ifndef RDXPUB_PUBLISHER_H
#define RDXPUB_PUBLISHER_H

#include <array>
#include <atomic>
#include <string>

#include <QDateTime>
#include <QObject>

#include "AlarmEvent.h"
#include "BrokerConfig.h"
#include "polling/PollListener.h"
#include "startup/SharedState.h"

namespace rdxpub {

class Publisher : public QObject, public rdxmon::PollListener, public rdxalarm::AlarmSink {
    Q_OBJECT
public:
    enum class State { Off, Connecting, Connected, Retrying };
    Q_ENUM(State)

    // Messages kept while the broker cannot be reached: a whole cycle of 31
    // recorders (186 channels) and some. Beyond that the oldest go.
    static constexpr int kOfflineBuffer = 250;

    // values: read only in the listener calls, on the thread that makes them.
    Publisher(const rdxmon::SharedState& values, BrokerConfig config, QObject* parent = nullptr);
    ~Publisher() override;  // stop()

    // Begins connecting (returns at once). Values published before the first
    // connection are kept like those of a broker that went away.
    void start();
    // Publishes "offline", waits for it at most about a second, and
    // disconnects. The state becomes Off.
    void stop();

    State state() const { return state_.load(); }
    // "off", "connecting", "connected", "retrying".
    static QString stateText(State state);

    const BrokerConfig& config() const { return config_; }

    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, rdxmon::MissReason why) override;

    // The alarm states read for the channel's picture (not owned); set it
    // before the alarms are told here.
    void setAlarmStates(const rdxalarm::AlarmStates* alarms) { alarms_ = alarms; }
    void alarmChanged(const rdxalarm::AlarmEvent& event) override;

Q_SIGNALS:
    // Emitted on the client library's threads as well: connect with a
    // receiver object to get it on that object's thread.
    void stateChanged(rdxpub::Publisher::State state);

private:
    void setState(State state);
    static void connected(void* context, char* cause);
    static void connectionLost(void* context, char* cause);
    // What a channel's topic holds since this run's last message.
    enum class Sent : std::uint8_t { Nothing, NoReading, Current, Stale };
    void publishSlot(int slot, const QDateTime& time);
    void publishChannel(int slot, int channel, Sent what, const QDateTime& time);
    void publish(const QString& topic, const QByteArray& payload);

    const rdxmon::SharedState& values_;
    const rdxalarm::AlarmStates* alarms_ = nullptr;
    const BrokerConfig config_;
    // The client library's handle (Paho's asynchronous C client, whose C++
    // wrapper would keep a token of every message the buffer drops).
    void* client_ = nullptr;
    std::string status_;  // the status topic
    std::atomic<State> state_{State::Off};
    // Per slot the time of its last reply; per channel what went out last.
    std::array<QDateTime, rdxmon::kSlotCount> lastReply_{};
    std::array<Sent, rdxmon::kChannelCount> sent_{};
};

}  // namespace rdxpub

#endif
