#include "Publisher.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include <MQTTAsync.h>

#include "names/ChannelNames.h"
#include "startup/Lenient.h"

namespace rdxpub {

namespace {

constexpr int kQos = 1;
constexpr int kStopWaitMs = 1000;
constexpr int kConnectTimeoutS = 5;
// Pauses between attempts: a broker that is away or restarting is tried
// again soon; one that refused the password or the certificate only needs
// its settings changed, and is not pressed every second.
constexpr auto kRetryPause = std::chrono::seconds(1);
constexpr auto kRefusedPause = std::chrono::seconds(10);

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
    return (time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) + QChar(offset < 0 ? u'-' : u'+')
            + QStringLiteral("%1:%2").arg(a / 60, 2, 10, QChar(u'0')).arg(a % 60, 2, 10, QChar(u'0')))
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

// The least a poll puts on the line, both ways: the open command, "TS0" and
// the data request (26 characters), the reply of 8 lines (256) and the close
// command (6).
constexpr int kPollCharacters = 288;

// The most values a line can give: six a poll, at 10 bits a character.
double valuesPerSecond(int baud)
{
    return 6.0 * (baud > 0 ? baud : 19200) / (kPollCharacters * 10.0);
}

// What became of a plain connection to the broker's address, tried to learn
// why the library's attempt failed.
struct Probe {
    enum class Outcome {
        UnknownHost,
        Refused,
        Unreachable,
        NoAnswer,
        Connected
    } outcome;
    QString reason;  // the system's words
};

Probe probe(const QString& host, int port, const std::atomic<bool>& stop)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int gai = ::getaddrinfo(host.toUtf8().constData(), std::to_string(port).c_str(), &hints, &found);
    if (gai != 0)
        return {Probe::Outcome::UnknownHost, QString::fromLocal8Bit(::gai_strerror(gai))};
    Probe first{Probe::Outcome::NoAnswer, {}};
    bool tried = false;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int err = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS) {
            err = ETIMEDOUT;
            pollfd p{fd, POLLOUT, 0};
            for (int waited = 0; waited < kConnectTimeoutS * 1000 && !stop; waited += 100) {
                if (::poll(&p, 1, 100) > 0) {
                    socklen_t len = sizeof err;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                    break;
                }
            }
        }
        ::close(fd);
        Probe outcome{Probe::Outcome::Unreachable, QString::fromLocal8Bit(std::strerror(err))};
        if (err == 0)
            outcome.outcome = Probe::Outcome::Connected;
        else if (err == ECONNREFUSED)
            outcome.outcome = Probe::Outcome::Refused;
        else if (err == ETIMEDOUT)
            outcome.outcome = Probe::Outcome::NoAnswer;
        if (err == 0) {
            ::freeaddrinfo(found);
            return outcome;
        }
        if (!tried)
            first = outcome, tried = true;
    }
    ::freeaddrinfo(found);
    return first;
}

}  // namespace

int offlineCapacity(int baud)
{
    const auto byTime = static_cast<qint64>(std::ceil(valuesPerSecond(baud) * kOfflineSeconds));
    return static_cast<int>(std::min(byTime, kOfflineBytes / kBufferedMessageBytes));
}

int offlineSeconds(int capacity, int baud)
{
    return static_cast<int>(capacity / valuesPerSecond(baud));
}

Publisher::Publisher(const rdxmon::SharedState& values, BrokerConfig config, QObject* parent)
    : QObject(parent), values_(values), config_(std::move(config)), status_(config_.statusTopic().toStdString())
{}

Publisher::~Publisher()
{
    stop();
}

QString Publisher::stateText(State state)
{
    switch (state) {
    case State::Connecting:
        return QStringLiteral("connecting");
    case State::Connected:
        return QStringLiteral("connected");
    case State::Retrying:
        return QStringLiteral("retrying");
    case State::Off:
        break;
    }
    return QStringLiteral("off");
}

BrokerFault Publisher::fault() const
{
    std::lock_guard<std::mutex> g(lock_);
    return fault_;
}

QString Publisher::statusText() const
{
    const State s = state();
    QString text = stateText(s);
    const BrokerFault f = fault();
    if (s != State::Connected && !f.brief.isEmpty())
        text += QStringLiteral(" (%1)").arg(f.brief);
    if (const long d = droppedValues(); d > 0)
        text += d == 1 ? QStringLiteral(", 1 value dropped") : QStringLiteral(", %1 values dropped").arg(d);
    return text;
}

int Publisher::bufferSeconds() const
{
    return offlineSeconds(capacity_, baud_);
}

void Publisher::setState(State state, const BrokerFault& fault)
{
    bool changed = false;
    {
        std::lock_guard<std::mutex> g(lock_);
        changed = fault_ != fault;
        fault_ = fault;
    }
    if (state_.exchange(state) != state || changed)
        Q_EMIT stateChanged(state);
}

