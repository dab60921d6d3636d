#include "GatewayServer.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <vector>

#include <modbus.h>

namespace rdxgw {

namespace {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int be16(const std::uint8_t* p)
{
    return (p[0] << 8) | p[1];
}

// The MBAP header: transaction (2), protocol (2), length (2), unit (1); the
// length counts the unit and the PDU.
constexpr int kHeader = 7;
constexpr int kReadRequest = kHeader + 5;  // function, address, quantity

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

}  // namespace

struct GatewayServer::Connection {
    int fd = -1;
    std::array<std::uint8_t, 1024> buffer{};  // more than a whole request (at most 260 bytes)
    int used = 0;
    qint64 lastRequestMs = 0;  // or when it connected
    qint64 partialSinceMs = -1;  // a request has begun arriving
    bool closing = false;
};

struct GatewayServer::Modbus {
    modbus_t* context = nullptr;
    modbus_mapping_t* mapping = nullptr;
    std::vector<Connection> connections;
    ~Modbus()
    {
        for (Connection& c : connections)
            ::close(c.fd);
        if (mapping)
            modbus_mapping_free(mapping);
        if (context)
            modbus_free(context);
    }
};

GatewayServer::GatewayServer(GatewayConfig config, ServerLimits limits) : config_(std::move(config)), limits_(limits) {}

GatewayServer::~GatewayServer()
{
    stop();
}

bool GatewayServer::start(QString* problem)
{
    const auto fail = [&](const QString& why) {
        if (problem)
            *problem = QStringLiteral("The Modbus gateway cannot listen on %1 (%2); no Modbus clients are served.")
                           .arg(config_.endpoint(), why);
        stop();
        return false;
    };
    if (thread_.joinable())
        return true;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const QByteArray host = config_.bind.toLatin1(), service = QByteArray::number(config_.port);
    if (const int rc = ::getaddrinfo(host.constData(), service.constData(), &hints, &found); rc != 0)
        return fail(QString::fromLocal8Bit(::gai_strerror(rc)));
    listen_ = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int err = errno;
    if (listen_ >= 0) {
        const int on = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(listen_, found->ai_addr, found->ai_addrlen) != 0 || ::listen(listen_, 32) != 0)
            err = errno, ::close(listen_), listen_ = -1;
    }
    ::freeaddrinfo(found);
    if (listen_ < 0)
        return fail(systemError(err));
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);

    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    modbus_ = new Modbus;
    // The context only builds and sends replies on the connections' sockets;
    // it never connects or listens itself.
    modbus_->context = modbus_new_tcp("127.0.0.1", config_.port);
    modbus_->mapping = modbus_mapping_new_start_address(0, 0, 0, extent(Table::DiscreteInputs), 0, 0, 0,
                                                        extent(Table::InputRegisters));
    if (wake_ < 0 || !modbus_->context || !modbus_->mapping)
        return fail(systemError(errno));
    stopping_ = false;
    thread_ = std::thread(&GatewayServer::run, this);
    return true;
}

