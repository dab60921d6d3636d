// The logging service rdx512-logd as a process against the simulator, and
// beside the window program on a line of its own: the same files in, the
// same CSV out. A notify socket stands in for systemd.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include "ReplyFormat.h"
#include "startup/Startup.h"
#include "support/FakeServices.h"
#include "support/Processes.h"

namespace {

using namespace rdxmon::testing;
const QString kBin = QStringLiteral(RDX_PROGRAM_DIR);

QByteArray le16(int v)
{
    return QByteArray(1, char(v)) + char(v >> 8);
}
bool selected(int k)
{
    return k != 4;
}

// A line of three recorders with a program beside it: the window program
// keeps its files in its own folder, the service in "data". logging 1: the
// stored settings resume logging in "Default file" mode at a 1 s cycle; 0:
// logging off, "User select file"; -1: no settings file (the defaults: COM1,
// one recorder). simArgs: more options for the simulator.
struct Line {
    QTemporaryDir dir;
    QProcess sim, program;
    qint64 launchMs = 0, readyMs = 0;
    QByteArray alarms;  // RDX512ALARM.INI, when not empty
    ~Line()
    {
        for (QProcess* p : {&program, &sim})
            p->terminate(), p->waitForFinished(3000);
    }
    QString data() const { return dir.filePath(QStringLiteral("data")); }

    bool start(const QString& name, const QStringList& args, const QProcessEnvironment& env, int logging,
               const QStringList& simArgs = {})
    {
        const QString folder = name == QLatin1String("rdx512-logd") ? data() : dir.path();
        QByteArray names;
        for (int k = 0; k < 186; ++k)
            names += ("\x89\xb7 No." + QByteArray::number(k)).leftJustified(18, ' ') + le16(selected(k));
        if (!QDir(dir.path()).mkpath(QStringLiteral("data")) || !QFile::copy(kBin + '/' + name, dir.filePath(name))
            || !QFile::copy(kBin + "/libRDX500Comm3.so", dir.filePath("libRDX500Comm3.so"))
            || (logging >= 0
                && !writeWholeFile(folder + "/RDX512INIT.SET",
                                   QByteArray("COM19600 3") + le16(1) + le16(0) + le16(0) + le16(logging)
                                       + le16(logging)))
            || !writeWholeFile(folder + "/RDX512NAME.SET", names)
            || (!alarms.isEmpty() && !writeWholeFile(folder + "/RDX512ALARM.INI", alarms)))
            return false;
        launchMs = QDeadlineTimer::current().deadline();
        sim.start(kBin + "/rdx512-sim",
                  QStringList{"--dir", dir.path(), "--addresses", "1-3", "--skip-every", "2", "--log",
                              dir.filePath("sim.log"), "--ready-file", dir.filePath("ready")}
                      + simArgs);
        if (!waitUntil([&] { return QFile::exists(dir.filePath("ready")); }, 5000))
            return false;
        readyMs = QDeadlineTimer::current().deadline();
        program.setProcessEnvironment(env);
        program.start(dir.filePath(name), args);
        return program.waitForStarted(5000);
    }
    QByteArray csv() const
    {
        const QStringList found = QDir(data()).entryList({"*.csv"}) + QDir(dir.path()).entryList({"*.csv"});
        return found.size() == 1
            ? readWholeFile((QFile::exists(data() + '/' + found[0]) ? data() : dir.path()) + '/' + found[0])
            : QByteArray();
    }
    // The rows once three of them hold values of recorder 3 (polled last).
    QList<QByteArrayList> rows()
    {
        static const QRegularExpression full(QStringLiteral("\n\"[^\"]*\"(,[^,\r]*){12},[-0-9]"));
        waitUntil([&] { return QString::fromLatin1(csv()).count(full) >= 3; }, 15000);
        QList<QByteArrayList> rows;
        for (const QByteArray& line : csv().split('\n').mid(2))
            if (line.endsWith('\r'))
                rows << line.chopped(1).split(',');
        return rows;
    }
    // Whether every value field is one the simulator sent that channel: per
    // data request in its log, the recorder opened last answers with its next
    // sequence number and values following the clock at the reply.
    bool valuesAsSent(const QList<QByteArrayList>& rows) const
    {
        const rdxsim::ReplyGenerator generator;
        std::map<int, std::set<float>> sent;
        std::map<int, std::uint32_t> sequence;
        for (int open = 0; const LoggedRequest& r : loggedRequests(dir.filePath("sim.log"))) {
            if (r.request.startsWith("open "))
                open = r.request.mid(5).toInt();
            if (!r.request.startsWith("data") || open < 1)
                continue;
            const std::uint32_t seq = ++sequence[open];
            for (qint64 t = launchMs + r.ms - 20; t <= readyMs + r.ms + 60; ++t)
                for (int c = 1; c <= 6; ++c)
                    sent[(open - 1) * 6 + c - 1].insert(
                        std::strtof(generator.valueField(open, c, t, seq).c_str(), nullptr));
        }
        for (const QByteArrayList& row : rows)
            for (int k = 0; k + 1 < row.size(); ++k)
                if (!row[k + 1].isEmpty() && !sent[k].contains(std::strtof(row[k + 1].constData(), nullptr)))
                    return false;
        return !rows.isEmpty();
    }
};

TEST(Startup, BothProgramsTellTheSameAboutTheSameDamagedFiles)
{
    // A short settings file, short names and address files, a broker file
    // with a key nobody knows and a gateway section with a bad port.
    QTemporaryDir dir;
    const auto damage = [&] {
        return writeWholeFile(dir.filePath("RDX512INIT.SET"), "COM1")
            && writeWholeFile(dir.filePath("RDX512NAME.SET"), QByteArray(100, ' '))
            && writeWholeFile(dir.filePath("RDX512DVN.SET"), QByteArray(10, '\1'))
            && writeWholeFile(dir.filePath("rdx512.conf"),
                              "host=127.0.0.1\nline=a\ncolour=red\n[modbus]\nenabled=yes\nport=x\n");
    };
    ASSERT_TRUE(damage());
    // The start-up the window program runs: one message per file, in order.
    rdxtest::RecordingMessages told;
    rdxmon::loadStartupFiles(dir.path(), told);
    ASSERT_EQ(told.shown.size(), 5) << told.shown.join('|').toStdString();
    const char* files[] = {"RDX512INIT.SET", "RDX512NAME.SET", "RDX512DVN.SET", "colour", "[modbus] port"};
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(told.shown[i].contains(files[i])) << told.shown[i].toStdString();

    // The service, with the same files and a port that is not there.
    ASSERT_TRUE(damage() && QDir(dir.path()).mkpath("program")
                && QFile::copy(kBin + "/rdx512-logd", dir.filePath("program/rdx512-logd"))
                && QFile::copy(kBin + "/libRDX500Comm3.so", dir.filePath("program/libRDX500Comm3.so"))
                && QFile::link(dir.filePath("gone"), dir.filePath("program/COM1")));
    QProcess service;
    service.start(dir.filePath("program/rdx512-logd"), {"--folder", dir.path()});
    ASSERT_TRUE(service.waitForFinished(10000));
    QStringList lines;
    for (const QByteArray& line : service.readAllStandardError().split('\n'))
        if (line.startsWith("rdx512-logd: "))
            lines << QString::fromLocal8Bit(line.mid(13));
    // The same problems in the same order, each in the service's own words
    // (as its start-up gives them for those files).
    ASSERT_TRUE(damage());
    rdxtest::RecordingMessages serviceTold;
    rdxmon::loadStartupFiles(dir.path(), serviceTold, {}, rdxmon::Wording::Service);
    ASSERT_GE(lines.size(), 5) << lines.join('|').toStdString();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(lines[i].contains(files[i])) << lines[i].toStdString();
        EXPECT_EQ(lines[i], serviceTold.shown[i].simplified());
    }
}