void Publisher::start()
{
    if (client_)
        return;
    baud_ = rdxmon::lenientInt(values_.gInit.Speed);
    if (baud_ <= 0)
        baud_ = 19200;
    capacity_ = offlineCapacity(baud_);
    // The library keeps what cannot be sent, in order, from before the first
    // connection on; beyond the bound it refuses the newest, which is counted.
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    create.MQTTVersion = MQTTVERSION_3_1_1;
    create.sendWhileDisconnected = 1;
    create.allowDisconnectedSendAtAnyTime = 1;
    create.maxBufferedMessages = capacity_;
    create.deleteOldestMessages = 0;
    create.restoreMessages = 1;
    const QByteArray uri = config_.serverUri().toUtf8(), id = config_.clientId.toUtf8();
    const QByteArray folder = config_.bufferFolder.toUtf8();
    const int persistence = folder.isEmpty() ? MQTTCLIENT_PERSISTENCE_NONE : MQTTCLIENT_PERSISTENCE_DEFAULT;
    if (MQTTAsync_createWithOptions(&client_, uri.constData(), id.constData(), persistence,
                                    folder.isEmpty() ? nullptr : const_cast<char*>(folder.constData()), &create)
        != MQTTASYNC_SUCCESS) {
        client_ = nullptr;
        setState(State::Off,
                 {QStringLiteral("The client for the broker %1 could not be made (its buffer "
                                 "folder \"%2\" may not be usable); nothing is published.")
                      .arg(config_.serverUri(), config_.bufferFolder),
                  QStringLiteral("no client"), true});
        return;
    }
    // Each message the broker took makes room: what was refused may go again.
    // (The library calls with its own lock held: the sending is left to the
    // connecting thread, or it would wait on a sender waiting on that lock.)
    MQTTAsync_setCallbacks(client_, this, &Publisher::connectionLost, &dropMessage, [](void* context, MQTTAsync_token) {
        auto* self = static_cast<Publisher*>(context);
        if (!self->full_)
            return;
        {
            std::lock_guard<std::mutex> g(self->lock_);
            self->resendDue_ = true;
        }
        self->wake_.notify_all();
    });
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = false;
    }
    stopRequested_ = false;
    setState(State::Connecting);
    connector_ = std::thread([this] { connectLoop(); });

    // What the broker still holds from an earlier run is not a reading of
    // this one: every channel of the polled recorders says "no reading"
    // until its recorder answers (also when the port never opens).
    const QDateTime now = QDateTime::currentDateTime();
    for (int slot = 0; slot < values_.gRecTotal; ++slot)
        for (int c = 1; c <= rdxmon::kChannelsPerSlot; ++c)
            publishChannel(slot, c, Sent::NoReading, now);
}

void Publisher::connectLoop()
{
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
    ssl.ssl_error_context = this;
    ssl.ssl_error_cb = [](const char* text, size_t length, void* context) {
        auto* self = static_cast<Publisher*>(context);
        std::lock_guard<std::mutex> g(self->lock_);
        if (self->sslError_.isEmpty())
            self->sslError_ = QString::fromUtf8(text, static_cast<qsizetype>(length)).trimmed();
        return 1;
    };
    MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
    options.MQTTVersion = MQTTVERSION_3_1_1;
    // The broker keeps the session: messages under way when the connection
    // broke are sent again after the return, before the ones kept meanwhile.
    options.cleansession = 0;
    options.keepAliveInterval = 10;
    options.connectTimeout = kConnectTimeoutS;
    options.automaticReconnect = 0;  // this loop reconnects, knowing why it must
    options.will = &will;
    options.context = this;
    options.onSuccess = [](void* context, MQTTAsync_successData*) {
        auto* self = static_cast<Publisher*>(context);
        {
            std::lock_guard<std::mutex> g(self->lock_);
            self->connected_ = true;
            self->attemptEnded_ = true;
        }
        self->wake_.notify_all();
    };
    options.onFailure = [](void* context, MQTTAsync_failureData* data) {
        auto* self = static_cast<Publisher*>(context);
        {
            std::lock_guard<std::mutex> g(self->lock_);
            self->failureCode_ = data ? data->code : MQTTASYNC_FAILURE;
            self->failureMessage_ = data && data->message ? QString::fromUtf8(data->message) : QString();
            self->attemptEnded_ = true;
        }
        self->wake_.notify_all();
    };
    if (!config_.user.isEmpty()) {
        options.username = user.constData();
        options.binarypwd.data = config_.password.constData();
        options.binarypwd.len = static_cast<int>(config_.password.size());
    }
    if (config_.tls())
        options.ssl = &ssl;

    std::unique_lock<std::mutex> lock(lock_);
    while (!stopping_) {
        attemptEnded_ = connected_ = lost_ = false;
        failureCode_ = 0;
        failureMessage_.clear();
        sslError_.clear();
        lock.unlock();
        const int rc = MQTTAsync_connect(client_, &options);
        lock.lock();
        if (rc != MQTTASYNC_SUCCESS)
            failureCode_ = rc, attemptEnded_ = true;
        wake_.wait(lock, [this] { return stopping_ || attemptEnded_; });
        if (stopping_)
            break;
        if (connected_) {
            lock.unlock();
            {
                std::lock_guard<std::mutex> g(sendLock_);
                publish(-1, QByteArray::fromStdString(status_), "online");
            }
            setState(State::Connected);
            resend();
            lock.lock();
            for (;;) {
                wake_.wait(lock, [this] { return stopping_ || lost_ || resendDue_; });
                if (stopping_ || lost_)
                    break;
                resendDue_ = false;
                lock.unlock();
                resend();
                lock.lock();
            }
            continue;  // lost: at once again
        }
        const int code = failureCode_;
        const QString message = failureMessage_;
        lock.unlock();
        const BrokerFault why = failureFault(code, message);
        setState(State::Retrying, why);
        lock.lock();
        wake_.wait_for(lock, why.settings ? kRefusedPause : kRetryPause, [this] { return stopping_; });
    }
}

