// The names file (186 records of 20 bytes, CP932, 18-byte names) and the
// address file (31 little-endian 16-bit records), byte for byte.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "names/Cp932.h"

namespace rdxmon {
namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QByteArray record(const char* name18, const char* flag2)
{
    return QByteArray(name18, 18) + QByteArray(flag2, 2);
}

const QString kKanji3 = QString::fromUtf8("温度計");  // 89b7 9378 8c76 in CP932
const QString kKanji9 = kKanji3 + kKanji3 + kKanji3;
const QString kA17(17, QLatin1Char('a'));

TEST(NamesFile, EighteenBytesOfCp932PerNameAndTheRecordLayout)
{
    const struct {
        QString text, kept;  // kept: the longest beginning of at most 18 bytes
        int bytes;
    } lengths[] = {
        {QString(20, QLatin1Char('a')), QString(18, QLatin1Char('a')), 20},
        {kA17 + QString::fromUtf8("温"), kA17, 19},  // a double-byte character is never split
        {kA17 + QString::fromUtf8("ｱ温"), kA17 + QString::fromUtf8("ｱ"), 20},  // half-width kana: 1 byte
        {kKanji9 + QStringLiteral("x"), kKanji9, 19},
        {QString::fromUtf8("ab温€"), QString::fromUtf8("ab温€"), 5},  // outside CP932: one "?"
    };
    for (const auto& c : lengths) {
        EXPECT_EQ(LenMbcs(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(cutToBytes(c.text, kNameLength), c.kept) << c.text.toStdString();
    }
    const struct {
        ChannelRecord in;
        QByteArray bytes;
    } records[] = {
        {{kKanji3, 0x0102}, QByteArray::fromHex("89b793788c76") + QByteArray(12, ' ') + "\x02\x01"},
        {{QStringLiteral("x€"), -2}, record("x?                ", "\xfe\xff")},
        {{kA17 + QString::fromUtf8("温"), 1}, record("aaaaaaaaaaaaaaaaa ", "\x01\x00")},
    };
    for (const auto& c : records)
        EXPECT_EQ(encodeNameRecord(c.in), c.bytes) << c.in.Name.toStdString();
}

TEST(NamesFile, DefaultsSaveLoadAndShortFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kNamesFileName);
    EXPECT_TRUE(loadChannelNames(dir.path()).problem.isEmpty());  // no file: defaults, written at once
    QByteArray bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 3720);
    EXPECT_EQ(bytes.mid(0, 20), record("Channel 01-1  ( 1)", "\x01\x00"));
    EXPECT_EQ(bytes.mid(9 * 20, 20), record("Channel 02-4  ( 10", "\x01\x00"));
    EXPECT_EQ(bytes.mid(185 * 20, 20), record("Channel 31-6  ( 18", "\x01\x00"));

    writeAll(path, QByteArray(3720, 'x') + "TAIL");  // bytes after the records stay
    ChannelTable table = defaultChannelTable();
    table[100] = {fitName(kKanji9), 0};
    ASSERT_TRUE(saveChannelNames(dir.path(), table, nullptr));
    EXPECT_EQ(readAll(path).mid(100 * 20, 20), toCp932(kKanji9) + QByteArray("\0\0", 2));
    EXPECT_EQ(readAll(path).mid(3720), QByteArray("TAIL"));
    NamesLoadResult loaded = loadChannelNames(dir.path());
    EXPECT_EQ(loaded.table[100].Name, table[100].Name);
    EXPECT_EQ(loaded.table[100].LogSel, 0);

    // A short file: its whole records, defaults for the rest, told, untouched.
    const QByteArray shortFile = record("Pump inlet        ", "\x00\x00") + "Half a rec";
    writeAll(path, shortFile);
    loaded = loadChannelNames(dir.path());
    EXPECT_TRUE(loaded.recordsRead == 1 && loaded.table[0].LogSel == 0 && loaded.problem.contains(kNamesFileName));
    EXPECT_EQ(loaded.table[1].Name, QStringLiteral("Channel 01-2  ( 2)"));
    EXPECT_EQ(readAll(path), shortFile);
    // The logging service saves no names: its log promises no copy.
    EXPECT_TRUE(loaded.problem.endsWith(kNamesBackupFileName + '.'));
    EXPECT_TRUE(loadChannelNames(dir.path(), Wording::Service).problem.endsWith("The file is left as it is."));
}

TEST(NamesFile, BytesTheCodecCannotShowRoundTripAndOnlyChangedNamesAreWrittenAnew)
{
    const QChar bad = QChar::ReplacementCharacter;
    const struct {
        QByteArray bytes;  // 18 bytes on file
        QString shown;
    } names[] = {
        {QByteArray("A\0B\rC\nD\x7f\x1a\x1c", 10) + QByteArray(8, ' '),  // control characters as they are
         QStringLiteral("A") + QChar(0) + "B\rC\nD" + QChar(0x7f) + QChar(0x1a) + QChar(0x1c) + QString(8, ' ')},
        {QByteArray(17, 'a') + "\x81", QString(17, 'a') + ' '},  // a cut double-byte character: not shown
        {"\x85\x40\xa0\xfd\x81\x20x" + QByteArray(11, ' '),  // unassigned pair, single bytes, bad trail byte
         QString(4, bad) + " x" + QString(12, ' ')},
        {"\xed\x40\xb1" + QByteArray(15, ' '), QString::fromUtf8("纊ｱ") + QString(16, ' ')},  // twin code of FA5C
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(kNamesFileName);
    QByteArray file = encodeChannelTable(defaultChannelTable());
    for (int i = 0; i < 4; ++i)
        file.replace(i * 20, 18, names[i].bytes);
    writeAll(path, file);
    NamesLoadResult loaded = loadChannelNames(dir.path());
    ASSERT_TRUE(loaded.problem.isEmpty());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(loaded.table[i].Name, names[i].shown) << i;
    ASSERT_TRUE(saveChannelNames(dir.path(), loaded.table, nullptr));
    EXPECT_TRUE(readAll(path) == file) << readAll(path).left(80).toHex().toStdString();

    loaded.table[3].Name = fitName(QString::fromUtf8("Pump ü"));  // changed: written in CP932
    loaded.table[2].Name = fitName(names[2].shown);  // as it was shown: kept
    ASSERT_TRUE(saveChannelNames(dir.path(), loaded.table, nullptr));
    EXPECT_EQ(readAll(path).mid(40, 18), names[2].bytes);
    EXPECT_EQ(readAll(path).mid(60, 18), "Pump ?" + QByteArray(12, ' '));
}

TEST(AddressFile, LayoutAndEntries)
{
    AddressTable table = defaultAddressTable();
    table[0] = -2;
    table[30] = 0x1234;
    QByteArray expected("\xfe\xff", 2);
    for (int k = 2; k <= 30; ++k)
        expected += QByteArray(1, char(k)) + '\0';
    expected += "\x34\x12";
    QTemporaryDir dir;
    const QString path = dir.filePath(kAddressFileName);
    writeAll(path, QByteArray(62, '\0') + "keep");
    ASSERT_TRUE(saveAddressTable(dir.path(), table, nullptr));
    EXPECT_EQ(readAll(path), expected + "keep");
    EXPECT_EQ(loadAddressTable(dir.path()).table, table);
    writeAll(path, "\x05");  // incomplete: the window program names its window, the service does not
    EXPECT_TRUE(loadAddressTable(dir.path()).problem.contains("recorder address window"));
    EXPECT_FALSE(loadAddressTable(dir.path(), Wording::Service).problem.contains("window"));
    const struct {
        const char* entry;
        int address;
    } entries[] = {// 99: the previous address stays
                   {"32", 32},       {" 7 ", 7},         {"0", 0},      {"-5", -5},     {"+12", 12},
                   {"32767", 32767}, {"-32768", -32768}, {"32768", 99}, {"-32769", 99}, {"99999999999999999999", 99},
                   {"", 99},         {"-", 99},          {"abc", 99},   {"1.5", 99},    {"1 2", 99}};
    for (const auto& e : entries)
        EXPECT_EQ(parseAddressEntry(QString::fromLatin1(e.entry), 99), e.address) << e.entry;
}

}  // namespace
}  // namespace rdxmon
