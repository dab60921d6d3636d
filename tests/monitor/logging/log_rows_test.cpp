// The rows of the log: their bytes (header lines, row layout, time, numbers)
// and when they are due (the cycle, the grid, late ticks and clock jumps).
#include <QLocale>

#include <gtest/gtest.h>

#include "logging/CsvFormat.h"
#include "logging/LogSchedule.h"
#include "names/Cp932.h"

namespace rdxmon {
namespace {

TEST(CsvFormat, RowsLeaveUnselectedAndNeverReadChannelsEmpty)
{
    std::array<ChannelRecord, kChannelCount> channels{};
    std::array<float, kChannelCount> values{123.4f, 99.0f, 87.0f, 5.0f, -12.3f, 0.0f};
    std::array<PvState, kChannelCount> states{};
    // Per channel 1 to 6: selected, has had a reading; the row expected.
    // Channel states: c current, s stale, n no reading, k skipped. Only a
    // current value is a reading of the row's time.
    const struct {
        const char *selected, *states, *row;
    } cases[] = {
        {"101110", "cccccc", "\"9:6:5 AM\",123.4,,87,5,-12.3,\r\n"},
        {"111111", "cccccc", "\"9:6:5 AM\",123.4,99,87,5,-12.3,0\r\n"},
        {"000000", "cccccc", "\"9:6:5 AM\",,,,,,\r\n"},
        {"000001", "cccccc", "\"9:6:5 AM\",,,,,,0\r\n"},
        {"111111", "scnkcs", "\"9:6:5 AM\",,99,,,-12.3,\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.selected) + " " + c.states);
        for (int i = 0; i < 6; ++i) {
            channels[i].LogSel = c.selected[i] == '1' ? 1 : 0;
            const std::string codes = "csnk";
            const PvState kinds[] = {PvState::Current, PvState::Stale, PvState::NoReading, PvState::Skipped};
            states[i] = kinds[codes.find(c.states[i])];
        }
        EXPECT_EQ(csvRowBytes(QTime(9, 6, 5), channels, values, states, 6), QByteArray(c.row));
    }
}

TEST(CsvFormat, HeaderHoldsEighteenCharacterNamesInCp932WithoutControlCharacters)
{
    std::array<ChannelRecord, kChannelCount> channels{};
    channels[0].Name = fitName(QString::fromUtf8("温度計"));
    channels[1].Name = fitName(QStringLiteral("Tank \"A\""));
    channels[2].Name = fitName(QStringLiteral("CH") + QChar(0) + "2\r\n\x7f");  // control characters: blanks
    const QDate date(2024, 3, 7);
    const QByteArray expected = "\"" + QLocale::system().toString(date, QLocale::ShortFormat).toLatin1() + "\"\r\n"
        + "\"CH Name\",\"" + QByteArray::fromHex("89b793788c76") + QByteArray(15, ' ') + "\","
        + "\"Tank \"\"A\"\"          \",\"CH 2              \"\r\n";
    EXPECT_EQ(csvHeaderBytes(date, channels, 3).toHex().toStdString(), expected.toHex().toStdString());
}

TEST(CsvFormat, TimeAndNumbers)
{
    const std::pair<QTime, const char*> times[] = {{QTime(13, 5, 9), "1:5:9 PM"},
                                                   {QTime(0, 0, 30), "12:0:30 AM"},
                                                   {QTime(12, 0, 0), "12:0:0 PM"},
                                                   {QTime(23, 59, 59), "11:59:59 PM"}};
    for (const auto& [time, text] : times) {
        EXPECT_EQ(csvRowTime(time), QString::fromLatin1(text)) << text;
        // Read back from the row's quoted first field.
        EXPECT_EQ(csvRowSeconds(QByteArray("\"") + text + '"'), QTime(0, 0).secsTo(time)) << text;
    }
    for (const char* notATime :
         {"\"CH Name\"", "\"13:0:0 PM\"", "\"1:5 PM\"", "1:5:9 PM", "\"1:60:0 AM\"", "\"26/12/07\""})
        EXPECT_EQ(csvRowSeconds(notATime), -1) << notATime;
    const std::pair<float, const char*> numbers[] = {{123.4f, "123.4"},
                                                     {1234.5f, "1234.5"},
                                                     {-3.0f, "-3"},
                                                     {0.0f, "0"},
                                                     {-0.0f, "0"},
                                                     {-0.25f, "-0.25"},
                                                     {0.1f, "0.1"},
                                                     {1234567.0f, "1234567"},
                                                     {9999.999f, "9999.999"},
                                                     {123456789.0f, "1.234568E+08"},
                                                     {0.00001f, "1E-05"},
                                                     {0.0001f, "0.0001"},
                                                     {-2.5e-7f, "-2.5E-07"}};
    for (const auto& [value, text] : numbers)
        EXPECT_EQ(csvNumber(value), QString::fromLatin1(text)) << text;
}

TEST(LogSchedule, NumberIsKeptWithinOneToSixtyBeforeTheUnit)
{
    const std::tuple<const char*, bool, int> cases[] = {
        {"20", false, 20},   {" 1", false, 1},   {"60", true, 3600}, {"0", false, 1},  {"0", true, 60},
        {"100", true, 3600}, {"100", false, 60}, {"abc", true, 60},  {"-5", false, 1},
    };
    for (const auto& [caption, minutes, seconds] : cases)
        EXPECT_EQ(cycleSeconds(QString::fromLatin1(caption), minutes), seconds) << caption << minutes;
}

QDateTime at(int day, int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2024, 3, 7 + day), QTime(h, m, s, ms), Qt::UTC);
}

TEST(LogSchedule, LateTicksAndClockJumps)
{
    const QDateTime due = at(0, 10, 0, 30);
    const struct {
        const char* what;
        QDateTime due, now;
        int cycle;
        QDateTime stamp, next;  // stamp null: no row
    } cases[] = {
        {"before the due second", due, at(0, 10, 0, 29, 800), 30, {}, due},
        {"at the due second", due, at(0, 10, 0, 30), 30, due, at(0, 10, 1, 0)},
        {"end of the due second", due, at(0, 10, 0, 30, 999), 1, due, at(0, 10, 0, 31)},
        {"thread held 3 s", due, at(0, 10, 0, 33, 400), 30, due, at(0, 10, 1, 0)},
        {"held over midnight", at(0, 23, 59, 59), at(1, 0, 0, 3), 20, at(0, 23, 59, 59), at(1, 0, 0, 19)},
        {"one cycle late", due, at(0, 10, 0, 31, 100), 1, at(0, 10, 0, 31), at(0, 10, 0, 32)},
        {"two cycles late", due, at(0, 10, 1, 30), 30, at(0, 10, 1, 30), at(0, 10, 2, 0)},
        {"too late to carry the due second", due, at(0, 10, 0, 45), 60, at(0, 10, 0, 45), at(0, 10, 1, 30)},
        {"woke an hour later", due, at(0, 11, 15, 7, 500), 3600, at(0, 11, 15, 7), at(0, 12, 0, 30)},
        {"woke the next day", due, at(1, 9, 0, 0), 30, at(1, 9, 0, 0), at(1, 9, 0, 30)},
        {"clock set back an hour", due, at(0, 9, 0, 0), 30, {}, at(0, 9, 0, 30)},
        {"clock set back a little", due, at(0, 10, 0, 5), 30, {}, due},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LogStep step = logStep(c.due, c.now, c.cycle);
        EXPECT_EQ(step.write ? step.stamp : QDateTime(), c.stamp);
        EXPECT_EQ(step.next, c.next);
    }
}

}  // namespace
}  // namespace rdxmon
