// The alarm limits file (round trip, bad lines, the copy before writing)
// and the alarm journal (its lines, kept across runs, lines that wait).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include "AlarmJournal.h"
#include "AlarmSettings.h"

namespace rdxalarm {
namespace {

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(AlarmSettingsFile, RoundTrip)
{
    AlarmSettings s;
    s.communicationTimeout = 45;
    s.at(0, AlarmLimit::HighHigh) = {true, 40.25, 0.5, 5};
    s.at(0, AlarmLimit::LowLow) = {true, -1e-3, 0, 0};
    s.at(185, AlarmLimit::High) = {true, 1234567.5, 10, 3600};
    const QByteArray text = formatAlarmSettings(s);
    EXPECT_TRUE(
        text.contains("[01-1]\nhigh_high = 40.25, deadband 0.5, delay 5\nlow_low = -0.001, deadband 0, delay 0\n"));
    const AlarmSettingsResult back = parseAlarmSettings(text, "x");
    EXPECT_TRUE(back.problem.isEmpty()) << back.problem.toStdString();
    EXPECT_TRUE(back.settings == s);

    QTemporaryDir dir;
    EXPECT_TRUE(loadAlarmSettings(dir.path()).problem.isEmpty());  // no file: no alarms
    QString error;
    ASSERT_TRUE(saveAlarmSettings(dir.path(), s, false, &error)) << error.toStdString();
    EXPECT_TRUE(loadAlarmSettings(dir.path()).settings == s);
}

TEST(AlarmSettingsFile, BadLinesAreToldAndLeftOut)
{
    struct Case {
        const char* line;
        const char* told;
    } cases[] = {
        {"[01-7]\nhigh = 1", "line 2: \"[01-7]\" is not a channel"},
        {"[02-1]\nhihg = 1", "line 3: \"hihg\" is not a limit"},
        {"[02-1]\nhigh = abc", "02-1 high: the set point \"abc\" is not a number"},
        {"[02-1]\nhigh = 1, deadband -1", "\"deadband -1\" is not a deadband of 0 or more"},
        {"[02-1]\nhigh = 1, delay 2.5", "\"delay 2.5\" is not a deadband of 0 or more or a delay of 0 to 3600"},
        {"[02-1]\nhigh = 1, wait 2", "\"wait 2\" is not \"deadband N\" or \"delay S\""},
        {"[general]\ncommunication_timeout = -1", "communication_timeout \"-1\" is not 0 to 86400 seconds"},
        {"high = 1", "line 2: \"high = 1\" is not \"key = value\" under a [section]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        // The good lines after the bad one are kept.
        const AlarmSettingsResult r
            = parseAlarmSettings("; limits\n" + QByteArray(c.line) + "\n[03-1]\nlow = 5\n", "/f/RDX512ALARM.INI");
        EXPECT_TRUE(r.problem.contains(QString::fromUtf8(c.told))) << r.problem.toStdString();
        EXPECT_TRUE(r.problem.contains("/f/RDX512ALARM.INI"));
        EXPECT_TRUE(r.settings.at(12, AlarmLimit::Low).on);
    }
}

TEST(AlarmSettingsFile, ABadFileIsCopiedBeforeItIsWrittenOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kAlarmSettingsFile);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[01-1]\nhigh = ?\n");
    }
    const AlarmSettingsResult r = loadAlarmSettings(dir.path());
    ASSERT_FALSE(r.problem.isEmpty());
    ASSERT_TRUE(saveAlarmSettings(dir.path(), r.settings, true, nullptr));
    EXPECT_EQ(read(dir.filePath(kAlarmSettingsBackup)), "[01-1]\nhigh = ?\n");
    EXPECT_TRUE(loadAlarmSettings(dir.path()).problem.isEmpty());

    // A folder that is not there: told, nothing written.
    QString error;
    EXPECT_FALSE(saveAlarmSettings(dir.filePath("gone"), r.settings, false, &error));
    EXPECT_TRUE(error.startsWith("The alarm limits could not be stored in")) << error.toStdString();
}

TEST(AlarmJournal, LinesKeptAcrossRunsAndWaitingWhileTheFileCannotBeWritten)
{
    const QDateTime t(QDate(2026, 12, 7), QTime(10, 42, 5), QTimeZone(3600));
    const AlarmEvent raised{AlarmId::of(2, AlarmLimit::High),
                            t,
                            AlarmState::Normal,
                            AlarmState::ActiveUnacknowledged,
                            612.5f,
                            "Furnace, \"top\"",
                            {}};
    const AlarmEvent acked{AlarmId::communicationOf(4),
                           t.addSecs(65),
                           AlarmState::ActiveUnacknowledged,
                           AlarmState::ActiveAcknowledged,
                           std::nullopt,
                           "recorder address 05",
                           "alice"};
    EXPECT_EQ(journalLine(raised),
              "2026-12-07 10:42:05,01-3,\"Furnace, \"\"top\"\"\",high,612.5,normal,active unacknowledged,\"\"\n");
    EXPECT_EQ(journalLine(acked),
              "2026-12-07 10:43:10,05,\"recorder address 05\",communication,,active "
              "unacknowledged,active acknowledged,\"alice\"\n");

    QTemporaryDir dir;
    AlarmJournal(dir.path()).alarmChanged(raised);
    AlarmJournal(dir.path()).alarmChanged(acked);
    EXPECT_EQ(read(dir.filePath(kAlarmJournalFile)), kAlarmJournalHeader + journalLine(raised) + journalLine(acked));

    // The folder gone: told once, the lines wait and go out once it is back.
    const QString folder = dir.filePath("sub");
    ASSERT_TRUE(QDir().mkdir(folder));
    AlarmJournal journal(folder);
    QStringList told;
    journal.problemChanged = [&](const QString& p) { told << p; };
    ASSERT_TRUE(QDir(folder).removeRecursively());
    journal.alarmChanged(raised);
    journal.alarmChanged(acked);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("cannot be written")) << told[0].toStdString();
    EXPECT_TRUE(journal.problem().contains("2 lines wait"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_TRUE(journal.flush());
    EXPECT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].isEmpty());
    EXPECT_EQ(read(QDir(folder).filePath(kAlarmJournalFile)),
              kAlarmJournalHeader + journalLine(raised) + journalLine(acked));
}

}  // namespace
}  // namespace rdxalarm