TEST(LogService, LogsWhatTheSimulatorSentRefusesASecondOnThePortAndEndsCleanly)
{
    // systemd's notify socket, with a watchdog fed every 100 ms.
    QTemporaryDir socketDir;
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{AF_UNIX, {}};
    const QByteArray socketPath = QFile::encodeName(socketDir.filePath("notify"));
    qstrncpy(address.sun_path, socketPath.constData(), sizeof address.sun_path);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", socketPath), env.insert("WATCHDOG_USEC", "200000");
    QByteArray told(4096, 0);
    QByteArrayList messages;
    QSocketNotifier reader(notify, QSocketNotifier::Read);  // read as systemd does, or the sender blocks
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        for (ssize_t n; (n = ::recv(notify, told.data(), told.size(), 0)) > 0;)
            messages += told.left(n).split('\n');
    });

    Line line;  // logging was off in the stored settings: the service logs all the same
    ASSERT_TRUE(line.start("rdx512-logd", {"--folder", line.data()}, env, 0));
    const QList<QByteArrayList> rows = line.rows();
    EXPECT_TRUE(line.valuesAsSent(rows)) << line.csv().toStdString();

    QProcess second;
    second.start(line.dir.filePath("rdx512-logd"), {"--folder", line.data()});
    EXPECT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("is in use by another program")) << "second instance";

    ::kill(static_cast<pid_t>(line.program.processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return line.program.state() == QProcess::NotRunning; }, 5000));
    EXPECT_EQ(line.program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(line.program.exitCode(), 0) << line.program.readAllStandardError().toStdString();
    EXPECT_TRUE(line.csv().endsWith("\r\n"));
    ::close(notify);
    for (const char* message : {"READY=1", "WATCHDOG=1", "STOPPING=1"})
        EXPECT_TRUE(messages.contains(message)) << message;
}

