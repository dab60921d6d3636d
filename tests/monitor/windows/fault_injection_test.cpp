// The real program on a line of 31 recorders at 9600 bit/s where some of
// them misbehave (silent, short, an extra line, garbage, slow, noise
// bursts), logging resumed at start-up with a 1 s cycle. One run of about
// half a minute, watched from outside through the simulator's request log,
// the log file and the settings file.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "process_support.h"
#include "startup/InitRecord.h"

namespace rdxmon {
namespace {

constexpr int kRecorders = 31;
constexpr int kColumns = kRecorders * 6;

// The misbehaving recorders, as the simulator's options. The rest of the
// slow 25's reply comes after the time-out, while the program waits for
// the silent 26; the extra line of 19 comes when 20 is next.
const std::vector<std::pair<QString, std::set<int>>> kFaults = {
    {QStringLiteral("--silent"), {7, 26}},  {QStringLiteral("--short"), {13}},
    {QStringLiteral("--extra"), {19}},      {QStringLiteral("--slow"), {25}},
    {QStringLiteral("--garbage"), {3, 11}}, {QStringLiteral("--noise"), {5, 29}},
};

bool healthy(int address)
{
    for (const auto& fault : kFaults) {
        if (fault.second.contains(address))
            return false;
    }
    return true;
}

// What one run left behind.
struct FaultRun {
    QString problem;  // set when the run could not be made at all
    bool runningAtEnd = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray settingsAfter;
    QStringList csvFiles;
    QList<QByteArray> rows;  // the data rows, without their CR LF
    std::map<int, testing::PollTally> polls;
};

FaultRun failedRun(const QString& problem)
{
    FaultRun run;
    run.problem = problem;
    return run;
}

int rowCount(const QDir& folder)
{
    const QStringList files = folder.entryList({QStringLiteral("*.csv")}, QDir::Files);
    return files.size() == 1 ? int(testing::readWholeFile(folder.filePath(files.first())).count("\r\n")) - 2 : 0;
}

FaultRun makeRun()
{
    FaultRun run;
    QTemporaryDir program, line;
    if (!program.isValid() || !line.isValid())
        return failedRun(QStringLiteral("no temporary folders"));
    if (!testing::copyProgram(program.path()) ||
        !testing::writeWholeFile(program.filePath(kInitFileName),
                                 testing::loggingSettingsRecordFor(kRecorders, QStringLiteral("COM1"))) ||
        !QFile::link(line.filePath(QStringLiteral("COM1")), program.filePath(QStringLiteral("COM1"))))
        return failedRun(QStringLiteral("the program folder cannot be made"));

    const QString log = line.filePath(QStringLiteral("requests.log"));
    QStringList options{QStringLiteral("--dir"),  line.path(), QStringLiteral("--addresses"),
                        QStringLiteral("1-31"),   QStringLiteral("--baud"), QStringLiteral("9600"),
                        QStringLiteral("--log"),  log};
    for (const auto& [option, addresses] : kFaults) {
        QStringList list;
        for (int a : addresses)
            list << QString::number(a);
        options << option << list.join(QLatin1Char(','));
    }
    testing::SimulatorProcess sim;
    if (!sim.start(options, line.filePath(QStringLiteral("ready"))))
        return failedRun(QStringLiteral("the simulator does not start"));
    QProcess monitor;
    if (!testing::startProgram(monitor, program.path()))
        return failedRun(QStringLiteral("the program does not start"));

    // Two full cycles (about 11 s each): every healthy recorder answered
    // twice, then two more rows for the values of the last answer.
    const auto everyHealthyAnsweredTwice = [&] {
        const std::map<int, testing::PollTally> polls = testing::pollTallies(testing::loggedRequests(log));
        for (int a = 1; a <= kRecorders; ++a) {
            if (healthy(a) && (!polls.contains(a) || polls.at(a).answered < 2))
                return false;
        }
        return true;
    };
    testing::waitUntil([&] { return everyHealthyAnsweredTwice() || monitor.state() != QProcess::Running; }, 34000);
    const QDir folder(program.path());
    const int rowsSoFar = rowCount(folder);
    testing::waitUntil([&] { return rowCount(folder) >= rowsSoFar + 2 || monitor.state() != QProcess::Running; },
                       4000);

    run.runningAtEnd = monitor.state() == QProcess::Running;
    monitor.terminate();  // SIGTERM
    if (!monitor.waitForFinished(5000)) {
        monitor.kill();
        monitor.waitForFinished(3000);
    }
    run.exitStatus = monitor.exitStatus();
    run.exitCode = monitor.exitCode();
    run.settingsAfter = testing::readWholeFile(program.filePath(kInitFileName));
    run.polls = testing::pollTallies(testing::loggedRequests(log));
    run.csvFiles = folder.entryList({QStringLiteral("*.csv")}, QDir::Files);
    if (run.csvFiles.size() == 1) {
        QList<QByteArray> lines = testing::readWholeFile(folder.filePath(run.csvFiles.first())).split('\n');
        lines.removeLast();  // after the last line end
        for (int i = 2; i < lines.size(); ++i)
            run.rows << (lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i]);
    }
    return run;
}

// "h:m:s AM/PM" -> seconds after midnight, or -1.
int rowSecond(const QByteArray& field)
{
    static const QRegularExpression time(QStringLiteral("^\"(\\d{1,2}):(\\d{1,2}):(\\d{1,2}) (AM|PM)\"$"));
    const QRegularExpressionMatch m = time.match(QString::fromLatin1(field));
    if (!m.hasMatch())
        return -1;
    const int hour = m.captured(1).toInt() % 12 + (m.captured(4) == QLatin1String("PM") ? 12 : 0);
    return (hour * 60 + m.captured(2).toInt()) * 60 + m.captured(3).toInt();
}

// The six fields of one recorder in a row.
QList<QByteArray> recorderFields(const QByteArray& row, int address)
{
    return row.split(',').mid(1 + (address - 1) * 6, 6);
}

TEST(FaultInjection, TheProgramRidesOutAFaultyLine)
{
    const FaultRun run = makeRun();
    ASSERT_TRUE(run.problem.isEmpty()) << run.problem.toStdString();

    // It stays up, ends normally on SIGTERM and keeps logging marked as
    // running for the next start.
    EXPECT_TRUE(run.runningAtEnd);
    EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.settingsAfter, testing::loggingSettingsRecordFor(kRecorders, QStringLiteral("COM1")));

