// The broker settings file: key/value pairs to settings or one message
// naming the key, as a table; and the file itself read from a folder.
#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include "BrokerConfig.h"

using namespace rdxpub;

namespace {

struct Row {
    const char* what;
    QList<std::pair<QString, QString>> entries;
    QString problemKey;  // empty: accepted
    QString expected{};  // URI, client id, status topic, password
};

const QMap<QString, QByteArray> kFiles = {{"/p/pw", "secret\r\nsecond line\n"}, {"/p/ca.pem", "CERT"}, {"/p/empty", ""}};

const Row kRows[] = {
    {"least", {{"host", "h"}, {"line", "L1"}}, {}, "tcp://h:1883 rdx512-L1 rdx512/L1/status "},
    {"all keys", {{"host", "::1"}, {"port", "1884"}, {"line", "L2"}, {"topic_prefix", "plant/a"}, {"client_id", "me"},
                  {"user", "u"}, {"password_file", "pw"}, {"ca_file", "/p/ca.pem"}},
     {}, "ssl://[::1]:1884 me plant/a/L2/status secret"},
    {"TLS default port", {{"host", "h"}, {"line", "L"}, {"ca_file", "ca.pem"}}, {}, "ssl://h:8883 rdx512-L rdx512/L/status "},
    {"unknown key", {{"host", "h"}, {"line", "L"}, {"hots", "x"}}, {}, "tcp://h:1883 rdx512-L rdx512/L/status "},
    {"no host", {{"line", "L"}, {"port", "1"}}, "host"},
    {"port not a number", {{"host", "h"}, {"line", "L"}, {"port", "18x3"}}, "port"},
    {"port too big", {{"host", "h"}, {"line", "L"}, {"port", "65536"}}, "port"},
    {"no line", {{"host", "h"}}, "line"},
    {"line with a level", {{"host", "h"}, {"line", "a/b"}}, "line"},
    {"wildcard prefix", {{"host", "h"}, {"line", "L"}, {"topic_prefix", "a/#"}}, "topic_prefix"},
    {"password without user", {{"host", "h"}, {"line", "L"}, {"password_file", "pw"}}, "password_file"},
    {"password file missing", {{"host", "h"}, {"line", "L"}, {"user", "u"}, {"password_file", "nope"}}, "password_file"},
    {"CA file empty", {{"host", "h"}, {"line", "L"}, {"ca_file", "empty"}}, "ca_file"},
};

}  // namespace

TEST(BrokerConfig, KeysToSettingsOrOneMessageNamingTheKey)
{
    const FileReader read = [](const QString& path) { return kFiles.contains(path) ? std::optional(kFiles[path]) : std::nullopt; };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        const BrokerConfigResult r = parseBrokerConfig(row.entries, "/p", read);
        if (!row.problemKey.isEmpty()) {
            EXPECT_FALSE(r.config);
            EXPECT_TRUE(r.problem.startsWith("rdx512.conf: " + row.problemKey + ' ')) << r.problem.toStdString();
            continue;
        }
        ASSERT_TRUE(r.config) << r.problem.toStdString();
        const BrokerConfig& c = *r.config;
        EXPECT_EQ(QStringList({c.serverUri(), c.clientId, c.statusTopic(), c.password}).join(' '), row.expected);
        EXPECT_EQ(r.warnings.size(), row.entries.contains({"hots", "x"}) ? 1 : 0);
    }
}

TEST(BrokerConfig, FileInTheFolderOrNone)
{
    QTemporaryDir dir;
    EXPECT_FALSE(loadBrokerConfig(dir.path()).config || !loadBrokerConfig(dir.path()).problem.isEmpty());
    QFile conf(dir.filePath("rdx512.conf"));  // its own first line is the password
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("host = broker\nline = hall 3, west\nuser = u\npassword_file = rdx512.conf\n");
    conf.close();  // an unquoted comma makes a list of the value
    const BrokerConfigResult r = loadBrokerConfig(dir.path());
    ASSERT_TRUE(r.config) << r.problem.toStdString();
    EXPECT_EQ(r.config->valueTopic(30, 6) + ' ' + r.config->password, "rdx512/hall 3,west/31/6 host = broker");
}
