// A real mosquitto broker on a free loopback port, and a subscriber to it.
#ifndef RDXPUB_TEST_BROKER_SUPPORT_H
#define RDXPUB_TEST_BROKER_SUPPORT_H

#include <memory>
#include <string>

#include <mqtt/async_client.h>
#include <sys/types.h>

class Broker {
public:
    Broker();   // picks the port and starts it
    ~Broker();  // stops it
    bool start();  // true once it takes connections (at most 3 s)
    void stop();
    int port() const { return port_; }

private:
    int port_ = 0;
    pid_t pid_ = -1;
};

class Subscriber {
public:
    Subscriber(int port, const std::string& topic);  // subscribed on return
    // The next message within ms, or null.
    mqtt::const_message_ptr next(int ms);

private:
    std::unique_ptr<mqtt::async_client> client_;
};

// Starts argv as a child process with env extra; returns its pid.
pid_t spawn(const std::vector<std::string>& argv, const std::string& env = {});

#endif