    // Every due second from the first row to the last has its row.
    ASSERT_EQ(run.csvFiles.size(), 1) << run.csvFiles.join(QLatin1Char(' ')).toStdString();
    ASSERT_GE(run.rows.size(), 15);
    int previous = -1;
    for (const QByteArray& row : run.rows) {
        ASSERT_EQ(row.count(','), kColumns) << row.toStdString();
        const int second = rowSecond(row.left(row.indexOf(',')));
        ASSERT_GE(second, 0) << row.left(20).toStdString();
        if (previous >= 0) {
            EXPECT_EQ(second, (previous + 1) % 86400) << "a row at " << second << " s follows one at " << previous;
        }
        previous = second;
    }

    // The faults reached the line: the silent, short and slow recorders were
    // asked and never gave a whole reply.
    for (int address : {7, 13, 25}) {
        ASSERT_TRUE(run.polls.contains(address)) << address;
        EXPECT_GE(run.polls.at(address).requests, 2) << address;
        EXPECT_EQ(run.polls.at(address).answered, 0) << address;
    }
    // Every healthy recorder answered at least twice.
    for (int a = 1; a <= kRecorders; ++a) {
        if (!healthy(a))
            continue;
        ASSERT_TRUE(run.polls.contains(a)) << "recorder " << a << " never polled";
        EXPECT_GE(run.polls.at(a).answered, 2) << "recorder " << a;

        // Its columns take at least two sets of values after the zeros that
        // stand before its first reply.
        std::set<QList<QByteArray>> seen;
        for (const QByteArray& row : run.rows) {
            const QList<QByteArray> fields = recorderFields(row, a);
            if (fields.count("0") != fields.size())
                seen.insert(fields);
        }
        EXPECT_GE(seen.size(), 2u) << "recorder " << a;
    }

    // Their values are their own: channel 6 of every fifth recorder reports
    // no value ("S" line), which the log holds as 0. A number there means
    // the column was filled from lines of another reply, left on the line
    // by a faulty recorder.
    for (int a = 5; a <= kRecorders; a += 5) {
        if (!healthy(a))
            continue;
        int foreign = 0;
        for (const QByteArray& row : run.rows) {
            if (recorderFields(row, a).value(5) != "0")
                ++foreign;
        }
        EXPECT_EQ(foreign, 0) << "recorder " << a << ": rows with a value in its skipped channel 6";
    }
}

}  // namespace
}  // namespace rdxmon
