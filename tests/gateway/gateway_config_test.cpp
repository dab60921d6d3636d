// The gateway's settings: the [modbus] section's keys to settings or one
// message naming the key, as a table; who may connect; the section read
// from rdx512.conf beside the broker's keys.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QFile>
#include <QTemporaryDir>

#include "BrokerConfig.h"
#include "GatewayConfig.h"

using namespace rdxgw;

namespace {

struct Row {
    const char* what;
    QList<std::pair<QString, QString>> entries;
    const char* problemKey;  // nullptr: no problem
    const char* endpoint;  // nullptr: off
    WordOrder order = WordOrder::HighFirst;
    const char* warned = nullptr;  // a word of the warning given
};

const Row kRows[] = {
    {"defaults", {{"enabled", "yes"}}, nullptr, "127.0.0.1:1502"},
    {"all keys",
     {{"enabled", "true"},
      {"bind", "::"},
      {"port", "502"},
      {"allow", "10.0.0.0/8,fd00::/8"},
      {"word_order", "LOW_FIRST"}},
     nullptr,
     "[::]:502",
     WordOrder::LowFirst},
    {"turned off", {{"enabled", "no"}, {"port", "x"}}, nullptr, nullptr},
    {"not turned on", {{"port", "1503"}}, nullptr, nullptr, WordOrder::HighFirst, "enabled=yes"},
    {"unknown key", {{"enabled", "yes"}, {"prot", "1"}}, nullptr, "127.0.0.1:1502", WordOrder::HighFirst, "\"prot\""},
    {"open bind, no allow",
     {{"enabled", "yes"}, {"bind", "0.0.0.0"}},
     nullptr,
     "0.0.0.0:1502",
     WordOrder::HighFirst,
     "only clients on this computer"},
    {"enabled neither", {{"enabled", "maybe"}}, "enabled", nullptr},
    {"bind a name", {{"enabled", "yes"}, {"bind", "localhost"}}, "bind", nullptr},
    {"port 0", {{"enabled", "yes"}, {"port", "0"}}, "port", nullptr},
    {"port not a number", {{"enabled", "yes"}, {"port", "15o2"}}, "port", nullptr},
    {"allow a name", {{"enabled", "yes"}, {"allow", "10.0.0.1, scada"}}, "allow", nullptr},
    {"allow a prefix too long", {{"enabled", "yes"}, {"allow", "10.0.0.0/33"}}, "allow", nullptr},
    {"allow nobody", {{"enabled", "yes"}, {"allow", ","}}, "allow", nullptr},
    {"word order unknown", {{"enabled", "yes"}, {"word_order", "big"}}, "word_order", nullptr},
};

sockaddr_in6 client(const char* text)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, text, &a.sin6_addr) != 1) {
        // An IPv4 client: as the kernel gives it on an IPv4 socket.
        auto* four = reinterpret_cast<sockaddr_in*>(&a);
        four->sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &four->sin_addr);
    }
    return a;
}

}  // namespace

TEST(GatewayConfig, KeysToSettingsOrOneMessageNamingTheKey)
{
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        const GatewayConfigResult r = parseGatewayConfig(row.entries);
        if (row.problemKey) {
            EXPECT_FALSE(r.config);
            EXPECT_TRUE(r.problem.startsWith(QStringLiteral("rdx512.conf: [modbus] %1 ").arg(row.problemKey)))
                << r.problem.toStdString();
            EXPECT_TRUE(r.problem.endsWith("no Modbus clients are served.")) << r.problem.toStdString();
            continue;
        }
        EXPECT_TRUE(r.problem.isEmpty()) << r.problem.toStdString();
        ASSERT_EQ(bool(r.config), row.endpoint != nullptr);
        if (r.config) {
            EXPECT_EQ(r.config->endpoint(), row.endpoint);
            EXPECT_EQ(r.config->order, row.order);
        }
        EXPECT_EQ(r.warnings.size(), row.warned ? 1 : 0) << r.warnings.join('|').toStdString();
        if (row.warned && !r.warnings.isEmpty()) {
            EXPECT_TRUE(r.warnings[0].contains(row.warned)) << r.warnings[0].toStdString();
        }
    }
}

TEST(GatewayConfig, ServesTheClientsAllowed)
{
    const struct {
        const char* allow;  // nullptr: the key left out
        const char* client;
        bool served;
    } cases[] = {
        {nullptr, "127.0.0.1", true},
        {nullptr, "127.8.9.1", true},
        {nullptr, "::1", true},
        {nullptr, "192.168.1.5", false},
        {"192.168.1.0/24", "192.168.1.5", true},
        {"192.168.1.0/24", "192.168.2.5", false},
        {"192.168.1.0/24", "::ffff:192.168.1.9", true},
        {"192.168.1.0/24", "127.0.0.1", false},
        {"fd00::/8, 10.1.2.3", "fd12::7", true},
        {"fd00::/8, 10.1.2.3", "10.1.2.4", false},
        {"fd00::/8, 10.1.2.3", "10.1.2.3", true},
        {"any", "203.0.113.9", true},
    };
    for (const auto& c : cases) {
        QList<std::pair<QString, QString>> entries = {{"enabled", "yes"}};
        if (c.allow)
            entries.append(std::pair<QString, QString>("allow", c.allow));
        const GatewayConfigResult r = parseGatewayConfig(entries);
        ASSERT_TRUE(r.config);
        const sockaddr_in6 from = client(c.client);
        EXPECT_EQ(r.config->allows(reinterpret_cast<const sockaddr*>(&from)), c.served)
            << (c.allow ? c.allow : "(default)") << " " << c.client;
    }
}

TEST(GatewayConfig, TheSectionBesideTheBrokersKeysOrAlone)
{
    QTemporaryDir dir;
    const auto write = [&](const QByteArray& text) {
        QFile f(dir.filePath("rdx512.conf"));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    ASSERT_TRUE(write("host=127.0.0.1\nline=a\n\n[modbus]\nenabled=yes\nport=1600\nallow=10.0.0.1, 10.0.0.2\n"));
    const rdxpub::BrokerConfigResult broker = rdxpub::loadBrokerConfig(dir.path());
    EXPECT_TRUE(broker.config && broker.problem.isEmpty() && broker.warnings.isEmpty())
        << broker.problem.toStdString() << broker.warnings.join('|').toStdString();
    const GatewayConfigResult gateway = loadGatewayConfig(dir.path());
    ASSERT_TRUE(gateway.config) << gateway.problem.toStdString();
    EXPECT_EQ(gateway.config->port, 1600);
    EXPECT_EQ(gateway.config->allow.size(), 2u);

    // The gateway alone: nothing to publish, and no fault of the broker's.
    ASSERT_TRUE(write("[modbus]\nenabled=yes\n"));
    const rdxpub::BrokerConfigResult none = rdxpub::loadBrokerConfig(dir.path());
    EXPECT_TRUE(!none.config && none.problem.isEmpty() && none.warnings.isEmpty()) << none.problem.toStdString();
    EXPECT_TRUE(loadGatewayConfig(dir.path()).config);

    // The broker alone: the gateway stays off without a word.
    ASSERT_TRUE(write("host=127.0.0.1\nline=a\n"));
    const GatewayConfigResult off = loadGatewayConfig(dir.path());
    EXPECT_TRUE(!off.config && off.problem.isEmpty() && off.warnings.isEmpty());
}
