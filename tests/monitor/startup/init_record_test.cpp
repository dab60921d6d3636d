#include <gtest/gtest.h>

#include "startup/InitRecord.h"
#include "startup/SettingsFile.h"

namespace rdxmon {
namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

TEST(InitRecord, FirstRunDefaultsAreTheExactTwentyBytes)
{
    const QByteArray expected = QByteArray("COM19600 1") + bytesOf({60, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(encodeInitRecord(InitRecord::defaults()), expected);
    EXPECT_EQ(expected.size(), kInitRecordSize);
}

TEST(InitRecord, RoundTripsAndReadsLittleEndianSigned)
{
    InitRecord record;
    record.Port = "COM8";
    record.Speed = "2400";
    record.RecCount = "31";
    record.LogInterval = -2;
    record.LogUnit = 1;
    record.LogNameMode = 1;
    record.LogActive = 1;
    const QByteArray bytes = encodeInitRecord(record);
    EXPECT_EQ(bytes.mid(10), bytesOf({0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(decodeInitRecord(bytes), record);

    // Bytes after the record do not matter; fewer than 20 cannot be read.
    EXPECT_EQ(decodeInitRecord(bytes + "xyz"), record);
    EXPECT_FALSE(decodeInitRecord(bytes.left(19)).has_value());

    const std::optional<InitRecord> big = decodeInitRecord(QByteArray("COM19600 1") +
                                                           bytesOf({0x10, 0x27, 0, 0, 0xFF, 0xFF, 2, 0, 0, 0x80}));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->LogInterval, 10000);
    EXPECT_EQ(big->LogUnit, -1);
    EXPECT_EQ(big->LogNameMode, 2);
    EXPECT_EQ(big->LogActive, -32768);
}

TEST(InitRecord, TextFieldsAreCutOrBlankPadded)
{
    InitRecord record;
    record.Speed = "19200";  // only the first four characters fit
    record.Port = "C1";
    record.RecCount = "5";
    const QByteArray bytes = encodeInitRecord(record);
    ASSERT_EQ(bytes.size(), kInitRecordSize);
    EXPECT_EQ(bytes.left(10), QByteArray("C1  19205 "));
    const InitRecord back = *decodeInitRecord(bytes);
    EXPECT_EQ(back.Speed, "1920");
    EXPECT_EQ(back.Port, "C1  ");

    // Double-byte text in code page 932: a character that would straddle
    // the field's end is left out rather than split.
    record.Port = QString::fromUtf8("\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86");  // three kana, 2 bytes each
    const QByteArray kana = encodeInitRecord(record);
    EXPECT_EQ(kana.left(4), bytesOf({0x82, 0xA0, 0x82, 0xA2}));
    EXPECT_EQ(decodeInitRecord(kana)->Port, QString::fromUtf8("\xE3\x81\x82\xE3\x81\x84"));
}

TEST(InitRecord, ChannelTotalFollowsTheRecorderCount)
{
    InitRecord record;
    EXPECT_EQ(channelTotal(record), "6");
    record.RecCount = "12";
    EXPECT_EQ(channelTotal(record), "72");
    record.RecCount = "31";
    EXPECT_EQ(channelTotal(record), "186");
}

}  // namespace
}  // namespace rdxmon