TEST(LogService, WritesTheCsvAndTheAlarmsTheWindowProgramWrites)
{
    Line window, service;
    // Recorder 1's channel 1 is always above its limit.
    window.alarms = service.alarms = "[01-1]\nhigh = -1000\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    ASSERT_TRUE(window.start("RDXMON-1_V104", {}, env, 1));
    ASSERT_TRUE(service.start("rdx512-logd", {"--folder", service.data()}, env, 1));
    const QList<QByteArrayList> windowRows = window.rows(), serviceRows = service.rows();
    for (Line* line : {&window, &service})
        line->program.terminate(), line->program.waitForFinished(5000);

    // The header bytes are the same; in every row with values of all three
    // recorders the same fields are empty (channel 5 not selected, channel 6
    // of recorder 2 skipped, nothing beyond the 18 channels) and the others
    // hold values the line's simulator sent.
    ASSERT_FALSE(service.csv().isEmpty());
    EXPECT_EQ(window.csv().split('\n').mid(0, 2), service.csv().split('\n').mid(0, 2));
    const auto layout = [](const QByteArrayList& row) {
        QByteArray shape = row[0].startsWith('"') && row[0].endsWith('"') ? "t" : "?";
        for (const QByteArray& field : row.mid(1))
            shape += field.isEmpty() ? '_' : '#';
        return shape;
    };
    EXPECT_EQ(layout(windowRows.last()), "t####_######_######");
    EXPECT_EQ(layout(serviceRows.last()), layout(windowRows.last()));
    EXPECT_TRUE(window.valuesAsSent(windowRows));
    EXPECT_TRUE(service.valuesAsSent(serviceRows));

    // The same alarm in both journals; the service tells it as well.
    static const QRegularExpression raised(
        QStringLiteral("\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,01-1,\"[^\"]*\",high,[-0-9.]+,normal,active "
                       "unacknowledged,\"\"\n"));
    EXPECT_TRUE(QString::fromUtf8(readWholeFile(window.dir.filePath("RDX512ALARM.LOG"))).contains(raised));
    EXPECT_TRUE(QString::fromUtf8(readWholeFile(service.data() + "/RDX512ALARM.LOG")).contains(raised));
    EXPECT_TRUE(service.program.readAllStandardError().contains(": normal -> active unacknowledged, value "));
}

TEST(LogService, TellsTheJournalEachEventOnceWithItsPriorityInItsOwnWords)
{
    // Standard error into a file that JOURNAL_STREAM names, as systemd does
    // with the journal's stream.
    Line line;
    const QString err = line.dir.filePath("stderr");
    ASSERT_TRUE(writeWholeFile(err, {}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(err).constData(), &st), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("JOURNAL_STREAM", QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino));
    line.program.setStandardErrorFile(err, QIODevice::Append);
    // No settings: the defaults, one recorder. The port goes away after 3 s
    // for a second.
    ASSERT_TRUE(
        line.start("rdx512-logd", {"--folder", line.data()}, env, -1, {"--vanish-after", "3", "--return-after", "1"}));
    ASSERT_TRUE(waitUntil([&] { return readWholeFile(err).contains("Communication line back"); }, 15000))
        << readWholeFile(err).toStdString();
    waitUntil([&] { return readWholeFile(err).contains("answer"); }, 3000);  // a cycle after the return
    ::kill(static_cast<pid_t>(line.program.processId()), SIGTERM);
    ASSERT_TRUE(line.program.waitForFinished(5000));
    EXPECT_EQ(line.program.exitCode(), 0);

    const QByteArrayList lines = readWholeFile(err).trimmed().split('\n');
    std::map<QByteArray, int> counts;
    for (const QByteArray& l : lines) {
        EXPECT_TRUE(QRegularExpression("^<[3-6]>[^<]").match(QString::fromUtf8(l)).hasMatch()) << l.toStdString();
        for (const char* event :
             {"<4>The service runs with the default settings (COM1, 9600 bit/s, 1 recorder, a 60 s cycle)",
              "<5>Polling 1 recorders on COM1", "<4>Communication line lost", "<5>Communication line back", "Recorder",
              "<5>Stopping on SIGTERM:", "<5>Stopped."})
            counts[event] += l.startsWith(event) || (QByteArray(event) == "Recorder" && l.contains(event));
    }
    // Each event one line; the recorder that stopped answering with the line
    // is not told on its own, before or after.
    for (const auto& [event, count] : counts)
        EXPECT_EQ(count, QByteArray(event) == "Recorder" ? 0 : 1) << event.toStdString() << "\n"
                                                                  << lines.join('\n').toStdString();
    EXPECT_FALSE(lines.join('\n').contains("restart to apply"));
}

}  // namespace
