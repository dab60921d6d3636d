#include "GatewayConfig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSettings>

#include "BrokerConfig.h"

namespace rdxgw {

namespace {

const QString kSection = QStringLiteral("[modbus]");
const QStringList kKeys = {QStringLiteral("enabled"), QStringLiteral("bind"), QStringLiteral("port"),
                           QStringLiteral("allow"), QStringLiteral("word_order")};

// An IPv4 or IPv6 address as 16 bytes (IPv4 mapped into IPv6).
std::optional<std::array<std::uint8_t, 16>> parseAddress(const QString& text, bool* v4 = nullptr)
{
    const QByteArray bytes = text.toLatin1();
    std::array<std::uint8_t, 16> a{};
    in_addr four{};
    if (::inet_pton(AF_INET, bytes.constData(), &four) == 1) {
        a[10] = a[11] = 0xFF;
        std::memcpy(a.data() + 12, &four, 4);
        if (v4)
            *v4 = true;
        return a;
    }
    in6_addr six{};
    if (::inet_pton(AF_INET6, bytes.constData(), &six) == 1) {
        std::memcpy(a.data(), &six, 16);
        if (v4)
            *v4 = false;
        return a;
    }
    return std::nullopt;
}

// "10.1.0.0/16", "fd00::/8", "192.168.1.7".
std::optional<ClientNet> parseNet(const QString& text)
{
    const qsizetype slash = text.indexOf(u'/');
    bool v4 = false;
    const auto address = parseAddress(slash < 0 ? text : text.left(slash), &v4);
    if (!address)
        return std::nullopt;
    ClientNet net{*address, 128};
    if (slash >= 0) {
        bool ok = false;
        const int bits = text.mid(slash + 1).toInt(&ok);
        if (!ok || bits < 0 || bits > (v4 ? 32 : 128))
            return std::nullopt;
        net.prefix = v4 ? bits + 96 : bits;
    }
    return net;
}

bool inNet(const ClientNet& net, const std::array<std::uint8_t, 16>& a)
{
    for (int bit = 0; bit < net.prefix; ++bit) {
        const auto byte = static_cast<std::size_t>(bit / 8);
        const int mask = 0x80 >> (bit % 8);
        if ((net.address[byte] & mask) != (a[byte] & mask))
            return false;
    }
    return true;
}

std::vector<ClientNet> loopback()
{
    return {*parseNet(QStringLiteral("127.0.0.0/8")), *parseNet(QStringLiteral("::1"))};
}

bool isLoopback(const QString& address)
{
    const auto a = parseAddress(address);
    if (!a)
        return false;
    for (const ClientNet& net : loopback())
        if (inNet(net, *a))
            return true;
    return false;
}

}  // namespace

QString GatewayConfig::endpoint(int port) const
{
    return (bind.contains(u':') ? u'[' + bind + u']' : bind) + u':' + QString::number(port < 0 ? this->port : port);
}

bool GatewayConfig::allows(const sockaddr* address) const
{
    std::array<std::uint8_t, 16> a{};
    if (address->sa_family == AF_INET) {
        a[10] = a[11] = 0xFF;
        std::memcpy(a.data() + 12, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
    } else if (address->sa_family == AF_INET6) {
        std::memcpy(a.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
    } else {
        return false;
    }
    if (allowAny)
        return true;
    for (const ClientNet& net : allow)
        if (inNet(net, a))
            return true;
    return false;
}

GatewayConfigResult parseGatewayConfig(const QList<std::pair<QString, QString>>& entries)
{
    GatewayConfigResult result;
    QMap<QString, QString> v;
    for (const auto& [key, value] : entries) {
        if (kKeys.contains(key))
            v.insert(key, value.trimmed());
        else
            result.warnings
                << QStringLiteral("%1: %2 unknown key \"%3\" ignored.").arg(rdxpub::kBrokerConfigFile, kSection, key);
    }
    const auto fail = [&](const QString& key, const QString& what) {
        result.problem = QStringLiteral("%1: %2 %3 %4; no Modbus clients are served.")
                             .arg(rdxpub::kBrokerConfigFile, kSection, key, what);
        return result;
    };

    const QString enabled = v.value(QStringLiteral("enabled")).toLower();
    if (enabled == u"no" || enabled == u"false" || enabled == u"off" || enabled == u"0")
        return result;
    if (enabled.isEmpty()) {
        result.warnings << QStringLiteral("%1: %2 has no enabled=yes: the Modbus gateway is off.")
                               .arg(rdxpub::kBrokerConfigFile, kSection);
        return result;
    }
    if (enabled != u"yes" && enabled != u"true" && enabled != u"on" && enabled != u"1")
        return fail(QStringLiteral("enabled"), QStringLiteral("\"%1\" is neither yes nor no").arg(enabled));

    GatewayConfig c;
    if (v.contains(QStringLiteral("bind"))) {
        c.bind = v.value(QStringLiteral("bind"));
        if (!parseAddress(c.bind))
            return fail(QStringLiteral("bind"), QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(c.bind));
    }
    if (v.contains(QStringLiteral("port"))) {
        const QString text = v.value(QStringLiteral("port"));
        c.port = rdxpub::portNumber(text);
        if (c.port == 0)
            return fail(QStringLiteral("port"), QStringLiteral("\"%1\" is not a port number (1 to 65535)").arg(text));
    }
    if (v.contains(QStringLiteral("allow"))) {
        const QStringList items = v.value(QStringLiteral("allow")).split(u',', Qt::SkipEmptyParts);
        for (const QString& raw : items) {
            const QString item = raw.trimmed();
            if (item.compare(u"any", Qt::CaseInsensitive) == 0) {
                c.allowAny = true;
                continue;
            }
            const auto net = parseNet(item);
            if (!net)
                return fail(
                    QStringLiteral("allow"),
                    QStringLiteral("\"%1\" is no address or network (such as 192.168.1.0/24) nor any").arg(item));
            c.allow.push_back(*net);
        }
        if (!c.allowAny && c.allow.empty())
            return fail(QStringLiteral("allow"), QStringLiteral("lists no client"));
    } else {
        c.allow = loopback();
        if (!isLoopback(c.bind))
            result.warnings << QStringLiteral("%1: %2 bind=%3 without allow: only clients on this computer are "
                                              "served; list the others in allow.")
                                   .arg(rdxpub::kBrokerConfigFile, kSection, c.bind);
    }
    if (v.contains(QStringLiteral("word_order"))) {
        const QString order = v.value(QStringLiteral("word_order")).toLower();
        if (order == u"high_first")
            c.order = WordOrder::HighFirst;
        else if (order == u"low_first")
            c.order = WordOrder::LowFirst;
        else
            return fail(QStringLiteral("word_order"),
                        QStringLiteral("\"%1\" is neither high_first nor low_first").arg(order));
    }
    result.config = c;
    return result;
}

GatewayConfigResult loadGatewayConfig(const QString& folder)
{
    const QString file = QDir(folder).absoluteFilePath(rdxpub::kBrokerConfigFile);
    if (!QFileInfo::exists(file))
        return {};
    // Looked at through the bounded reader before QSettings opens it; a file
    // it refuses is told by the broker settings.
    if (!rdxpub::readSmallFile(file, rdxpub::kConfigFileMax).bytes)
        return {};
    QSettings settings(file, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return {};
    settings.beginGroup(QStringLiteral("modbus"));
    QList<std::pair<QString, QString>> entries;
    for (const QString& key : settings.allKeys()) {
        const QVariant value = settings.value(key);
        entries.append(
            {key, value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString()});
    }
    if (entries.isEmpty())
        return {};
    return parseGatewayConfig(entries);
}

}  // namespace rdxgw
