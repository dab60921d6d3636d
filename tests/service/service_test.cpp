// The logging service rdx512-logd as a process against the simulator, and
// beside the window program on a line of its own: the same files in, the
// same CSV out. A notify socket stands in for systemd.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include "ReplyFormat.h"
#include "support/Processes.h"

namespace {

using namespace rdxmon::testing;
const QString kBin = QStringLiteral(RDX_PROGRAM_DIR);

QByteArray le16(int v) { return QByteArray(1, char(v)) + char(v >> 8); }
bool selected(int k) { return k != 4; }

// A line of three recorders with a program beside it: the window program
// keeps its files in its own folder, the service in "data". logging 1: the
// stored settings resume logging in "Default file" mode at a 1 s cycle; 0:
// logging off, "User select file".
struct Line {
    QTemporaryDir dir;
    QProcess sim, program;
    qint64 launchMs = 0, readyMs = 0;
    ~Line() { for (QProcess* p : {&program, &sim}) p->terminate(), p->waitForFinished(3000); }
    QString data() const { return dir.filePath(QStringLiteral("data")); }

    bool start(const QString& name, const QStringList& args, const QProcessEnvironment& env, int logging) {
        const QString folder = name == QLatin1String("rdx512-logd") ? data() : dir.path();
        QByteArray names;
        for (int k = 0; k < 186; ++k) names += ("\x89\xb7 No." + QByteArray::number(k)).leftJustified(18, ' ') + le16(selected(k));
        if (!QDir(dir.path()).mkpath(QStringLiteral("data")) || !QFile::copy(kBin + '/' + name, dir.filePath(name)) ||
            !QFile::copy(kBin + "/libRDX500Comm3.so", dir.filePath("libRDX500Comm3.so")) ||
            !writeWholeFile(folder + "/RDX512INIT.SET", QByteArray("COM19600 3") + le16(1) + le16(0) + le16(0) + le16(logging) + le16(logging)) ||
            !writeWholeFile(folder + "/RDX512NAME.SET", names))
            return false;
        launchMs = QDeadlineTimer::current().deadline();
        sim.start(kBin + "/rdx512-sim", {"--dir", dir.path(), "--addresses", "1-3", "--skip-every", "2", "--log",
                                         dir.filePath("sim.log"), "--ready-file", dir.filePath("ready")});
        if (!waitUntil([&] { return QFile::exists(dir.filePath("ready")); }, 5000)) return false;
        readyMs = QDeadlineTimer::current().deadline();
        program.setProcessEnvironment(env);
        program.start(dir.filePath(name), args);
        return program.waitForStarted(5000);
    }
    QByteArray csv() const {
        const QStringList found = QDir(data()).entryList({"*.csv"}) + QDir(dir.path()).entryList({"*.csv"});
        return found.size() == 1 ? readWholeFile((QFile::exists(data() + '/' + found[0]) ? data() : dir.path()) + '/' + found[0]) : QByteArray();
    }
    // The rows once three of them hold values of recorder 3 (polled last).
    QList<QByteArrayList> rows() {
        static const QRegularExpression full(QStringLiteral("\n\"[^\"]*\"(,[^,\r]*){12},[-0-9]"));
        waitUntil([&] { return QString::fromLatin1(csv()).count(full) >= 3; }, 15000);
        QList<QByteArrayList> rows;
        for (const QByteArray& line : csv().split('\n').mid(2)) if (line.endsWith('\r')) rows << line.chopped(1).split(',');
        return rows;
    }
    // Whether every value field is one the simulator sent that channel: per
    // data request in its log, the recorder opened last answers with its next
    // sequence number and values following the clock at the reply.
    bool valuesAsSent(const QList<QByteArrayList>& rows) const {
        const rdxsim::ReplyGenerator generator;
        std::map<int, std::set<float>> sent;
        std::map<int, std::uint32_t> sequence;
        for (int open = 0; const LoggedRequest& r : loggedRequests(dir.filePath("sim.log"))) {
            if (r.request.startsWith("open ")) open = r.request.mid(5).toInt();
            if (!r.request.startsWith("data") || open < 1) continue;
            const std::uint32_t seq = ++sequence[open];
            for (qint64 t = launchMs + r.ms - 20; t <= readyMs + r.ms + 60; ++t)
                for (int c = 1; c <= 6; ++c) sent[(open - 1) * 6 + c - 1].insert(std::strtof(generator.valueField(open, c, t, seq).c_str(), nullptr));
        }
        for (const QByteArrayList& row : rows)
            for (int k = 0; k + 1 < row.size(); ++k)
                if (!row[k + 1].isEmpty() && !sent[k].contains(std::strtof(row[k + 1].constData(), nullptr))) return false;
        return !rows.isEmpty();
    }
};

TEST(LogService, LogsWhatTheSimulatorSentRefusesASecondOnThePortAndEndsCleanly) {
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
        for (ssize_t n; (n = ::recv(notify, told.data(), told.size(), 0)) > 0;) messages += told.left(n).split('\n');
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
    for (const char* message : {"READY=1", "WATCHDOG=1", "STOPPING=1"}) EXPECT_TRUE(messages.contains(message)) << message;
}

TEST(LogService, WritesTheCsvTheWindowProgramWrites) {
    Line window, service;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    ASSERT_TRUE(window.start("RDXMON-1_V104", {}, env, 1));
    ASSERT_TRUE(service.start("rdx512-logd", {"--folder", service.data()}, env, 1));
    const QList<QByteArrayList> windowRows = window.rows(), serviceRows = service.rows();
    for (Line* line : {&window, &service}) line->program.terminate(), line->program.waitForFinished(5000);

    // The header bytes are the same; in every row with values of all three
    // recorders the same fields are empty (channel 5 not selected, channel 6
    // of recorder 2 skipped, nothing beyond the 18 channels) and the others
    // hold values the line's simulator sent.
    ASSERT_FALSE(service.csv().isEmpty());
    EXPECT_EQ(window.csv().split('\n').mid(0, 2), service.csv().split('\n').mid(0, 2));
    const auto layout = [](const QByteArrayList& row) {
        QByteArray shape = row[0].startsWith('"') && row[0].endsWith('"') ? "t" : "?";
        for (const QByteArray& field : row.mid(1)) shape += field.isEmpty() ? '_' : '#';
        return shape;
    };
    EXPECT_EQ(layout(windowRows.last()), "t####_######_######");
    EXPECT_EQ(layout(serviceRows.last()), layout(windowRows.last()));
    EXPECT_TRUE(window.valuesAsSent(windowRows));
    EXPECT_TRUE(service.valuesAsSent(serviceRows));
}

}  // namespace
