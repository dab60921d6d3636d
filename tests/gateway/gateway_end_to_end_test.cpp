// The gateway end to end: the logging service and the window program against
// the simulator, read by a Modbus client no one here wrote (Debian's mbpoll).
// What mbpoll reads is what the CSV logs for the same moment; the quality
// follows a recorder that stops answering; writes are refused.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>

#include "startup/InitRecord.h"
#include "support/Processes.h"

namespace {

using namespace rdxmon::testing;
const QString kBin = QStringLiteral(RDX_PROGRAM_DIR);

QByteArray le16(int v)
{
    return QByteArray(1, char(v)) + char(v >> 8);
}

// A TCP port nobody listens on just now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

struct Read {
    QStringList values;  // as mbpoll prints them, by address
    QByteArray errors;
    int exitCode = -1;
};

// One request by mbpoll: PDU addresses (-0), one poll (-1), high word first
// (-B); with values, a write of them.
Read mbpoll(int port, const QStringList& args, const QStringList& values = {})
{
    QProcess p;
    p.start(QStringLiteral("mbpoll"),
            QStringList{"-0", "-1", "-B", "-o", "1", "-p", QString::number(port)} + args + QStringList{"127.0.0.1"}
                + values);
    Read r;
    if (!p.waitForFinished(5000))
        return r;
    r.exitCode = p.exitCode();
    r.errors = p.readAllStandardError();
    static const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(\\S+)\\s*$"));
    for (const QByteArray& text : p.readAllStandardOutput().split('\n'))
        if (const auto m = line.match(QString::fromLatin1(text)); m.hasMatch())
            r.values << m.captured(2);
    return r;
}

Read floats(int port, int first, int count)
{
    return mbpoll(port, {"-t", "3:float", "-r", QString::number(2 * first), "-c", QString::number(count)});
}

Read words(int port, int first, int count, const char* type = "3")
{
    return mbpoll(port, {"-t", type, "-r", QString::number(first), "-c", QString::number(count)});
}

// The quality registers of channels first to first + count - 1.
std::string qualities(int port, int first, int count)
{
    return words(port, 1000 + first, count).values.join(u' ').toStdString();
}

// Two recorders at 4800 bit/s (channel 6 of recorder 02 skipped), channel 5
// of recorder 01 not logged, logging every second, the gateway on port.
struct Line {
    QTemporaryDir dir;
    QProcess sim, program;
    int port = freePort();
    ~Line()
    {
        for (QProcess* p : {&program, &sim})
            p->terminate(), p->waitForFinished(3000);
    }
    QString data() const { return dir.filePath(QStringLiteral("data")); }

    bool start(const QString& name, const QStringList& simExtra)
    {
        const bool service = name == QLatin1String("rdx512-logd");
        const QString folder = service ? data() : dir.path();
        rdxmon::InitRecord init;
        init.Speed = QStringLiteral("4800");
        init.RecCount = QStringLiteral("02");
        init.LogInterval = init.LogNameMode = init.LogActive = 1;
        QByteArray names;
        for (int k = 0; k < 186; ++k)
            names += ("Ch " + QByteArray::number(k)).leftJustified(18, ' ') + le16(k != 4);
        if (!QDir(dir.path()).mkpath(QStringLiteral("data")) || !QFile::copy(kBin + '/' + name, dir.filePath(name))
            || !QFile::copy(kBin + "/libRDX500Comm3.so", dir.filePath("libRDX500Comm3.so"))
            || !writeWholeFile(folder + "/RDX512INIT.SET", rdxmon::encodeInitRecord(init))
            || !writeWholeFile(folder + "/RDX512NAME.SET", names)
            || !writeWholeFile(folder + "/rdx512.conf",
                               "[modbus]\nenabled=yes\nport=" + QByteArray::number(port) + "\n"))
            return false;
        sim.start(kBin + "/rdx512-sim",
                  QStringList{"--dir", dir.path(), "--addresses", "1-2", "--baud", "4800", "--skip-every", "2",
                              "--ready-file", dir.filePath("ready")}
                      + simExtra);
        if (!waitUntil([&] { return QFile::exists(dir.filePath("ready")); }, 5000))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(env);
        program.start(dir.filePath(name), service ? QStringList{"--folder", data()} : QStringList{});
        return program.waitForStarted(5000);
    }
    // Data rows: the time of day and the fields after it.
    QList<std::pair<QTime, QByteArrayList>> rows() const
    {
        QList<std::pair<QTime, QByteArrayList>> rows;
        const QStringList files = QDir(data()).entryList({"*.csv"});
        if (files.size() != 1)
            return rows;
        for (const QByteArray& line : readWholeFile(data() + '/' + files[0]).split('\n').mid(2)) {
            if (!line.endsWith('\r'))
                continue;
            QByteArrayList fields = line.chopped(1).split(',');
            const QTime t = QTime::fromString(QString::fromLatin1(fields.takeFirst()).remove(u'"'), "h:m:s AP");
            rows.append({t, fields});
        }
        return rows;
    }
};

// A CSV field and what mbpoll printed for the same channel: an empty field
// for a NaN, else the same single-precision value (mbpoll prints %g).
bool same(const QByteArray& csv, const QString& read)
{
    if (csv.isEmpty())
        return read.contains(QLatin1String("nan"));
    return QString::asprintf("%g", double(std::strtof(csv.constData(), nullptr))) == read;
}

}  // namespace

