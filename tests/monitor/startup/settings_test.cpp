// Start-up: the settings record and file, numbers read from text, and the
// three settings files written whole.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "polling/PollCycle.h"
#include "startup/AtomicFile.h"
#include "startup/Lenient.h"
#include "startup/SettingsFile.h"
#include "support/FakeServices.h"
#include "support/FileSizeLimit.h"

namespace rdxmon {
namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

TEST(InitRecord, IsTwentyBytesWithFittedTextAndLittleEndianNumbers)
{
    const InitRecord full{"COM8", "2400", "31", -2, 1, 1, 1};
    const InitRecord cut{"C1", "19200", "5", 10000, -1, 2, -32768};
    const InitRecord kana{QString::fromUtf8("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86"), "9600", "1"};  // 2 bytes each
    const std::pair<InitRecord, QByteArray> cases[]
        = {{InitRecord::defaults(), "COM19600 1" + bytes({60, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
           {full, "COM8240031" + bytes({0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 1, 0, 1, 0})},
           {cut, "C1  19205 " + bytes({0x10, 0x27, 0, 0, 0xFF, 0xFF, 2, 0, 0, 0x80})},
           {kana, bytes({0x82, 0xA0, 0x82, 0xA2}) + "96001 " + bytes({60, 0, 0, 0, 0, 0, 0, 0, 0, 0})}};
    for (const auto& [record, expected] : cases) {
        SCOPED_TRACE(record.Port.toStdString());
        EXPECT_EQ(encodeInitRecord(record), expected);
        EXPECT_EQ(encodeInitRecord(decodeInitRecord(expected + "after").value()), expected);
        EXPECT_FALSE(decodeInitRecord(expected.left(19)));
    }
}

TEST(InitRecord, CountsReadLeniently)
{
    const std::tuple<const char*, const char*, int> cases[] = {// RecCount, gChTotal, polled
                                                               {" 1", "6", 1},
                                                               {"12", "72", 12},
                                                               {"31", "186", 31},
                                                               {"xx", "0", 1},
                                                               {"99", "594", 31}};
    for (const auto& [count, total, polled] : cases) {
        InitRecord record;
        record.RecCount = count;
        EXPECT_EQ(channelTotal(record), total) << count;
        EXPECT_EQ(recorderCount(record), polled) << count;
    }
    const std::pair<const char*, double> numbers[]
        = {{"  12.5-02", 12.5}, {"abc", 0},           {"", 0},      {"1E3", 1000}, {"2.5e-1x", 0.25}, {"-", 0},
           {"1E", 1},           {"\t -3.75 ", -3.75}, {"+.5", 0.5}, {"1 2", 1},    {"1E-999", 0},     {"\u00BD1", 0}};
    for (const auto& [text, value] : numbers)
        EXPECT_DOUBLE_EQ(lenientNumber(QString::fromUtf8(text)), value) << text;
    EXPECT_EQ(lenientInt(u"-2.9"), -2);
    EXPECT_EQ(lenientInt(u"1E12"), 2147483647);
    EXPECT_EQ(format00(1) + format00(123) + format00(-1), "01123-01");
}

class SettingsFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QByteArray file(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Start-up's step; what the file held when each message was shown.
    InitRecord start(const QString& folder)
    {
        messages.whileShown = [&] { fileAtMessage << file(kInitFileName); };
        return startupSettings(folder, messages, [&](const InitRecord&) { shownBefore = messages.shown.size(); });
    }

    QTemporaryDir dir;
    rdxtest::RecordingMessages messages;
    QList<QByteArray> fileAtMessage;
    qsizetype shownBefore = -1;
};

TEST_F(SettingsFileTest, AGoodFileIsUsedAndADamagedOrMissingOneReplacedByDefaultsBeforeTelling)
{
    InitRecord good;
    good.RecCount = "12";
    const QByteArray defaults = encodeInitRecord(InitRecord::defaults());
    const QByteArray goodBytes = encodeInitRecord(good) + "tail";
    const std::tuple<const char*, QByteArray, bool> cases[]
        = {// name, content (empty: none), damaged
           {"good", goodBytes, false},
           {"missing", {}, false},
           {"short", defaults.left(12), true},
           {"letters", QByteArray(defaults).replace(8, 2, "xx"), true},
           {"none", QByteArray(defaults).replace(8, 2, "00"), true},
           {"too many", QByteArray(defaults).replace(8, 2, "32"), true}};
    for (const auto& [name, content, damaged] : cases) {
        SCOPED_TRACE(name);
        QFile f(path(kInitFileName));
        ASSERT_TRUE(content.isEmpty() ? (f.remove() || !f.exists()) : f.open(QIODevice::WriteOnly) && f.write(content));
        f.close();
        messages.shown.clear();
        fileAtMessage.clear();
        const InitRecord record = start(dir.path());
        EXPECT_EQ(shownBefore, 0);  // the splash shows the values before any box
        if (content == goodBytes) {
            EXPECT_EQ(record, good);
            EXPECT_TRUE(messages.shown.isEmpty());
            EXPECT_EQ(file(kInitFileName), goodBytes);
            continue;
        }
        EXPECT_EQ(record, InitRecord::defaults());
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_EQ(fileAtMessage, QList<QByteArray>{encodeInitRecord(InitRecord::defaults())});
        EXPECT_TRUE(messages.shown[0].endsWith(kDefaultsMessage));
        if (damaged) {
            EXPECT_EQ(file(kInitBackupFileName), content);  // the operator's bytes are kept
            EXPECT_TRUE(messages.shown[0].contains(QDir::toNativeSeparators(path(kInitBackupFileName))));
        }
    }
}

TEST_F(SettingsFileTest, DefaultsThatCannotBeWrittenAreToldWithTheReason)
{
    EXPECT_EQ(start(path("no-such-folder")), InitRecord::defaults());
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[0], kDefaultsMessage);
    EXPECT_TRUE(messages.shown[1].contains(kInitFileName)) << messages.shown[1].toStdString();
}

TEST(SettingsFiles, AWriteTheDiskCannotTakeLeavesTheOldFileOrNoneAndNamesTheReason)
{
    const std::pair<QString, std::function<bool(const QString&, QString*)>> writers[] = {
        {kInitFileName,
         [](const QString& folder, QString* error) { return writeSettings(folder, InitRecord::defaults(), error); }},
        {kNamesFileName,
         [](const QString& folder, QString* error) { return saveChannelNames(folder, defaultChannelTable(), error); }},
        {kAddressFileName,
         [](const QString& folder, QString* error) { return saveAddressTable(folder, defaultAddressTable(), error); }},
    };
    const QByteArray old = QByteArray(4000, 'o') + "tail";
    for (const auto& [name, write] : writers) {
        for (const bool present : {true, false}) {
            SCOPED_TRACE(name.toStdString() + (present ? " over an old file" : " without one"));
            QTemporaryDir dir;
            const QString path = dir.filePath(name);
            QFile file(path);
            if (present) {
                ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(old) == old.size()
                            && file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
                file.close();
            }
            QString error;
            {
                rdxtest::FileSizeLimit fullAfter(10);
                EXPECT_FALSE(write(dir.path(), &error));
            }
            EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path)) && error.contains(systemErrorText(EFBIG)))
                << error.toStdString();
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), present ? QStringList{name} : QStringList{});
            if (!present)
                continue;
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), old);
            file.close();
            ASSERT_TRUE(write(dir.path(), &error));
            EXPECT_EQ(file.permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        }
    }
}

}  // namespace
}  // namespace rdxmon
