// The real program and the main window with the real link against the
// recorder simulator, and the program in a folder without the link library.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>

#include "startup/InitRecord.h"
#include "startup/LinkLoader.h"
#include "support/FakeServices.h"
#include "support/Processes.h"
#include "windows/MainDisp.h"

namespace rdxmon {
namespace {

using namespace rdxmon::testing;

TEST(Program, RidesOutAFaultyLineAndALostPort)
{
    // 1 and 6 healthy, 2 noise after its reply, 3 silent, 4 a line too many,
    // 5 slow (the rest of its reply comes after the time-out, while 6 is
    // asked; its channel 6 reports no value), 7 short, 8 garbage. The port
    // goes away after 9 s and is back 2 s later (the simulator's clock).
    const qint64 vanishMs = 9000, returnMs = 11000;
    QTemporaryDir program, line;
    ASSERT_TRUE(program.isValid() && line.isValid() && copyProgram(program.path()));
    const QString settings = program.filePath(kInitFileName), log = line.filePath("requests.log");
    ASSERT_TRUE(writeWholeFile(settings, loggingSettingsRecordFor(8, "COM1"))
                && QFile::link(line.filePath("COM1"), program.filePath("COM1")));
    SimulatorProcess sim;
    ASSERT_TRUE(sim.start({"--dir",     line.path(), "--addresses",    "1-8", "--log",          log, "--noise", "2",
                           "--silent",  "3",         "--extra",        "4",   "--slow",         "5", "--short", "7",
                           "--garbage", "8",         "--vanish-after", "9",   "--return-after", "2"},
                          line.filePath("ready")));
    const QDateTime started = QDateTime::currentDateTime();
    QProcess monitor;
    ASSERT_TRUE(startProgram(monitor, program.path()));
    // After the port is back, every recorder is asked again, then two more rows.
    EXPECT_TRUE(waitUntil([&] { return addressesOf(loggedRequests(log), "open", returnMs).count("08") >= 1; }, 25000))
        << [&] {
               std::string text;
               for (const LoggedRequest& r : loggedRequests(log))
                   text += std::to_string(r.ms) + " " + r.request.toStdString() + "\n";
               return text;
           }();
    const QDir folder(program.path());
    const auto rows = [&] {
        const QStringList files = folder.entryList({"*.csv"}, QDir::Files);
        return files.size() == 1 ? readWholeFile(folder.filePath(files[0])).split('\n').mid(2) : QList<QByteArray>();
    };
    const qsizetype rowsSoFar = rows().size();
    waitUntil([&] { return rows().size() >= rowsSoFar + 2; }, 3000);

    // Up all along, ended normally by SIGTERM, the settings stored again with
    // logging marked as running for the next start.
    EXPECT_EQ(monitor.state(), QProcess::Running);
    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(5000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    EXPECT_EQ(readWholeFile(settings), loggingSettingsRecordFor(8, "COM1"));
    EXPECT_GT(QFileInfo(settings).lastModified(), started);

    // The start-up pass asks the recorders in slot order, the silent one
    // holding up nobody; silent, slow and short ones never count as answered.
    const QList<LoggedRequest> requests = loggedRequests(log);
    const QStringList opened = addressesOf(requests, "open");
    EXPECT_EQ(opened.mid(0, 9), (QStringList{"01", "02", "03", "04", "05", "06", "07", "08", "01"}));
    // The link closes an exchange only after a whole reply (and each recorder
    // once at the connect).
    const QStringList closed = addressesOf(requests, "close");
    for (const QString a : {"01", "02", "03", "04", "05", "06", "07", "08"}) {
        EXPECT_GE(opened.count(a), 2) << a.toStdString();
        EXPECT_EQ(closed.count(a) > 1, a != "03" && a != "05" && a != "07") << a.toStdString();
    }
    // Nothing is asked while the port is away; polling is back within a
    // reopen attempt or two.
    const auto back = std::find_if(requests.begin(), requests.end(), [&](auto& r) { return r.ms >= vanishMs; });
    ASSERT_NE(back, requests.end());
    EXPECT_TRUE(back->ms >= returnMs && back->ms <= returnMs + 5000) << back->ms;

    // A row for every second, one field per channel. Recorder 6, asked after
    // the slow 5, logs its own values: channel 3 whole numbers, channel 5 a
    // value (5's tail read as 6's reply puts decimals and 5's empty channel 6
    // there).
    QList<QByteArray> lines = rows();
    ASSERT_GE(lines.size(), 12);
    lines.removeLast();  // after the last line end
    int previous = -1, ownRows = 0;
    for (const QByteArray& text : lines) {
        const QList<QByteArray> row = text.trimmed().split(',');
        ASSERT_EQ(row.size(), 1 + 8 * 6) << text.toStdString();
        const int second = QTime(0, 0).secsTo(QTime::fromString(row[0], "\"h:m:s AP\""));
        EXPECT_TRUE(previous < 0 || second == (previous + 1) % 86400) << text.toStdString();
        previous = second;
        const QList<QByteArray> six = row.mid(1 + 5 * 6, 6);
        if (six.join().isEmpty())
            continue;  // no reading yet, or none since the line was lost
        ++ownRows;
        EXPECT_FALSE(six[2].contains('.') || six[4].isEmpty() || six[4] == "0") << text.toStdString();
    }
    EXPECT_GE(ownRows, 4);
}

TEST(Program, MainWindowShowsTheRecorderAfterASlowOneItsOwnValues)
{
    // The link library finds COMn beside the running executable: the
    // simulator puts its link there under a name no other test uses.
    QTemporaryDir work;
    SimulatorProcess sim;
    ASSERT_TRUE(sim.start(
        {"--dir", QCoreApplication::applicationDirPath(), "--port-name", "COM7", "--addresses", "5-6", "--slow", "5"},
        work.filePath("ready")));
    LinkLoader loader;
    QString error;
    ASSERT_TRUE(loader.load(RDX_PROGRAM_DIR, &error)) << error.toStdString();
    SharedState state;
    state.gLink = loader.object();
    state.gDevAddr = {5, 6};
    state.gChTotal = "12";
    state.gRecTotal = 2;
    state.programFolder = work.path();
    state.gInit.Port = "COM7";
    state.gInit.RecCount = "02";
    state.gLink->TimeOut(1000);
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
    MainDisp window(state, services);
    MainDispParts parts;
    parts.releaseLink = [&] { loader.release(); };
    window.setParts(parts);
    window.Communicate();
    ASSERT_EQ(state.gPortOpened, "True") << messages.shown.join(' ').toStdString();
    window.DVsele1_Click();

    // The window thread answers all along, also while 05's reply is read
    // (up to the link's 1 s time-out): the longest gap between its events.
    QElapsedTimer sinceEvent;
    qint64 longestGap = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceEvent.restart()); });
    sinceEvent.start();
    probe.start(10);

