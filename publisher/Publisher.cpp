#include "Publisher.h"

#include <charconv>

#include <mqtt/async_client.h>

namespace rdxpub {

namespace {

constexpr int kQos = 1;
constexpr auto kStopWait = std::chrono::milliseconds(1000);

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

}  // namespace

Publisher::Publisher(const rdxmon::SharedState& values, BrokerConfig config, QObject* parent)
    : QObject(parent), values_(values), config_(std::move(config))
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

void Publisher::start()
{
    if (client_)
        return;
    // The offline buffer and the reconnecting are the library's: it keeps the
    // newest messages from before the first connection on, and tries again
    // every second or two while the broker is away.
    mqtt::create_options create(MQTTVERSION_3_1_1, kOfflineBuffer);
    create.set_send_while_disconnected(true, true);
    create.set_delete_oldest_messages(true);
    client_ = std::make_unique<mqtt::async_client>(config_.serverUri().toStdString(),
                                                   config_.clientId.toStdString(), create);

    const std::string status = config_.statusTopic().toStdString();
    client_->set_connected_handler([this, status](const std::string&) {
        try {
            client_->publish(status, "online", 6, kQos, true);
        } catch (const mqtt::exception&) {
            // Lost again at once: the next connection says it.
        }
        setState(State::Connected);
    });
    client_->set_connection_lost_handler([this](const std::string&) { setState(State::Retrying); });

    mqtt::connect_options options;
    options.set_mqtt_version(MQTTVERSION_3_1_1);
    options.set_clean_session(true);
    options.set_keep_alive_interval(10);
    options.set_connect_timeout(5);
    options.set_automatic_reconnect(1, 1);
    options.set_will(mqtt::will_options(status, std::string("offline"), kQos, true));
    if (!config_.user.isEmpty()) {
        options.set_user_name(config_.user.toStdString());
        options.set_password(config_.password.toStdString());
    }
    if (config_.tls()) {
        mqtt::ssl_options ssl;
        ssl.set_trust_store(config_.caFile.toStdString());
        ssl.set_enable_server_cert_auth(true);
        ssl.set_verify(true);
        options.set_ssl(ssl);
    }
    setState(State::Connecting);
    try {
        client_->connect(options);
    } catch (const mqtt::exception&) {
        setState(State::Retrying);
    }
}

void Publisher::stop()
{
    if (!client_)
        return;
    try {
        if (client_->is_connected()) {
            // "offline" first, then the goodbye (which ends the will).
            client_->publish(config_.statusTopic().toStdString(), "offline", 7, kQos, true)->wait_for(kStopWait);
        }
        client_->disconnect(0)->wait_for(kStopWait);
        client_->disable_callbacks();
    } catch (const mqtt::exception&) {
        // Already gone, or still going (the library ends it with the client).
    }
    client_.reset();
    setState(State::Off);
}

void Publisher::publish(const QString& topic, const QByteArray& payload)
{
    try {
        client_->publish(topic.toStdString(), payload.constData(), payload.size(), kQos, true);
    } catch (const mqtt::exception&) {
        // Not accepted (stopping, or the library refuses): the value is lost
        // to the broker, and only to the broker.
    }
}

void Publisher::publishSlot(int slot, const QDateTime& time, bool stale)
{
    if (!client_ || slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    const QByteArray when = isoTime(time);
    for (int c = 1; c <= rdxmon::kChannelsPerSlot; ++c) {
        const int k = slot * rdxmon::kChannelsPerSlot + (c - 1);
        if (values_.gChannel[k].LogSel == 0 || !values_.gPvRead[k])
            continue;
        publish(config_.valueTopic(slot, c),
                "{\"value\":" + jsonNumber(values_.gPvValue[k]) + ",\"name\":" +
                    jsonString(values_.gChannel[k].Name.trimmed()) + ",\"time\":\"" + when +
                    "\",\"stale\":" + (stale ? "true" : "false") + '}');
    }
}

void Publisher::replyTaken(int slot, const QDateTime& time)
{
    if (slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    lastReply_[slot] = time;
    staleSent_[slot] = false;
    publishSlot(slot, time, false);
}

void Publisher::pollMissed(int slot, const QDateTime& time)
{
    Q_UNUSED(time)
    if (slot < 0 || slot >= rdxmon::kSlotCount || staleSent_[slot] || !lastReply_[slot].isValid())
        return;
    staleSent_[slot] = true;
    publishSlot(slot, lastReply_[slot], true);
}

}  // namespace rdxpub
