#include "Publisher.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include <MQTTAsync.h>

#include "names/ChannelNames.h"

namespace rdxpub {

namespace {

constexpr int kQos = 1;
constexpr int kStopWaitMs = 1000;

QByteArray jsonString(const QString& text)
{
    QByteArray out = "\"";
    for (const char ch : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\')
            out += '\\', out += ch;
        else if (c < 0x20)
            out += QStringLiteral("\\u%1").arg(c, 4, 16, QChar(u'0')).toLatin1();
        else
            out += ch;
    }
    return out + '"';
}

// Local time with milliseconds and its offset from UTC: 2026-12-07T03:04:05.120+01:00.
QByteArray isoTime(const QDateTime& time)
{
    const int offset = time.offsetFromUtc() / 60;
    const int a = std::abs(offset);
    return (time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + QChar(offset < 0 ? u'-' : u'+') +
            QStringLiteral("%1:%2").arg(a / 60, 2, 10, QChar(u'0')).arg(a % 60, 2, 10, QChar(u'0')))
        .toLatin1();
}

// The shortest text that reads back as the same float: what the recorder sent.
QByteArray jsonNumber(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return QByteArray(text, end - text);
}

// Sends one retained QoS 1 message; token (when given) gets its number.
int send(void* client, const char* topic, const QByteArray& payload, MQTTAsync_responseOptions* token = nullptr)
{
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char*>(payload.constData());
    message.payloadlen = static_cast<int>(payload.size());
    message.qos = kQos;
    message.retained = 1;
    return MQTTAsync_sendMessage(client, topic, &message, token);
}

int dropMessage(void*, char* topic, int, MQTTAsync_message* message)
{
    MQTTAsync_freeMessage(&message);
    MQTTAsync_free(topic);
    return 1;
}

}  // namespace

Publisher::Publisher(const rdxmon::SharedState& values, BrokerConfig config, QObject* parent)
    : QObject(parent), values_(values), config_(std::move(config)), status_(config_.statusTopic().toStdString())
{
}

Publisher::~Publisher()
{
    stop();
}

QString Publisher::stateText(State state)
{
    switch (state) {
    case State::Connecting: return QStringLiteral("connecting");
    case State::Connected: return QStringLiteral("connected");
    case State::Retrying: return QStringLiteral("retrying");
    case State::Off: break;
    }
    return QStringLiteral("off");
}

void Publisher::setState(State state)
{
    if (state_.exchange(state) != state)
        Q_EMIT stateChanged(state);
}

void Publisher::connected(void* context, char*)
{
    auto* self = static_cast<Publisher*>(context);
    send(self->client_, self->status_.c_str(), "online");
    self->setState(State::Connected);
}

void Publisher::connectionLost(void* context, char*)
{
    static_cast<Publisher*>(context)->setState(State::Retrying);
}

void Publisher::start()
{
    if (client_)
        return;
    // The offline buffer and the reconnecting are the library's: it keeps the
    // newest messages from before the first connection on, and tries again
    // every second or so while the broker is away.
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    create.sendWhileDisconnected = 1;
    create.allowDisconnectedSendAtAnyTime = 1;
    create.maxBufferedMessages = kOfflineBuffer;
    create.deleteOldestMessages = 1;
    const QByteArray uri = config_.serverUri().toUtf8(), id = config_.clientId.toUtf8();
    if (MQTTAsync_createWithOptions(&client_, uri.constData(), id.constData(), MQTTCLIENT_PERSISTENCE_NONE, nullptr,
                                    &create) != MQTTASYNC_SUCCESS) {
        client_ = nullptr;
        return;
    }
    MQTTAsync_setCallbacks(client_, this, &Publisher::connectionLost, &dropMessage, nullptr);
    MQTTAsync_setConnected(client_, this, &Publisher::connected);

    const QByteArray user = config_.user.toUtf8(), ca = config_.caFile.toUtf8();
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    will.topicName = status_.c_str();
    will.message = "offline";
    will.retained = 1;
    will.qos = kQos;
    MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
    ssl.trustStore = ca.constData();
    ssl.enableServerCertAuth = 1;
    ssl.verify = 1;
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    options.cleansession = 1;
    options.keepAliveInterval = 10;
    options.connectTimeout = 5;
    options.automaticReconnect = 1;
    options.minRetryInterval = 1;
    options.maxRetryInterval = 1;
    options.will = &will;
    options.context = this;
    options.onFailure = [](void* context, MQTTAsync_failureData*) {
        static_cast<Publisher*>(context)->setState(State::Retrying);
    };
    if (!config_.user.isEmpty()) {
        options.username = user.constData();
        options.binarypwd.data = config_.password.constData();
        options.binarypwd.len = static_cast<int>(config_.password.size());
    }
    if (config_.tls())
        options.ssl = &ssl;
    setState(State::Connecting);
    if (MQTTAsync_connect(client_, &options) != MQTTASYNC_SUCCESS)
        setState(State::Retrying);

    // What the broker still holds from an earlier run is not a reading of
    // this one: every channel of the polled recorders says "no reading"
    // until its recorder answers (also when the port never opens).
    const QDateTime now = QDateTime::currentDateTime();
    for (int slot = 0; slot < values_.gRecTotal; ++slot)
        for (int c = 1; c <= rdxmon::kChannelsPerSlot; ++c)
            publishChannel(slot, c, Sent::NoReading, now);
}

void Publisher::stop()
{
    if (!client_)
        return;
    if (MQTTAsync_isConnected(client_)) {
        // "offline" first, then the goodbye (which ends the will).
        MQTTAsync_responseOptions token = MQTTAsync_responseOptions_initializer;
        if (send(client_, status_.c_str(), "offline", &token) == MQTTASYNC_SUCCESS)
            MQTTAsync_waitForCompletion(client_, token.token, kStopWaitMs);
        MQTTAsync_disconnectOptions bye = MQTTAsync_disconnectOptions_initializer;
        if (MQTTAsync_disconnect(client_, &bye) == MQTTASYNC_SUCCESS)
            for (int ms = 0; ms < kStopWaitMs && MQTTAsync_isConnected(client_); ms += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    MQTTAsync_destroy(&client_);
    client_ = nullptr;
    setState(State::Off);
}

void Publisher::publish(const QString& topic, const QByteArray& payload)
{
    // Refused only while stopping or with the library out of resources: the
    // value is then lost to the broker, and only to the broker.
    send(client_, topic.toUtf8().constData(), payload);
}

void Publisher::publishChannel(int slot, int channel, Sent what, const QDateTime& time)
{
    const int k = slot * rdxmon::kChannelsPerSlot + (channel - 1);
    QByteArray value = "null";
    if (what == Sent::Current || what == Sent::Stale)
        value = jsonNumber(values_.gPvValue[k]);
    const bool stale = what != Sent::Current;
    publish(config_.valueTopic(slot, channel),
            "{\"value\":" + value + ",\"name\":" + jsonString(rdxmon::plainName(values_.gChannel[k].Name).trimmed()) +
                ",\"time\":\"" + isoTime(time) + "\",\"stale\":" + (stale ? "true" : "false") + '}');
    sent_[k] = what;
}

void Publisher::publishSlot(int slot, const QDateTime& time)
{
    if (!client_ || slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    for (int c = 1; c <= rdxmon::kChannelsPerSlot; ++c) {
        const int k = slot * rdxmon::kChannelsPerSlot + (c - 1);
        const rdxmon::PvState pv = values_.gPvState[k];
        Sent what = Sent::NoReading;
        if (values_.gChannel[k].LogSel == 0) {
            // Taken off the log: the last value it published is marked, once.
            if (sent_[k] == Sent::Current)
                publishChannel(slot, c, Sent::Stale, lastReply_[slot]);
            continue;
        }
        if (pv == rdxmon::PvState::Current)
            what = Sent::Current;
        else if (pv == rdxmon::PvState::Stale)
            what = Sent::Stale;
        // A current value goes out with every reply; any other state once,
        // when the channel enters it. A stale value keeps its reply's time.
        if (what == Sent::Current || what != sent_[k])
            publishChannel(slot, c, what, what == Sent::NoReading ? time : lastReply_[slot]);
    }
}

void Publisher::replyTaken(int slot, const QDateTime& time)
{
    if (slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    lastReply_[slot] = time;
    publishSlot(slot, time);
}

void Publisher::pollMissed(int slot, const QDateTime& time, rdxmon::MissReason)
{
    publishSlot(slot, time);
}

void Publisher::alarmChanged(const rdxalarm::AlarmEvent& e)
{
    if (!client_)
        return;
    const auto text = [](const QString& t) { return jsonString(t); };
    QByteArray payload = "{\"limit\":" + text(rdxalarm::limitTextOf(e.id)) + ",\"state\":" +
                         text(rdxalarm::stateText(e.to)) + ",\"from\":" + text(rdxalarm::stateText(e.from)) +
                         ",\"value\":" + (e.value ? jsonNumber(*e.value) : QByteArray("null")) +
                         ",\"by\":" + text(e.user) + ",\"name\":" + text(e.name) + ",\"time\":\"" +
                         isoTime(e.time) + '"';
    if (!e.id.communication && alarms_) {
        for (const auto limit : {rdxalarm::AlarmLimit::HighHigh, rdxalarm::AlarmLimit::High, rdxalarm::AlarmLimit::Low,
                                 rdxalarm::AlarmLimit::LowLow})
            payload += ',' + text(rdxalarm::limitText(limit)) + ':' +
                       text(rdxalarm::stateText(alarms_->limitState(e.id.index, limit)));
    }
    const int channel = e.id.communication ? 0 : e.id.index % rdxmon::kChannelsPerSlot + 1;
    publish(config_.alarmTopic(e.id.slot(), channel), payload + '}');
}

}  // namespace rdxpub
