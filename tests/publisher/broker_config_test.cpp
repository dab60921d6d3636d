// The broker settings file: key/value pairs to settings or one message
// naming the key, as a table; and the file itself read from a folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
    QStringList warned{};  // a word of each warning given
};

const QMap<QString, FileContent> kFiles = {{"/p/pw", {"secret\r\nsecond line\n", {}, 0600}},
                                           {"/p/pw-shared", {"secret", {}, 0640}},
                                           {"/p/pw-pipe", {std::nullopt, "is not a regular file (a FIFO)"}},
                                           {"/p/ca.pem", {"CERT", {}, 0644}},
                                           {"/p/empty", {"", {}, 0644}}};

const Row kRows[] = {
    {"least", {{"host", "h"}, {"line", "L1"}}, {}, "tcp://h:1883 rdx512-L1 rdx512/L1/status "},
    {"all keys",
     {{"host", "::1"},
      {"port", "1884"},
      {"line", "L2"},
      {"topic_prefix", "plant/a"},
      {"client_id", "me"},
      {"user", "u"},
      {"password_file", "pw"},
      {"ca_file", "/p/ca.pem"}},
     {},
     "ssl://[::1]:1884 me plant/a/L2/status secret"},
    {"TLS default port",
     {{"host", "h"}, {"line", "L"}, {"ca_file", "ca.pem"}},
     {},
     "ssl://h:8883 rdx512-L rdx512/L/status "},
    {"unknown key",
     {{"host", "h"}, {"line", "L"}, {"hots", "x"}},
     {},
     "tcp://h:1883 rdx512-L rdx512/L/status ",
     {"\"hots\""}},
    {"password in the clear",
     {{"host", "h"}, {"line", "L"}, {"user", "u"}, {"password_file", "pw"}},
     {},
     "tcp://h:1883 rdx512-L rdx512/L/status secret",
     {"unencrypted"}},
    {"password others can read",
     {{"host", "h"}, {"line", "L"}, {"user", "u"}, {"password_file", "pw-shared"}, {"ca_file", "ca.pem"}},
     {},
     "ssl://h:8883 rdx512-L rdx512/L/status secret",
     {"mode 0640"}},
    {"no host", {{"line", "L"}, {"port", "1"}}, "host"},
    {"port not a number", {{"host", "h"}, {"line", "L"}, {"port", "18x3"}}, "port"},
    {"port too big", {{"host", "h"}, {"line", "L"}, {"port", "65536"}}, "port"},
    {"no line", {{"host", "h"}}, "line"},
    {"line with a level", {{"host", "h"}, {"line", "a/b"}}, "line"},
    {"wildcard prefix", {{"host", "h"}, {"line", "L"}, {"topic_prefix", "a/#"}}, "topic_prefix"},
    {"password without user", {{"host", "h"}, {"line", "L"}, {"password_file", "pw"}}, "password_file"},
    {"password file missing",
     {{"host", "h"}, {"line", "L"}, {"user", "u"}, {"password_file", "nope"}},
     "password_file"},
    {"password file a FIFO",
     {{"host", "h"}, {"line", "L"}, {"user", "u"}, {"password_file", "pw-pipe"}},
     "password_file",
     "\"/p/pw-pipe\" is not a regular file (a FIFO)"},
    {"CA file empty", {{"host", "h"}, {"line", "L"}, {"ca_file", "empty"}}, "ca_file"},
    {"buffer folder missing",
     {{"host", "h"}, {"line", "L"}, {"buffer_folder", "/nonexistent/buffer"}},
     "buffer_folder",
     "\"/nonexistent/buffer\" is not a folder the program may write"},
};

}  // namespace

TEST(BrokerConfig, KeysToSettingsOrOneMessageNamingTheKey)
{
    const FileReader read = [](const QString& path, qint64) {
        return kFiles.contains(path) ? kFiles[path] : FileContent{std::nullopt, "cannot be opened (No such file)"};
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        const BrokerConfigResult r = parseBrokerConfig(row.entries, "/p", read);
        if (!row.problemKey.isEmpty()) {
            EXPECT_FALSE(r.config);
            EXPECT_TRUE(r.problem.startsWith("rdx512.conf: " + row.problemKey + ' ')) << r.problem.toStdString();
            EXPECT_TRUE(r.problem.contains(row.expected)) << r.problem.toStdString();
            continue;
        }
        ASSERT_TRUE(r.config) << r.problem.toStdString();
        const BrokerConfig& c = *r.config;
        EXPECT_EQ(QStringList({c.serverUri(), c.clientId, c.statusTopic(), c.password}).join(' '), row.expected);
        ASSERT_EQ(r.warnings.size(), row.warned.size()) << r.warnings.join('\n').toStdString();
        for (int i = 0; i < row.warned.size(); ++i)
            EXPECT_TRUE(r.warnings[i].contains(row.warned[i])) << r.warnings[i].toStdString();
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

TEST(BrokerConfig, OnlySmallRegularFilesAreRead)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo"), big = dir.filePath("big"), pw = dir.filePath("pw");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(kPasswordFileMax + 1, 'x'));
    }
    {
        QFile f(pw);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("pw\n");
    }
    ASSERT_TRUE(QFile::setPermissions(pw, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    const struct {
        QString path;
        QString refused;
    } cases[] = {{"/dev/zero", "is not a regular file (a character device)"},
                 {fifo, "is not a regular file (a FIFO)"},  // would wait for a writer
                 {dir.path(), "is not a regular file (a folder)"},
                 {big, "is larger than 4096 bytes"},
                 {dir.filePath("none"), "cannot be opened ("},
                 {pw, ""}};
    for (const auto& c : cases) {
        const FileContent content = readSmallFile(c.path, kPasswordFileMax);
        EXPECT_TRUE(c.refused.isEmpty() ? content.refused.isEmpty() : content.refused.startsWith(c.refused))
            << c.path.toStdString() << ": " << content.refused.toStdString();
        EXPECT_EQ(content.bytes.has_value(), c.refused.isEmpty()) << c.path.toStdString();
    }
    EXPECT_EQ(readSmallFile(pw, kPasswordFileMax).permissions, 0604u);

    // The INI file itself the same way: a FIFO in its place is told, not waited on.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("rdx512.conf")).constData(), 0600), 0);
    EXPECT_TRUE(loadBrokerConfig(dir.path()).problem.contains("is not a regular file (a FIFO)"));
}
