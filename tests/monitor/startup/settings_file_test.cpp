#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "startup/SettingsFile.h"

namespace rdxmon {
namespace {

using Outcome = SettingsLoadResult::Outcome;

class SettingsFileTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    void put(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray get(const QString& name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAndWritingCreatesTwentyBytes)
{
    const SettingsLoadResult result = readSettings(dir.path());
    EXPECT_EQ(result.outcome, Outcome::Missing);
    EXPECT_EQ(result.record, InitRecord::defaults());
    EXPECT_FALSE(QFile::exists(path(kInitFileName)));

    QString error;
    ASSERT_TRUE(writeSettings(dir.path(), result.record, &error)) << error.toStdString();
    EXPECT_EQ(get(kInitFileName), encodeInitRecord(InitRecord::defaults()));
}

TEST_F(SettingsFileTest, GoodFileIsLoadedAndRewritingKeepsLaterBytes)
{
    InitRecord record;
    record.Port = "COM3";
    record.RecCount = "12";
    record.LogActive = 1;
    put(kInitFileName, encodeInitRecord(record) + "tail");

    const SettingsLoadResult result = readSettings(dir.path());
    EXPECT_EQ(result.outcome, Outcome::Loaded);
    EXPECT_EQ(result.record, record);
    EXPECT_TRUE(result.backupPath.isEmpty());

    record.LogActive = 0;
    ASSERT_TRUE(writeSettings(dir.path(), record, nullptr));
    EXPECT_EQ(get(kInitFileName), encodeInitRecord(record) + "tail");
}

TEST_F(SettingsFileTest, DamagedFilesAreKeptAsBackupAndDefaultsUsed)
{
    InitRecord bad;
    const QByteArray shortFile = encodeInitRecord(bad).left(12);
    bad.RecCount = "xx";
    const QByteArray letters = encodeInitRecord(bad);
    bad.RecCount = "00";
    const QByteArray zero = encodeInitRecord(bad);
    bad.RecCount = "32";
    const QByteArray tooMany = encodeInitRecord(bad);

    for (const QByteArray& original : {shortFile, letters, zero, tooMany}) {
        put(kInitFileName, original);
        const SettingsLoadResult result = readSettings(dir.path());
        EXPECT_EQ(result.outcome, Outcome::Damaged);
        EXPECT_EQ(result.record, InitRecord::defaults());
        EXPECT_EQ(result.backupPath, path(kInitBackupFileName));
        // The operator's bytes survive in the copy (an older copy is replaced).
        EXPECT_EQ(get(kInitBackupFileName), original);
        EXPECT_FALSE(QFile::exists(path(kInitFileName)));

        const QString message = damagedSettingsMessage(result.backupPath);
        EXPECT_TRUE(message.contains(kInitFileName));
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(result.backupPath)));
        EXPECT_TRUE(message.contains("default"));
    }
}

TEST_F(SettingsFileTest, UnwritableFolderGivesAReason)
{
    QString error;
    EXPECT_FALSE(writeSettings(path("no-such-folder"), InitRecord::defaults(), &error));
    EXPECT_TRUE(error.contains(kInitFileName)) << error.toStdString();
}

}  // namespace
}  // namespace rdxmon
