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
// queue and its own threads send them. While the broker cannot be reached
// the library keeps them, in order, up to the offline buffer's bound (see
// offlineCapacity); what comes beyond it is dropped and counted, and once the
// broker is back the latest message of every channel that lost one goes out
// again, so the broker ends up holding each channel's present state. The
// buffer may be kept on disk (BrokerConfig::bufferFolder, the library's own
// persistence), so that it survives a restart of the program. A thread of
// the publisher connects, and reconnects after every failure or lost
// connection, telling each failure's cause (fault()).
#ifndef RDXPUB_PUBLISHER_H
#define RDXPUB_PUBLISHER_H

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <QDateTime>
#include <QObject>

#include "AlarmEvent.h"
#include "BrokerConfig.h"
#include "polling/PollListener.h"
#include "startup/SharedState.h"

namespace rdxpub {

// Why the broker cannot be reached, in two lengths.
struct BrokerFault {
    QString message;  // a sentence for the log and a tooltip, naming the broker
    QString brief;  // a few words for the status line: "password refused"
    bool settings = false;  // only a change of settings (password, certificate) helps
    bool operator==(const BrokerFault&) const = default;
};

// How many messages the offline buffer holds for a line at baud bit/s: the
// values of kOfflineSeconds at the most the line can carry (six values a
// poll of 288 characters, 10 bits each), at most kOfflineBytes of the
// library's memory. An unreadable speed counts as 19200 bit/s.
inline constexpr int kOfflineSeconds = 20 * 60;
inline constexpr qint64 kOfflineBytes = 32LL * 1024 * 1024;
// What the library spends on one message it keeps (measured: topic and
// payload of about 120 bytes, and its own records).
inline constexpr qint64 kBufferedMessageBytes = 1100;
int offlineCapacity(int baud);
// The seconds of values that many messages hold at baud bit/s.
int offlineSeconds(int capacity, int baud);

class Publisher : public QObject, public rdxmon::PollListener, public rdxalarm::AlarmSink {
    Q_OBJECT
public:
    enum class State {
        Off,
        Connecting,
        Connected,
        Retrying
    };
    Q_ENUM(State)

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
    // Why the last attempt failed or the connection was lost; empty while
    // connected.
    BrokerFault fault() const;
    // For the status line: "retrying (password refused)", "connected",
    // "connected, 120 values dropped" (dropped while the broker was away).
    QString statusText() const;

    // The offline buffer's bound, in messages and in seconds of this line.
    int bufferCapacity() const { return capacity_; }
    int bufferSeconds() const;
    // Values the offline buffer had no room for, since start.
    long droppedValues() const { return dropped_.load(); }

    const BrokerConfig& config() const { return config_; }

    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, rdxmon::MissReason why) override;

    // The alarm states read for the channel's picture (not owned); set it
    // before the alarms are told here.
    void setAlarmStates(const rdxalarm::AlarmStates* alarms) { alarms_ = alarms; }
    void alarmChanged(const rdxalarm::AlarmEvent& event) override;

Q_SIGNALS:
    // Emitted on the library's and the publisher's threads as well: connect
    // with a receiver object to get it on that object's thread.
    // A new state, or the same state with another fault.
    void stateChanged(rdxpub::Publisher::State state);
    // The offline buffer became full (values are being dropped), or the
    // broker is back after values were dropped (full false).
    void bufferFull(bool full);

private:
    // What a channel's topic holds since this run's last message.
    enum class Sent : std::uint8_t {
        Nothing,
        NoReading,
        Current,
        Stale
    };
    void setState(State state, const BrokerFault& fault = {});
    void connectLoop();
    BrokerFault failureFault(int code, const QString& message);
    static void connectionLost(void* context, char* cause);
    void publishSlot(int slot, const QDateTime& time);
    void publishChannel(int slot, int channel, Sent what, const QDateTime& time);
    // Sends one message; channel -1 for the status topic. Under sendLock_.
    void publish(int channel, const QByteArray& topic, const QByteArray& payload);
    // While connected after values were refused: the latest message of every
    // channel that lost one goes out again, once the library takes it (the
    // kept messages are sent first). Tells bufferFull(false) when all went.
    void resend();

    const rdxmon::SharedState& values_;
    const rdxalarm::AlarmStates* alarms_ = nullptr;
    const BrokerConfig config_;
    int capacity_ = 0;
    int baud_ = 19200;
    // The client library's handle (Paho's asynchronous C client, whose C++
    // wrapper would keep a token of every message it sends).
    void* client_ = nullptr;
    std::string status_;  // the status topic
    std::atomic<State> state_{State::Off};
    std::atomic<long> dropped_{0};

    // The connecting thread and what it waits for.
    std::thread connector_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<bool> stopRequested_{false};
    bool attemptEnded_ = false;  // the connect under way succeeded or failed
    bool connected_ = false;
    bool lost_ = false;  // the connection was lost: connect again
    bool resendDue_ = false;  // the broker took a message while values wait to go again
    int failureCode_ = 0;
    QString failureMessage_, sslError_;
    BrokerFault fault_;

    // Sending: from the polling thread and, for the resend, the library's.
    std::mutex sendLock_;
    std::atomic<bool> full_{false};  // the buffer refused a message not sent again since
    bool fullChanged_ = false;  // full_ became true, not told yet
    // Per channel the last message tried, and whether the buffer refused one
    // since the last that went out.
    std::array<QByteArray, rdxmon::kChannelCount> lastPayload_{};
    std::array<bool, rdxmon::kChannelCount> refused_{};

    // Per slot the time of its last reply; per channel what went out last.
    std::array<QDateTime, rdxmon::kSlotCount> lastReply_{};
    std::array<Sent, rdxmon::kChannelCount> sent_{};
};

}  // namespace rdxpub

#endif