void GatewayServer::stop()
{
    if (thread_.joinable()) {
        stopping_ = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    delete modbus_;
    modbus_ = nullptr;
    clients_ = 0;
    for (int* fd : {&listen_, &wake_})
        if (*fd >= 0)
            ::close(*fd), *fd = -1;
}

void GatewayServer::publish(const Snapshot& snapshot)
{
    const std::lock_guard lock(mutex_);
    pending_ = snapshot;
    pendingAtMs_ = steadyMs();
    version_.fetch_add(1, std::memory_order_release);
}

void GatewayServer::run()
{
    std::vector<Connection>& connections = modbus_->connections;
    std::vector<pollfd> fds;
    while (!stopping_) {
        qint64 now = steadyMs();
        int timeoutMs = 1000;
        for (const Connection& c : connections) {
            const qint64 due
                = c.partialSinceMs >= 0 ? c.partialSinceMs + limits_.requestMs : c.lastRequestMs + limits_.idleMs;
            timeoutMs = static_cast<int>(std::clamp<qint64>(due - now + 1, 0, timeoutMs));
        }
        fds.assign({{wake_, POLLIN, 0}, {listen_, POLLIN, 0}});
        for (const Connection& c : connections)
            fds.push_back({c.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR)
            break;
        if (stopping_)
            break;
        now = steadyMs();
        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            if ((fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !readFrom(c, now))
                c.closing = true;
            const bool late = c.partialSinceMs >= 0 ? now - c.partialSinceMs > limits_.requestMs
                                                    : now - c.lastRequestMs > limits_.idleMs;
            if (late)
                c.closing = true;
        }
        std::erase_if(connections, [](const Connection& c) {
            if (c.closing)
                ::close(c.fd);
            return c.closing;
        });
        if ((fds[1].revents & POLLIN) != 0)
            accept();
        clients_ = static_cast<int>(connections.size());
    }
}

void GatewayServer::accept()
{
    std::vector<Connection>& connections = modbus_->connections;
    for (;;) {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const int fd = ::accept4(listen_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        if (!config_.allows(reinterpret_cast<sockaddr*>(&from))
            || static_cast<int>(connections.size()) >= limits_.maxClients) {
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection c;
        c.fd = fd;
        c.lastRequestMs = steadyMs();
        connections.push_back(c);
    }
}

bool GatewayServer::readFrom(Connection& c, qint64 now)
{
    const ssize_t got = ::recv(c.fd, c.buffer.data() + c.used, c.buffer.size() - static_cast<std::size_t>(c.used), 0);
    if (got == 0)
        return false;
    if (got < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    c.used += static_cast<int>(got);

    int at = 0;
    while (c.used - at >= kHeader) {
        const std::uint8_t* frame = c.buffer.data() + at;
        const int length = be16(frame + 4);
        // Not Modbus TCP: nothing after it can be framed either.
        if (be16(frame + 2) != 0 || length < 2 || length > MODBUS_MAX_PDU_LENGTH + 1)
            return false;
        if (c.used - at < 6 + length)
            break;
        if (!answer(c, frame, 6 + length, now))
            return false;
        at += 6 + length;
    }
    if (at > 0) {
        std::memmove(c.buffer.data(), c.buffer.data() + at, static_cast<std::size_t>(c.used - at));
        c.used -= at;
        c.lastRequestMs = now;
        c.partialSinceMs = -1;
    }
    if (c.used > 0 && c.partialSinceMs < 0)
        c.partialSinceMs = now;
    return true;
}

bool GatewayServer::answer(Connection& c, const std::uint8_t* frame, int length, qint64 now)
{
    modbus_t* ctx = modbus_->context;
    modbus_set_socket(ctx, c.fd);
    // A reply the socket does not take whole (a client that reads none of
    // them) ends the connection.
    const auto exception = [&](int code) { return modbus_reply_exception(ctx, frame, code) > 0; };
    const int function = frame[kHeader];
    if (function == MODBUS_FC_READ_INPUT_REGISTERS || function == MODBUS_FC_READ_DISCRETE_INPUTS) {
        const bool registers = function == MODBUS_FC_READ_INPUT_REGISTERS;
        if (length != kReadRequest)
            return exception(MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        const int first = be16(frame + kHeader + 1), count = be16(frame + kHeader + 3);
        if (count < 1 || count > (registers ? MODBUS_MAX_READ_REGISTERS : MODBUS_MAX_READ_BITS))
            return exception(MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
        if (!inMap(registers ? Table::InputRegisters : Table::DiscreteInputs, first, count))
            return exception(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        refreshImage(now);
        // Checked above, so libmodbus takes the reading branch (its others
        // may pause the thread to flush the connection).
        return modbus_reply(ctx, frame, length, modbus_->mapping) >= 0;
    }
    // The map has neither coils nor holding registers.
    if (function == MODBUS_FC_READ_COILS || function == MODBUS_FC_READ_HOLDING_REGISTERS)
        return exception(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    return exception(MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
}

void GatewayServer::refreshImage(qint64 now)
{
    if (const std::uint64_t v = version_.load(std::memory_order_acquire); v != servedVersion_) {
        const std::lock_guard lock(mutex_);
        served_ = pending_;
        servedAtMs_ = pendingAtMs_;
        servedVersion_ = version_.load(std::memory_order_relaxed);
        filledAtMs_ = -1;
    }
    // The ages move on in tenths of a second: filled again at most every 50 ms
    // while nothing new came.
    if (filledAtMs_ >= 0 && now - filledAtMs_ < 50)
        return;
    modbus_mapping_t* m = modbus_->mapping;
    fillImage(served_, servedAtMs_ > 0 ? now - servedAtMs_ : 0, config_.order,
              std::span(m->tab_input_registers, static_cast<std::size_t>(m->nb_input_registers)),
              std::span(m->tab_input_bits, static_cast<std::size_t>(m->nb_input_bits)));
    filledAtMs_ = now;
}

}  // namespace rdxgw
