// A subscriber on a broker at 127.0.0.1, for the publisher's test and
// benchmark, through the same client library as the publisher (Paho's
// asynchronous C client). It subscribes at every connection, and hands
// each message to the handler (on the library's thread) or, without one,
// keeps it for next().
#ifndef RDXTEST_SUPPORT_BROKER_SUBSCRIBER_H
#define RDXTEST_SUPPORT_BROKER_SUBSCRIBER_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include <MQTTAsync.h>

namespace rdxtest {

struct BrokerMessage {
    std::string topic, payload;
    int qos = 0;
    bool retained = false;
};

class BrokerSubscriber {
public:
    using Handler = std::function<void(const BrokerMessage&)>;

    // Connects as clientId and subscribes to topic (QoS 1). keepConnected:
    // connect again by itself, every second, while the broker is away.
    BrokerSubscriber(int port, const std::string& topic, const std::string& clientId, Handler handler = {},
                     bool keepConnected = false)
        : topic_(topic), handler_(std::move(handler))
    {
        const std::string uri = "tcp://127.0.0.1:" + std::to_string(port);
        MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
        create.MQTTVersion = MQTTVERSION_3_1_1;
        if (MQTTAsync_createWithOptions(&client_, uri.c_str(), clientId.c_str(), MQTTCLIENT_PERSISTENCE_NONE,
                                        nullptr, &create) != MQTTASYNC_SUCCESS) {
            client_ = nullptr;
            return;
        }
        MQTTAsync_setCallbacks(client_, this, nullptr, &BrokerSubscriber::arrived, nullptr);
        MQTTAsync_setConnected(client_, this, &BrokerSubscriber::connected);
        MQTTAsync_connectOptions options = MQTTAsync_connectOptions_initializer;
        options.MQTTVersion = MQTTVERSION_3_1_1;
        options.cleansession = 1;
        options.connectTimeout = 3;
        options.automaticReconnect = keepConnected ? 1 : 0;
        options.minRetryInterval = 1;
        options.maxRetryInterval = 1;
        MQTTAsync_connect(client_, &options);
    }
    ~BrokerSubscriber() { stop(); }
    BrokerSubscriber(const BrokerSubscriber&) = delete;
    BrokerSubscriber& operator=(const BrokerSubscriber&) = delete;

    // True once subscribed, waiting at most ms for it.
    bool subscribed(int ms)
    {
        std::unique_lock lock(mutex_);
        return ready_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return subscribed_; });
    }
    // The next message kept, waiting at most ms for it.
    std::optional<BrokerMessage> next(int ms)
    {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !kept_.empty(); }))
            return std::nullopt;
        BrokerMessage m = std::move(kept_.front());
        kept_.pop_front();
        return m;
    }
    // Connects again at once (a connection under way is left to finish).
    void reconnect()
    {
        if (client_)
            MQTTAsync_reconnect(client_);
    }
    // Disconnects; no handler call comes after this returns.
    void stop()
    {
        if (!client_)
            return;
        MQTTAsync_disconnectOptions bye = MQTTAsync_disconnectOptions_initializer;
        bye.timeout = 1000;
        MQTTAsync_disconnect(client_, &bye);
        MQTTAsync_destroy(&client_);
        client_ = nullptr;
    }

private:
    static void connected(void* context, char*)
    {
        auto* self = static_cast<BrokerSubscriber*>(context);
        MQTTAsync_responseOptions options = MQTTAsync_responseOptions_initializer;
        options.context = self;
        options.onSuccess = [](void* context, MQTTAsync_successData*) {
            auto* self = static_cast<BrokerSubscriber*>(context);
            std::lock_guard lock(self->mutex_);
            self->subscribed_ = true;
            self->ready_.notify_all();
        };
        MQTTAsync_subscribe(self->client_, self->topic_.c_str(), 1, &options);
    }
    static int arrived(void* context, char* topic, int topicLength, MQTTAsync_message* message)
    {
        auto* self = static_cast<BrokerSubscriber*>(context);
        BrokerMessage m{topicLength > 0 ? std::string(topic, static_cast<std::size_t>(topicLength)) : std::string(topic),
                        std::string(static_cast<const char*>(message->payload),
                                    static_cast<std::size_t>(message->payloadlen)),
                        message->qos, message->retained != 0};
        MQTTAsync_freeMessage(&message);
        MQTTAsync_free(topic);
        if (self->handler_)
            return self->handler_(m), 1;
        std::lock_guard lock(self->mutex_);
        self->kept_.push_back(std::move(m));
        self->ready_.notify_all();
        return 1;
    }

    std::string topic_;
    Handler handler_;
    MQTTAsync client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool subscribed_ = false;
    std::deque<BrokerMessage> kept_;
};

}  // namespace rdxtest

#endif
