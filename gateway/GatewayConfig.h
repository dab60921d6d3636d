// The gateway's settings: the section [modbus] of the program's config file
// rdx512.conf (the broker's keys are outside it). Off unless turned on:
//
//   [modbus]
//   enabled=yes                 required to serve; "no" turns it off
//   bind=127.0.0.1              an IPv4 or IPv6 address of this computer; 0.0.0.0 or :: for all
//   port=1502                   1..65535
//   allow=192.168.10.0/24, ::1  clients served: addresses and networks, or "any";
//                               default: this computer's own (loopback) only
//   word_order=high_first       or low_first: which half of a 32-bit value comes first
//
// A fault is told once, naming the key, and the gateway stays off; unknown
// keys are told and ignored.
#ifndef RDXGW_GATEWAYCONFIG_H
#define RDXGW_GATEWAYCONFIG_H

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <QList>
#include <QString>
#include <QStringList>

#include "RegisterImage.h"

struct sockaddr;

namespace rdxgw {

// A network of clients: an IPv6 prefix (IPv4 as ::ffff:a.b.c.d).
struct ClientNet {
    std::array<std::uint8_t, 16> address{};
    int prefix = 128;
};

struct GatewayConfig {
    QString bind = QStringLiteral("127.0.0.1");
    int port = 1502;  // 0: any free port (for tests)
    bool allowAny = false;
    std::vector<ClientNet> allow;  // made loopback-only by the reader when allow= is absent
    WordOrder order = WordOrder::HighFirst;

    // "127.0.0.1:1502", "[::]:1502" (with port in place of the set one
    // when given).
    QString endpoint(int port = -1) const;
    // Whether a client connecting from address (AF_INET or AF_INET6) is served.
    bool allows(const sockaddr* address) const;
};

struct GatewayConfigResult {
    std::optional<GatewayConfig> config;  // set: serve with it
    QString problem;  // set: the section is bad (the gateway stays off)
    QStringList warnings;  // keys ignored, settings worth a second look
};

// The section's key/value pairs (keys without "modbus/") into settings.
GatewayConfigResult parseGatewayConfig(const QList<std::pair<QString, QString>>& entries);

// Reads the section [modbus] of folder/rdx512.conf: without the file or the
// section neither config nor problem. A file that cannot be read is the
// broker settings' to tell.
GatewayConfigResult loadGatewayConfig(const QString& folder);

}  // namespace rdxgw

#endif
