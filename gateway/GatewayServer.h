// The Modbus TCP server of the gateway, on a thread of its own. It serves
// the register map read-only from the newest snapshot it was handed, to
// many clients at once; libmodbus builds the replies.
//
// Requests: function 04 (input registers) and 02 (discrete inputs) inside
// the map are answered with the values; a read of coils (01) or holding
// registers (03), or a range that leaves the map, gets the exception
// "illegal data address"; every other function (all writes among them)
// gets "illegal function"; a quantity out of 1..125 registers or 1..2000
// bits, or a request of the wrong length, gets "illegal data value".
//
// No client can hold the others, the polling or the window: the sockets
// never block, a request has requestMs to arrive whole, a connection
// without a request for idleMs is closed, as is one that does not take its
// replies; at most maxClients are served at once (more are closed at once),
// and only the clients the settings allow.
#ifndef RDXGW_GATEWAYSERVER_H
#define RDXGW_GATEWAYSERVER_H

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include <QString>

#include "GatewayConfig.h"
#include "Snapshot.h"

namespace rdxgw {

struct ServerLimits {
    int maxClients = 16;
    int requestMs = 2000;
    int idleMs = 60000;
};

class GatewayServer {
public:
    explicit GatewayServer(GatewayConfig config, ServerLimits limits = {});
    ~GatewayServer();  // stop()
    GatewayServer(const GatewayServer&) = delete;
    GatewayServer& operator=(const GatewayServer&) = delete;

    // Listens on the configured address and starts the thread; false, with
    // the reason in problem, when it cannot listen there.
    bool start(QString* problem);
    // Closes every connection and ends the thread (waits for it).
    void stop();

    // Hands over the values to serve from now on (any thread; copied).
    void publish(const Snapshot& snapshot);

    // The port listened on (the system's pick when the settings say 0).
    int port() const { return port_; }
    // Clients connected now.
    int clients() const { return clients_.load(); }

    const GatewayConfig& config() const { return config_; }

private:
    struct Connection;
    void run();
    void accept();
    // false: the connection is to be closed.
    bool readFrom(Connection& c, qint64 now);
    bool answer(Connection& c, const std::uint8_t* frame, int length, qint64 now);
    void refreshImage(qint64 now);

    const GatewayConfig config_;
    const ServerLimits limits_;
    int listen_ = -1;
    int wake_ = -1;
    int port_ = 0;
    std::atomic<int> clients_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    // Handed over by publish(): the newest snapshot and when it came (on the
    // steady clock).
    std::mutex mutex_;
    Snapshot pending_;
    qint64 pendingAtMs_ = 0;
    std::atomic<std::uint64_t> version_{0};

    // The server thread's own: its copy, the image libmodbus replies from.
    Snapshot served_;
    qint64 servedAtMs_ = 0;
    std::uint64_t servedVersion_ = 0;
    qint64 filledAtMs_ = -1;
    struct Modbus;
    Modbus* modbus_ = nullptr;
};

}  // namespace rdxgw

#endif