BrokerFault Publisher::failureFault(int code, const QString& message)
{
    const QString broker = config_.serverUri();
    const QString user = config_.user;
    switch (code) {
    case 1:
        return {QStringLiteral("The broker %1 refused the connection: it does not take MQTT 3.1.1.").arg(broker),
                QStringLiteral("protocol refused"), true};
    case 2:
        return {QStringLiteral("The broker %1 refused the client id \"%2\" (client_id in %3).")
                    .arg(broker, config_.clientId, kBrokerConfigFile),
                QStringLiteral("client id refused"), true};
    case 3:
        return {QStringLiteral("The broker %1 takes no clients now (server unavailable).").arg(broker),
                QStringLiteral("broker unavailable")};
    case 4:
    case 5:
        if (user.isEmpty())
            return {QStringLiteral("The broker %1 refused the connection without a user name and password "
                                   "(set user and password_file in %2).")
                        .arg(broker, kBrokerConfigFile),
                    QStringLiteral("password needed"), true};
        return {(code == 4 ? QStringLiteral("The broker %1 refused the user name or password (user \"%2\").")
                           : QStringLiteral("The broker %1 refused the user name or password, or does not let the "
                                            "user \"%2\" connect."))
                    .arg(broker, user),
                QStringLiteral("password refused"), true};
    default:
        break;
    }
    QString ssl;
    {
        std::lock_guard<std::mutex> g(lock_);
        ssl = sslError_;
    }
    if (ssl.contains(QLatin1String("certificate verify failed")))
        return {QStringLiteral("The certificate of the broker %1 failed the check against %2 (%3).")
                    .arg(broker, config_.caFile, QStringLiteral("certificate verify failed")),
                QStringLiteral("certificate check failed"), true};
    if (!ssl.isEmpty())
        return {QStringLiteral("The TLS connection to the broker %1 failed: %2.").arg(broker, ssl.section(u':', 5, 5)),
                QStringLiteral("TLS failed"), true};

    // The library tells little more than "connect failure": a plain
    // connection to the address says which.
    const Probe p = probe(config_.host, config_.port, stopRequested_);
    const QString said = message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message);
    switch (p.outcome) {
    case Probe::Outcome::UnknownHost:
        return {QStringLiteral("The broker's host name \"%1\" is not known (%2).").arg(config_.host, p.reason),
                QStringLiteral("unknown host")};
    case Probe::Outcome::Refused:
        return {QStringLiteral("The broker %1 refused the connection: nothing takes connections on port %2 of %3.")
                    .arg(broker)
                    .arg(config_.port)
                    .arg(config_.host),
                QStringLiteral("connection refused")};
    case Probe::Outcome::Unreachable:
        return {QStringLiteral("The broker %1 cannot be reached: %2.").arg(broker, p.reason),
                QStringLiteral("unreachable")};
    case Probe::Outcome::NoAnswer:
        return {QStringLiteral("The broker %1 does not answer (no connection within %2 s).")
                    .arg(broker)
                    .arg(kConnectTimeoutS),
                QStringLiteral("no answer")};
    case Probe::Outcome::Connected:
        break;
    }
    if (config_.tls())
        return {QStringLiteral("The TLS handshake with the broker %1 failed%2: its certificate may not be made out "
                               "to \"%3\", or the port may not speak TLS.")
                    .arg(broker, said, config_.host),
                QStringLiteral("TLS failed"), true};
    return {QStringLiteral("The broker %1 broke off the connection before it answered%2; a TLS port needs ca_file "
                           "in %3.")
                .arg(broker, said, kBrokerConfigFile),
            QStringLiteral("no MQTT answer")};
}

