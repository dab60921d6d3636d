// The bytes of the CSV log: header lines, row time, numbers, rows.
#include <QLocale>

#include <gtest/gtest.h>

#include "logging/CsvFormat.h"
#include "names/Cp932.h"

namespace rdxmon {
namespace {

std::array<ChannelRecord, kChannelCount> namedChannels()
{
    std::array<ChannelRecord, kChannelCount> channels;
    for (int i = 0; i < kChannelCount; ++i)
        channels[i] = {fitName(QStringLiteral("CH%1").arg(i)), 1};
    return channels;
}

TEST(CsvFormat, RowOfOneRecorderWithTwoChannelsOff)
{
    auto channels = namedChannels();
    channels[1].LogSel = 0;
    channels[5].LogSel = 0;
    std::array<float, kChannelCount> values{};
    values[0] = 123.4f;
    values[1] = 99.0f;
    values[2] = 87.0f;
    values[3] = 5.0f;
    values[4] = -12.3f;
    values[5] = 1.0f;
    EXPECT_EQ(csvRowBytes(QTime(9, 6, 5), channels, values, 6),
              QByteArray("\"9:6:5 AM\",123.4,,87,5,-12.3,\r\n"));

    for (auto& channel : channels)
        channel.LogSel = 0;
    EXPECT_EQ(csvRowBytes(QTime(9, 6, 5), channels, values, 6), QByteArray("\"9:6:5 AM\",,,,,,\r\n"));
    channels[5].LogSel = 1;
    EXPECT_EQ(csvRowBytes(QTime(9, 6, 5), channels, values, 6), QByteArray("\"9:6:5 AM\",,,,,,1\r\n"));
}

TEST(CsvFormat, HeaderLinesInCp932WithQuotesDoubled)
{
    auto channels = namedChannels();
    channels[0].Name = fitName(QString::fromUtf8("温度計"));
    channels[1].Name = fitName(QStringLiteral("Tank \"A\""));
    const QDate date(2024, 3, 7);
    const QByteArray expected =
        "\"" + QLocale::system().toString(date, QLocale::ShortFormat).toLatin1() + "\"\r\n" +
        "\"CH Name\",\"" + QByteArray::fromHex("89b793788c76") + QByteArray(15, ' ') + "\"," +
        "\"Tank \"\"A\"\"          \",\"CH2               \"\r\n";
    EXPECT_EQ(csvHeaderBytes(date, channels, 3).toHex().toStdString(), expected.toHex().toStdString());
}

TEST(CsvFormat, TimeAndNumbers)
{
    EXPECT_EQ(csvRowTime(QTime(13, 5, 9)), QStringLiteral("1:5:9 PM"));
    EXPECT_EQ(csvRowTime(QTime(0, 0, 30)), QStringLiteral("12:0:30 AM"));
    EXPECT_EQ(csvRowTime(QTime(12, 0, 0)), QStringLiteral("12:0:0 PM"));
    EXPECT_EQ(csvRowTime(QTime(23, 59, 59)), QStringLiteral("11:59:59 PM"));

    const std::pair<float, const char*> cases[] = {
        {123.4f, "123.4"},       {1234.5f, "1234.5"},     {-3.0f, "-3"},         {0.0f, "0"},
        {-0.0f, "0"},            {0.5f, "0.5"},           {-0.25f, "-0.25"},     {87.0f, "87"},
        {-12.3f, "-12.3"},       {0.1f, "0.1"},           {1234567.0f, "1234567"}, {9999.999f, "9999.999"},
        {123456789.0f, "1.234568E+08"}, {0.00001f, "1E-05"}, {0.0001f, "0.0001"}, {-2.5e-7f, "-2.5E-07"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(csvNumber(value), QString::fromLatin1(text)) << text;
}

}  // namespace
}  // namespace rdxmon
