// The gateway's server against libmodbus clients and raw sockets on
// loopback: reads answered from the snapshot handed over, everything else
// refused with the right exception; slow, idle and surplus clients closed
// while the others are served; a port in use told.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <modbus.h>

#include "GatewayServer.h"

using namespace rdxgw;

namespace {

struct Client {
    modbus_t* ctx;
    explicit Client(int port) : ctx(modbus_new_tcp("127.0.0.1", port)) { modbus_set_response_timeout(ctx, 1, 0); }
    ~Client() { modbus_close(ctx), modbus_free(ctx); }
    bool connect() { return modbus_connect(ctx) == 0; }
    // The float of channel k as read (high word first), NaN on an error.
    float value(int k)
    {
        std::uint16_t r[2];
        return modbus_read_input_registers(ctx, 2 * k, 2, r) == 2 ? modbus_get_float_abcd(r) : -999.0f;
    }
};

// A bare TCP connection to the server.
int rawConnection(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : -1;
}

// Milliseconds until the server closes fd (-1: still open after waitMs).
int closedWithinMs(int fd, int waitMs)
{
    const auto start = std::chrono::steady_clock::now();
    pollfd p{fd, POLLIN, 0};
    char c;
    while (::poll(&p, 1, waitMs) == 1 && ::recv(fd, &c, 1, 0) != 0) {}
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return p.revents ? static_cast<int>(ms.count()) : -1;
}

GatewayConfig loopbackOnPort0()
{
    GatewayConfig c;
    c.port = 0;
    c.allow = parseGatewayConfig({{"enabled", "yes"}}).config->allow;
    return c;
}

struct Served {
    GatewayServer server;
    explicit Served(GatewayConfig config = loopbackOnPort0(), ServerLimits limits = {}) : server(config, limits)
    {
        Snapshot s;
        s.value[0] = 25.3f;
        s.value[185] = -7.25f;
        s.quality[0] = s.quality[185] = Quality::Current;
        server.publish(s);
        QString problem;
        EXPECT_TRUE(server.start(&problem)) << problem.toStdString();
    }
};

}  // namespace

TEST(GatewayServer, AnswersReadsOfTheMapAndRefusesEverythingElse)
{
    Served served;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(std::make_unique<Client>(served.server.port()));
        ASSERT_TRUE(clients.back()->connect());
    }
    for (auto& c : clients) {
        EXPECT_EQ(c->value(0), 25.3f);
        EXPECT_EQ(c->value(185), -7.25f);
    }
    modbus_t* ctx = clients[0]->ctx;
    std::uint8_t bits[64];
    EXPECT_EQ(modbus_read_input_bits(ctx, 0, 64, bits), 64);

    const std::uint16_t words[2] = {1, 2};
    std::uint16_t r[2];
    const struct {
        const char* what;
        std::function<int()> call;
        int error;
    } refused[] = {
        {"write a register", [&] { return modbus_write_register(ctx, 1000, 1); }, EMBXILFUN},
        {"write registers", [&] { return modbus_write_registers(ctx, 0, 2, words); }, EMBXILFUN},
        {"write a coil", [&] { return modbus_write_bit(ctx, 0, 1); }, EMBXILFUN},
        {"mask write", [&] { return modbus_mask_write_register(ctx, 0, 0, 1); }, EMBXILFUN},
        {"report server id", [&] { return modbus_report_slave_id(ctx, 2, bits); }, EMBXILFUN},
        {"holding registers", [&] { return modbus_read_registers(ctx, 0, 1, r); }, EMBXILADD},
        {"coils", [&] { return modbus_read_bits(ctx, 0, 1, bits); }, EMBXILADD},
        {"past the values", [&] { return modbus_read_input_registers(ctx, 371, 2, r); }, EMBXILADD},
        {"past the map", [&] { return modbus_read_input_registers(ctx, 2247, 2, r); }, EMBXILADD},
        {"between the inputs", [&] { return modbus_read_input_bits(ctx, 1488, 1, bits); }, EMBXILADD},
    };
    for (const auto& c : refused) {
        errno = 0;
        EXPECT_EQ(c.call(), -1) << c.what;
        EXPECT_EQ(errno, c.error) << c.what << ": " << modbus_strerror(errno);
    }

    // 126 registers at once, which the client library would not send.
    const std::uint8_t tooMany[] = {0xFF, MODBUS_FC_READ_INPUT_REGISTERS, 0, 0, 0, 126};
    std::uint8_t reply[MODBUS_TCP_MAX_ADU_LENGTH];
    ASSERT_GT(modbus_send_raw_request(ctx, tooMany, sizeof tooMany), 0);
    ASSERT_EQ(modbus_receive_confirmation(ctx, reply), 9);
    EXPECT_EQ(reply[7], 0x80 | MODBUS_FC_READ_INPUT_REGISTERS);
    EXPECT_EQ(reply[8], MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);

    // Refusals end nothing: the same connection reads on.
    EXPECT_EQ(clients[0]->value(0), 25.3f);
    EXPECT_EQ(served.server.clients(), 10);
}

TEST(GatewayServer, SlowIdleAndSurplusClientsHoldNoOther)
{
    Served served(loopbackOnPort0(), {.maxClients = 3, .requestMs = 300, .idleMs = 800});
    const int port = served.server.port();
    // Half a request, then nothing; a connection that never asks.
    const int slow = rawConnection(port), idle = rawConnection(port);
    ASSERT_GE(slow, 0);
    ASSERT_GE(idle, 0);
    const std::uint8_t half[] = {0, 1, 0, 0, 0, 6, 1};
    ASSERT_EQ(::send(slow, half, sizeof half, 0), ssize_t(sizeof half));
    Client reader(port);
    ASSERT_TRUE(reader.connect());
    // The fourth is one too many: closed at once.
    const int surplus = rawConnection(port);
    EXPECT_GE(closedWithinMs(surplus, 1000), 0);

    // The reader is served at once meanwhile.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(reader.value(0), 25.3f);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));

    const int slowClosed = closedWithinMs(slow, 2000);
    EXPECT_GE(slowClosed, 0) << "the slow request's connection stays open";
    EXPECT_LT(slowClosed, 700);
    // The reader asks now and then: served on.
    EXPECT_EQ(reader.value(185), -7.25f);
    EXPECT_GE(closedWithinMs(idle, 2000), 0) << "the idle connection stays open";
    EXPECT_EQ(reader.value(185), -7.25f);
    for (const int fd : {slow, idle, surplus})
        ::close(fd);
}

TEST(GatewayServer, ClosesAClientNotAllowedAndTellsAPortInUse)
{
    GatewayConfig elsewhere = loopbackOnPort0();
    elsewhere.allow = parseGatewayConfig({{"enabled", "yes"}, {"allow", "192.0.2.1"}}).config->allow;
    Served strict(elsewhere);
    Client refused(strict.server.port());
    ASSERT_TRUE(refused.connect());  // the system takes the connection...
    EXPECT_EQ(refused.value(0), -999.0f);  // ...the server closes it without an answer

    GatewayConfig same = loopbackOnPort0();
    same.port = strict.server.port();
    GatewayServer second(same);
    QString problem;
    EXPECT_FALSE(second.start(&problem));
    EXPECT_EQ(problem,
              QStringLiteral("The Modbus gateway cannot listen on 127.0.0.1:%1 (Address already in use); "
                             "no Modbus clients are served.")
                  .arg(same.port));
}
