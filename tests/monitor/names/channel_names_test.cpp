// The names file codec and the CP932 text helpers, byte for byte.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "names/ChannelNames.h"
#include "names/Cp932.h"

namespace rdxmon {
namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray record(const char* name18, const char flag[2])
{
    return QByteArray(name18, 18) + QByteArray(flag, 2);
}

TEST(Cp932, CountsAndCutsBytesPerCharacter)
{
    EXPECT_EQ(toCp932(QString::fromUtf8("温度計")), QByteArray::fromHex("89b793788c76"));
    EXPECT_EQ(fromCp932(QByteArray::fromHex("89b793788c76")), QString::fromUtf8("温度計"));
    // Half-width katakana take one byte; characters outside CP932 become "?".
    EXPECT_EQ(toCp932(QString::fromUtf8("ｱ€x😀")), QByteArray("\xb1?x?"));
    EXPECT_EQ(LenMbcs(QString::fromUtf8("ab温€")), 5);

    const QString seventeen(17, QLatin1Char('a'));
    EXPECT_EQ(cutToBytes(seventeen + QString::fromUtf8("温"), 18), seventeen);
    EXPECT_EQ(cutToBytes(seventeen + QString::fromUtf8("ｱ温"), 18), seventeen + QString::fromUtf8("ｱ"));
    const QString nine = QString::fromUtf8("温度計温度計温度計");
    EXPECT_EQ(cutToBytes(nine + QStringLiteral("x"), 18), nine);

    EXPECT_EQ(fitName(QStringLiteral("abc")), QStringLiteral("abc               "));
    EXPECT_EQ(fitName(QString(20, QLatin1Char('z'))), QString(18, QLatin1Char('z')));
}

TEST(ChannelNames, MissingFileGetsTheDefaultRecords)
{
    QTemporaryDir dir;
    const NamesLoadResult loaded = loadChannelNames(dir.path());
    EXPECT_TRUE(loaded.problem.isEmpty());

    const QByteArray bytes = readAll(QDir(dir.path()).filePath(kNamesFileName));
    ASSERT_EQ(bytes.size(), 3720);
    EXPECT_EQ(bytes.mid(0, 20), record("Channel 01-1  ( 1)", "\x01\x00"));
    EXPECT_EQ(bytes.mid(9 * 20, 20), record("Channel 02-4  ( 10", "\x01\x00"));
    EXPECT_EQ(bytes.mid(185 * 20, 20), record("Channel 31-6  ( 18", "\x01\x00"));
    EXPECT_EQ(loaded.table[185].Name, QStringLiteral("Channel 31-6  ( 18"));
    EXPECT_EQ(loaded.table[185].LogSel, 1);
}

TEST(ChannelNames, RecordsRoundTripInCp932WithLittleEndianFlag)
{
    const QByteArray encoded = encodeNameRecord({QString::fromUtf8("温度計"), 0x0102});
    EXPECT_EQ(encoded, QByteArray::fromHex("89b793788c76") + QByteArray(12, ' ') + QByteArray("\x02\x01", 2));
    const ChannelRecord decoded = decodeNameRecord(encoded.constData());
    EXPECT_EQ(decoded.Name, QString::fromUtf8("温度計") + QString(15, QLatin1Char(' ')));
    EXPECT_EQ(decoded.LogSel, 0x0102);

    EXPECT_EQ(encodeNameRecord({QStringLiteral("x"), -2}).right(2), QByteArray("\xfe\xff", 2));
    // Eighteen characters that take more than 18 bytes: cut at a character
    // boundary, then padded.
    const QString tooLong = QString(17, QLatin1Char('a')) + QString::fromUtf8("温");
    EXPECT_EQ(encodeNameRecord({tooLong, 0}).left(18), QByteArray(17, 'a') + ' ');

    QTemporaryDir dir;
    ChannelTable table = defaultChannelTable();
    table[100] = {fitName(QString::fromUtf8("温度計")), 0};
    ASSERT_TRUE(saveChannelNames(dir.path(), table, nullptr));
    const NamesLoadResult loaded = loadChannelNames(dir.path());
    EXPECT_EQ(loaded.recordsRead, 186);
    EXPECT_EQ(loaded.table[100].Name, table[100].Name);
    EXPECT_EQ(loaded.table[100].LogSel, 0);
}

TEST(ChannelNames, ShortFileKeepsItsRecordsAndIsNotRewritten)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(kNamesFileName);
    const QByteArray shortFile = record("Pump inlet        ", "\x00\x00") + QByteArray("Half a rec");
    writeAll(path, shortFile);

    const NamesLoadResult loaded = loadChannelNames(dir.path());
    EXPECT_EQ(loaded.recordsRead, 1);
    EXPECT_EQ(loaded.table[0].Name, QStringLiteral("Pump inlet        "));
    EXPECT_EQ(loaded.table[0].LogSel, 0);
    EXPECT_EQ(loaded.table[1].Name, QStringLiteral("Channel 01-2  ( 2)"));
    EXPECT_TRUE(loaded.problem.contains(QStringLiteral("shorter")));
    EXPECT_EQ(readAll(path), shortFile);
}

TEST(ChannelNames, SaveKeepsTrailingBytesAndReportsFailure)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(kNamesFileName);
    writeAll(path, QByteArray(3720, 'x') + "TAIL");
    ChannelTable table = defaultChannelTable();
    table[0].Name = fitName(QStringLiteral("Boiler"));
    ASSERT_TRUE(saveChannelNames(dir.path(), table, nullptr));
    const QByteArray bytes = readAll(path);
    EXPECT_EQ(bytes.size(), 3724);
    EXPECT_EQ(bytes.left(20), record("Boiler            ", "\x01\x00"));
    EXPECT_EQ(bytes.right(4), QByteArray("TAIL"));

    QString error;
    const QString gone = QDir(dir.path()).filePath(QStringLiteral("no-such-folder"));
    EXPECT_FALSE(saveChannelNames(gone, table, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(error.contains(QStringLiteral("no-such-folder")));
}

}  // namespace
}  // namespace rdxmon