void Publisher::connectionLost(void* context, char* cause)
{
    auto* self = static_cast<Publisher*>(context);
    {
        std::lock_guard<std::mutex> g(self->lock_);
        self->connected_ = false;
        self->lost_ = true;
    }
    self->wake_.notify_all();
    const QString why = cause ? QStringLiteral(" (%1)").arg(QString::fromUtf8(cause)) : QString();
    self->setState(State::Retrying,
                   {QStringLiteral("The connection to the broker %1 was lost%2.").arg(self->config_.serverUri(), why),
                    QStringLiteral("connection lost")});
}

void Publisher::stop()
{
    if (!client_)
        return;
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    stopRequested_ = true;
    wake_.notify_all();
    if (connector_.joinable())
        connector_.join();
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

void Publisher::publish(int channel, const QByteArray& topic, const QByteArray& payload)
{
    // Refused when the offline buffer is full (or the library is out of
    // resources): the value is then lost to the broker, and only to it.
    const int rc = send(client_, topic.constData(), payload);
    if (channel < 0)
        return;
    lastPayload_[channel] = payload;
    refused_[channel] = rc != MQTTASYNC_SUCCESS;
    if (rc != MQTTASYNC_SUCCESS) {
        ++dropped_;
        if (!full_) {
            full_ = true;
            fullChanged_ = true;
        }
    }
}

void Publisher::resend()
{
    bool back = false;
    {
        std::lock_guard<std::mutex> g(sendLock_);
        if (!full_ || state() != State::Connected)
            return;
        for (int k = 0; k < rdxmon::kChannelCount; ++k) {
            if (!refused_[k])
                continue;
            const QByteArray topic
                = config_.valueTopic(k / rdxmon::kChannelsPerSlot, k % rdxmon::kChannelsPerSlot + 1).toUtf8();
            if (send(client_, topic.constData(), lastPayload_[k]) != MQTTASYNC_SUCCESS)
                return;  // the kept messages are still going out: later
            refused_[k] = false;
        }
        full_ = false, fullChanged_ = false;
        back = true;
    }
    if (back)
        Q_EMIT bufferFull(false);
}

void Publisher::publishChannel(int slot, int channel, Sent what, const QDateTime& time)
{
    const int k = slot * rdxmon::kChannelsPerSlot + (channel - 1);
    QByteArray value = "null";
    if (what == Sent::Current || what == Sent::Stale)
        value = jsonNumber(values_.gPvValue[k]);
    const bool stale = what != Sent::Current;
    const QByteArray payload = "{\"value\":" + value
        + ",\"name\":" + jsonString(rdxmon::plainName(values_.gChannel[k].Name).trimmed()) + ",\"time\":\""
        + isoTime(time) + "\",\"stale\":" + (stale ? "true" : "false") + '}';
    bool nowFull = false;
    {
        std::lock_guard<std::mutex> g(sendLock_);
        publish(k, config_.valueTopic(slot, channel).toUtf8(), payload);
        nowFull = std::exchange(fullChanged_, false) && full_;
    }
    if (nowFull)
        Q_EMIT bufferFull(true);
    sent_[k] = what;
}

void Publisher::publishSlot(int slot, const QDateTime& time)
{
    if (!client_ || slot < 0 || slot >= rdxmon::kSlotCount)
        return;
    resend();
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
    QByteArray payload = "{\"limit\":" + text(rdxalarm::limitTextOf(e.id))
        + ",\"state\":" + text(rdxalarm::stateText(e.to)) + ",\"from\":" + text(rdxalarm::stateText(e.from))
        + ",\"value\":" + (e.value ? jsonNumber(*e.value) : QByteArray("null")) + ",\"by\":" + text(e.user)
        + ",\"name\":" + text(e.name) + ",\"time\":\"" + isoTime(e.time) + '"';
    if (!e.id.communication && alarms_) {
        for (const auto limit : {rdxalarm::AlarmLimit::HighHigh, rdxalarm::AlarmLimit::High, rdxalarm::AlarmLimit::Low,
                                 rdxalarm::AlarmLimit::LowLow})
            payload += ',' + text(rdxalarm::limitText(limit)) + ':'
                + text(rdxalarm::stateText(alarms_->limitState(e.id.index, limit)));
    }
    const int channel = e.id.communication ? 0 : e.id.index % rdxmon::kChannelsPerSlot + 1;
    bool nowFull = false;
    {
        std::lock_guard<std::mutex> g(sendLock_);
        publish(-1, config_.alarmTopic(e.id.slot(), channel).toUtf8(), payload + '}');
        nowFull = std::exchange(fullChanged_, false) && full_;
    }
    if (nowFull)
        Q_EMIT bufferFull(true);
}

}  // namespace rdxpub