    // Three replies of 06 (its status line changes with each): channel 1 one
    // decimal, 3 a whole number, 5 a value.
    std::string status = state.gPvLine[1][1];
    int replies = 0;
    waitUntil(
        [&] {
            if (state.gPvLine[1][1] == status)
                return false;
            status = state.gPvLine[1][1];
            EXPECT_EQ(state.gPvLine[1][2].substr(0, 3), "N06");
            const QString shown
                = window.lblPv[6]->text() + ' ' + window.lblPv[8]->text() + ' ' + window.lblPv[10]->text();
            EXPECT_TRUE(QRegularExpression("^-?\\d+\\.\\d -?\\d+\\. \\S+$").match(shown).hasMatch())
                << shown.toStdString();
            return ++replies == 3;
        },
        12000);
    EXPECT_EQ(replies, 3);
    // The slow 05 never gave a whole reply: marked, and no value shown.
    EXPECT_TRUE(window.lblPv[0]->toolTip().contains("did not end in time")) << window.lblPv[0]->toolTip().toStdString();
    EXPECT_TRUE(window.lblPv[0]->text().isEmpty());
    EXPECT_LT(longestGap, 250);
    window.stopPolling();
}

TEST(Program, SimulatedRecordersChosenForThePortNeedNoHardware)
{
    // The port choice "simulated": the program starts the simulator beside
    // it for its two recorders, polls and logs them, and ends it again.
    QTemporaryDir program;
    ASSERT_TRUE(program.isValid() && copyProgram(program.path())
                && QFile::copy(RDX_PROGRAM_DIR "/rdx512-sim", program.filePath("rdx512-sim"))
                && writeWholeFile(program.filePath(kInitFileName), loggingSettingsRecordFor(2, "COM3"))
                && writeWholeFile(program.filePath("RDX512PORT.INI"), "COM3=simulated\n"));
    QProcess monitor;
    ASSERT_TRUE(startProgram(monitor, program.path()));
    const QDir folder(program.path());
    const auto valueRows = [&] {
        const QStringList files = folder.entryList({"*.csv"}, QDir::Files);
        if (files.size() != 1)
            return 0;
        int rows = 0;
        for (const QByteArray& line : readWholeFile(folder.filePath(files[0])).split('\n').mid(2))
            rows += QRegularExpression("^\"[^\"]+\",-?\\d").match(QString::fromLatin1(line)).hasMatch();
        return rows;
    };
    EXPECT_TRUE(waitUntil([&] { return valueRows() >= 2; }, 15000)) << monitor.readAllStandardError().toStdString();
    EXPECT_TRUE(QFileInfo(program.filePath("COM3")).isSymLink());
    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(8000));
    EXPECT_EQ(monitor.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo(program.filePath("COM3")).isSymLink(); }, 3000));
}

