#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "names/AddressTable.h"

namespace rdxmon {
namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AddressTable, DefaultFileIsSixtyTwoBytesOneToThirtyOne)
{
    const QByteArray bytes = encodeAddressTable(defaultAddressTable());
    ASSERT_EQ(bytes.size(), 62);
    for (int k = 0; k < 31; ++k) {
        EXPECT_EQ(static_cast<unsigned char>(bytes[2 * k]), k + 1);
        EXPECT_EQ(bytes[2 * k + 1], '\0');
    }
    AddressTable table = defaultAddressTable();
    table[0] = -2;
    table[30] = 0x1234;
    const QByteArray changed = encodeAddressTable(table);
    EXPECT_EQ(changed.left(2), QByteArray("\xFE\xFF", 2));
    EXPECT_EQ(changed.right(2), QByteArray("\x34\x12", 2));
}

TEST(AddressTable, LoadsSavesAndKeepsLaterBytes)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(kAddressFileName);

    AddressLoadResult missing = loadAddressTable(dir.path());
    EXPECT_FALSE(missing.fromFile);
    EXPECT_EQ(missing.table, defaultAddressTable());
    EXPECT_FALSE(QFile::exists(path));  // loading never writes

    AddressTable table = defaultAddressTable();
    table[0] = 5;
    table[1] = 5;
    table[2] = -32768;
    QString error;
    ASSERT_TRUE(saveAddressTable(dir.path(), table, &error)) << error.toStdString();
    EXPECT_EQ(readAll(path), encodeAddressTable(table));
    const AddressLoadResult loaded = loadAddressTable(dir.path());
    EXPECT_TRUE(loaded.fromFile);
    EXPECT_FALSE(loaded.shortFile);
    EXPECT_EQ(loaded.table, table);

    // Bytes after the 31 records survive a save.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("keep");
    }
    ASSERT_TRUE(saveAddressTable(dir.path(), defaultAddressTable(), nullptr));
    EXPECT_EQ(readAll(path), encodeAddressTable(defaultAddressTable()) + "keep");

    EXPECT_FALSE(saveAddressTable(QDir(dir.path()).filePath("missing-folder"), table, &error));
    EXPECT_TRUE(error.contains(kAddressFileName)) << error.toStdString();
}

TEST(AddressTable, ShortFileUsesWhatItHoldsAndIsNotRewritten)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(kAddressFileName);
    const QByteArray original("\x09\x00\x0A\x00\x0B", 5);  // two records and half a third
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(original);
    }
    const AddressLoadResult result = loadAddressTable(dir.path());
    EXPECT_TRUE(result.fromFile);
    EXPECT_TRUE(result.shortFile);
    EXPECT_EQ(result.table[0], 9);
    EXPECT_EQ(result.table[1], 10);
    EXPECT_EQ(result.table[2], 3);
    EXPECT_EQ(result.table[30], 31);
    EXPECT_EQ(readAll(path), original);
}

TEST(AddressTable, EntriesOutsideSixteenBitWholeNumbersKeepThePreviousAddress)
{
    EXPECT_EQ(parseAddressEntry("32", 1), 32);
    EXPECT_EQ(parseAddressEntry(" 7 ", 1), 7);
    EXPECT_EQ(parseAddressEntry("0", 1), 0);
    EXPECT_EQ(parseAddressEntry("-5", 1), -5);
    EXPECT_EQ(parseAddressEntry("+12", 1), 12);
    EXPECT_EQ(parseAddressEntry("32767", 1), 32767);
    EXPECT_EQ(parseAddressEntry("-32768", 1), -32768);
    EXPECT_EQ(parseAddressEntry("32768", 4), 4);
    EXPECT_EQ(parseAddressEntry("-32769", 4), 4);
    EXPECT_EQ(parseAddressEntry("99999999999999999999", 4), 4);
    EXPECT_EQ(parseAddressEntry("", 4), 4);
    EXPECT_EQ(parseAddressEntry("-", 4), 4);
    EXPECT_EQ(parseAddressEntry("abc", 4), 4);
    EXPECT_EQ(parseAddressEntry("1.5", 4), 4);
    EXPECT_EQ(parseAddressEntry("1 2", 4), 4);
}

}  // namespace
}  // namespace rdxmon
