// The trend's history across a restart: the last 8 hours of the logs in the
// program folder, rows dated back from the file's last change, empty fields
// and the ends of files as breaks.
#include <algorithm>
#include <cmath>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "logging/CsvFormat.h"
#include "trend/TrendReadBack.h"

namespace rdxmon {
namespace {

// Local times: rows carry the local time of day.
const QDateTime kNow(QDate(2026, 12, 8), QTime(0, 10, 0));

class TrendReadBackTest : public ::testing::Test {
protected:
    // A log of `columns` channels: its header, then rows of (time, fields).
    void writeLog(const QString& name, int columns, const std::vector<std::pair<QTime, QByteArray>>& rows,
                  const QDateTime& lastWritten)
    {
        QByteArray text = "\"26/12/07\"\r\n\"CH Name\"";
        for (int k = 0; k < columns; ++k)
            text += ",\"Channel           \"";
        text += "\r\n";
        for (const auto& [time, fields] : rows)
            text += csvRowTime(time).toLatin1().prepend('"') + "\"," + fields + "\r\n";
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        file.close();
        ASSERT_TRUE(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(lastWritten, QFileDevice::FileModificationTime));
    }
    std::vector<TrendPoint> pointsOf(int channel) const
    {
        std::vector<TrendPoint> out;
        history.points(channel, 0, kNow.toMSecsSinceEpoch(), out);
        return out;
    }
    static qint64 at(const QDate& day, const QTime& time) { return QDateTime(day, time).toMSecsSinceEpoch(); }

    QTemporaryDir dir;
    TrendHistory history;
};

TEST_F(TrendReadBackTest, RowsOfTheLastHoursAcrossMidnightWithTheirGaps)
{
    const QDate day1(2026, 12, 7), day2(2026, 12, 8);
    // One recorder, a row a minute from 23:58 to 0:02; channel 2 had no
    // reading at 23:59, the recorder none at 0:01.
    writeLog("261207_2358.csv", 6,
             {{QTime(23, 58), "1,2,3,4,5,6"},
              {QTime(23, 59), "1.5,,3,4,5,6"},
              {QTime(0, 0), "2,2,3,4,5,6"},
              {QTime(0, 1), ",,,,,"},
              {QTime(0, 2), "-3E-05,2,3,4,5,6"}},
             QDateTime(day2, QTime(0, 2, 0, 300)));
    // Older than the history reaches, and not a log.
    writeLog("261207_0900.csv", 6, {{QTime(9, 0), "7,7,7,7,7,7"}}, QDateTime(day1, QTime(9, 0, 1)));
    writeLog("notes.txt", 6, {{QTime(0, 5), "8,8,8,8,8,8"}}, QDateTime(day2, QTime(0, 5, 1)));

    const ReadBack got = readBackLogs(dir.path(), kNow, 1, history);
    EXPECT_EQ(got.files, 1);
    EXPECT_EQ(got.rows, 5);
    EXPECT_EQ(got.fromMs, at(day1, QTime(23, 58)));

    const std::vector<TrendPoint> first = pointsOf(0);
    const std::vector<qint64> times = {at(day1, QTime(23, 58)), at(day1, QTime(23, 59)), at(day2, QTime(0, 0)),
                                       at(day2, QTime(0, 1)),   at(day2, QTime(0, 2)),   at(day2, QTime(0, 2)) + 1};
    ASSERT_EQ(first.size(), times.size());
    const float values[] = {1, 1.5f, 2, NAN, -3e-5f, NAN};  // the file's end is a break
    for (std::size_t i = 0; i < times.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(first[i].ms, times[i]);
        if (std::isnan(values[i]))
            EXPECT_TRUE(first[i].isBreak());
        else
            EXPECT_FLOAT_EQ(first[i].value, values[i]);
    }
    EXPECT_TRUE(pointsOf(1)[1].isBreak());
    EXPECT_FLOAT_EQ(pointsOf(5)[0].value, 6);
}

TEST_F(TrendReadBackTest, ALongLogIsReadFromItsEndAndAPauseInItIsABreak)
{
    // Twelve recorders, a row every 5 s for 8 h 20 min up to 0:05, with the
    // program away from 23:00 to 23:10: some 2 MB, read in blocks.
    std::vector<std::pair<QTime, QByteArray>> rows;
    QByteArray fields;
    for (int k = 0; k < 72; ++k)
        fields += (k ? "," : "") + QByteArray::number(k + 0.5);
    const QDateTime end(QDate(2026, 12, 8), QTime(0, 5));
    for (QDateTime t = end.addSecs(-(8 * 3600 + 1200)); t <= end; t = t.addSecs(5)) {
        if (t.time() >= QTime(23, 0) && t.time() < QTime(23, 10))
            continue;
        rows.emplace_back(t.time(), fields);
    }
    writeLog("261207_1545.csv", 72, rows, end.addMSecs(100));

    const ReadBack got = readBackLogs(dir.path(), kNow, 12, history);
    const qint64 from = kNow.toMSecsSinceEpoch() - TrendHistory::kSpanMs;
    EXPECT_EQ(got.fromMs, from);  // 16:10, the oldest row the history reaches
    EXPECT_EQ(got.rows, (end.toMSecsSinceEpoch() - from) / 5000 + 1 - 120);
    std::vector<TrendPoint> last;
    const qint64 pause = QDateTime(QDate(2026, 12, 7), QTime(23, 0)).toMSecsSinceEpoch();
    history.points(71, pause - 1000, pause + 1000, last);
    EXPECT_FLOAT_EQ(last.front().value, 71.5f);
    EXPECT_TRUE(std::any_of(last.begin(), last.end(), [](const TrendPoint& p) { return p.isBreak(); }));
}

}  // namespace
}  // namespace rdxmon