TEST(Program, EveryProgramAnswersHelpAndVersionWithoutADisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString name :
         {"RDXMON-1_V104", "rdx512-logd", "rdx512-sim", "rdx-exchange", "bench-monitor", "bench-poll-cycle",
          "bench-logging", "bench-soak", "bench-latency", "bench-trust", "bench-trend", "bench-publish"}) {
        const QString path = QStringLiteral(RDX_PROGRAM_DIR "/") + name;
        if (name.startsWith("bench") && !QFileInfo::exists(path))
            continue;  // a build without them
        for (const QString option : {"--help", "--version"}) {
            SCOPED_TRACE((name + ' ' + option).toStdString());
            QProcess process;
            process.setProcessEnvironment(env);
            process.start(path, {option});
            ASSERT_TRUE(process.waitForFinished(10000));
            const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
            EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
            if (option == "--version")
                EXPECT_EQ(out, name + " 1.0.4\n");
            else
                EXPECT_TRUE(out.startsWith("usage: ", Qt::CaseInsensitive) && out.section('\n', 0, 0).contains(name))
                    << out.toStdString();
        }
    }
}

TEST(Program, WithoutItsLinkLibraryItTouchesNoSettings)
{
    QTemporaryDir folder;
    QProcess monitor;
    ASSERT_TRUE(QFile::copy(RDX_PROGRAM_DIR "/RDXMON-1_V104", folder.filePath("RDXMON-1_V104"))
                && writeWholeFile(folder.filePath(kInitFileName), "COM1") && startProgram(monitor, folder.path()));
    // Its message box waits for the operator: end it once it had time to show.
    EXPECT_FALSE(monitor.waitForFinished(1000));
    EXPECT_EQ(readWholeFile(folder.filePath(kInitFileName)), "COM1");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);
    monitor.kill();
    monitor.waitForFinished(3000);
}

}  // namespace
}  // namespace rdxmon