TEST(GatewayEndToEnd, TheServiceServesWhatItLogsFollowsARecorderThatStopsAndRefusesWrites)
{
    Line line;
    ASSERT_TRUE(line.start("rdx512-logd", {"--quits", "2", "--quit-after", "5"}));
    const int port = line.port;
    // Current, not logged (channel 5), skipped (recorder 02's channel 6),
    // once both recorders have answered.
    ASSERT_TRUE(waitUntil([&] { return qualities(port, 0, 12) == "0 0 0 0 4 0 0 0 0 0 0 3"; }, 8000))
        << qualities(port, 0, 12) << line.program.readAllStandardError().toStdString();

    // Reads one after the other for about 3 s, beside the log.
    QList<QStringList> reads;
    const QTime from = QTime::currentTime();
    for (QElapsedTimer t; !t.isValid() || t.elapsed() < 3000;) {
        if (!t.isValid())
            t.start();
        const Read r = floats(port, 0, 12);
        ASSERT_EQ(r.values.size(), 12) << r.errors.toStdString();
        reads << r.values;
    }
    const QTime to = QTime::currentTime();
    // Every row logged while mbpoll was reading holds what one of its reads
    // got: the same values, and an empty field where it read a NaN. (The
    // values change with every reply, about twice a second.)
    ASSERT_TRUE(waitUntil([&] { return !line.rows().isEmpty() && line.rows().last().first.addSecs(1) >= to; }, 3000));
    int compared = 0;
    for (const auto& [time, fields] : line.rows()) {
        // A row is written within 200 ms of its second.
        if (time < from || time.addMSecs(300) > to)
            continue;
        ASSERT_EQ(fields.size(), 12);
        ++compared;
        const bool seen = std::any_of(reads.begin(), reads.end(), [&](const QStringList& read) {
            for (int k = 0; k < 12; ++k)
                if (!same(fields[k], read[k]))
                    return false;
            return true;
        });
        EXPECT_TRUE(seen) << time.toString().toStdString() << ": " << fields.join(',').toStdString() << "\nfirst read "
                          << reads.first().join(' ').toStdString();
    }
    EXPECT_GE(compared, 1);

    // Recorder 02 stops answering 5 s after the simulator's start: its values
    // go stale (a NaN), its reply age grows and its misses count up;
    // recorder 01 stays current. The log leaves its fields empty.
    ASSERT_TRUE(waitUntil([&] { return qualities(port, 6, 5) == "1 1 1 1 1"; }, 5000)) << qualities(port, 6, 5);
    EXPECT_EQ(qualities(port, 0, 1), "0");
    EXPECT_EQ(floats(port, 6, 5).values.join(' ').toStdString(), "nan nan nan nan nan");
    const QStringList figures = words(port, 2008, 4, "3:int").values;  // recorder 02: age, answered, missed, garbled
    ASSERT_EQ(figures.size(), 4);
    EXPECT_GE(figures[0].toInt(), 5) << "age in tenths";
    EXPECT_GE(figures[1].toInt(), 3);
    EXPECT_GE(figures[2].toInt(), 1);
    EXPECT_EQ(figures[3].toStdString(), "0");
    ASSERT_TRUE(waitUntil([&] { return line.rows().last().second.mid(6, 5) == QByteArrayList(5); }, 3000));

    // Writes are refused as an illegal function, reads outside the map as an
    // illegal address.
    const struct {
        QStringList args, values;
        const char* error;
    } refused[] = {
        {{"-t", "4", "-r", "0"}, {"123"}, "Illegal function"},
        {{"-t", "0", "-r", "0"}, {"1"}, "Illegal function"},
        {{"-t", "3", "-r", "372", "-c", "1"}, {}, "Illegal data address"},
    };
    for (const auto& c : refused) {
        const Read r = mbpoll(port, c.args, c.values);
        EXPECT_NE(r.exitCode, 0) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.errors.contains(c.error)) << c.args.join(' ').toStdString() << ": " << r.errors.toStdString();
    }
}

TEST(GatewayEndToEnd, TheWindowProgramServesToo)
{
    Line line;
    ASSERT_TRUE(line.start("RDXMON-1_V104", {}));
    ASSERT_TRUE(waitUntil([&] { return qualities(line.port, 0, 6) == "0 0 0 0 4 0"; }, 10000))
        << qualities(line.port, 0, 6) << line.program.readAllStandardError().toStdString();
    EXPECT_EQ(floats(line.port, 0, 1).values.size(), 1);
}
