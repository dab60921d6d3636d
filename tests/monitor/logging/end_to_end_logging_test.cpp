// The real program logging against the simulator: four recorders set, three
// answering, logging resumed at start-up ("Default file", 1 s). The log's bytes:
// header with CP932 names, values as the simulator sent them, empty fields.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "ReplyFormat.h"

namespace {

const QString kProgramDir = QStringLiteral(RDX_PROGRAM_DIR);
constexpr int kColumns = 4 * 6;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray le16(int v)
{
    return QByteArray(1, char(v)) + char(v >> 8);
}

// COM1, 9600 bit/s, 4 recorders, cycle 1 "Sec", "Default file", logging ran.
const QByteArray kSettings = QByteArray("COM19600 4") + le16(1) + le16(0) + le16(0) + le16(1) + le16(1);

// Channel 0 is named with two kanji (CP932), channel 1 with a double quote.
QByteArray nameBytes(int i)
{
    return (i == 0       ? QByteArray("\x89\xb7\x93\x78 No.1")
                : i == 1 ? "Flow \"A\""
                         : "Point " + QByteArray::number(i))
        .leftJustified(18, ' ');
}
bool selected(int i)
{
    return i != 2 && i != kColumns - 1;
}

// The values the simulator can have sent to each channel: per data request in
// its log, the recorder opened last answers with its next sequence number. The
// log counts from the simulator's start (between its launch and its ready
// file); the values follow the steady clock at the reply (plus line time).
std::map<int, std::set<float>> valuesSent(const QString& log, qint64 launchMs, qint64 readyMs)
{
    const rdxsim::ReplyGenerator generator;
    std::map<int, std::set<float>> sent;
    std::map<int, std::uint32_t> sequence;
    int open = -1;
    static const QRegularExpression line(QStringLiteral("^(\\d+) (open|data) ?(\\d*)"));
    for (const QByteArray& text : readFile(log).split('\n')) {
        const auto m = line.match(QString::fromLatin1(text));
        if (m.hasMatch() && m.captured(2) == QLatin1String("open"))
            open = m.captured(3).toInt();
        if (!m.hasMatch() || m.captured(2) != QLatin1String("data") || open < 1)
            continue;
        const std::uint32_t seq = ++sequence[open];
        for (qint64 t = launchMs + m.captured(1).toLongLong() - 20; t <= readyMs + m.captured(1).toLongLong() + 60; ++t)
            for (int c = 1; c <= 6; ++c)
                sent[(open - 1) * 6 + c - 1].insert(
                    std::strtof(generator.valueField(open, c, t, seq).c_str(), nullptr));
    }
    return sent;
}

TEST(LoggingEndToEnd, ResumedLogHoldsTheSimulatorsValues)
{
    QTemporaryDir folder;
    for (const char* name : {"RDXMON-1_V104", "libRDX500Comm3.so"})
        ASSERT_TRUE(QFile::copy(kProgramDir + '/' + name, folder.filePath(name))) << name;
    QFile settings(folder.filePath(QStringLiteral("RDX512INIT.SET"))), names(folder.filePath("RDX512NAME.SET"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly) && settings.write(kSettings) == 20
                && names.open(QIODevice::WriteOnly));
    for (int i = 0; i < 186; ++i)
        names.write(nameBytes(i) + le16(selected(i) ? 1 : 0));
    settings.close(), names.close();

    const QString simLog = folder.filePath(QStringLiteral("sim.log")), ready = folder.filePath(QStringLiteral("ready"));
    QProcess sim, monitor;
    const qint64 launchMs = QDeadlineTimer::current().deadline();
    sim.start(
        kProgramDir + "/rdx512-sim",
        {"--dir", folder.path(), "--addresses", "1-3", "--skip-every", "0", "--log", simLog, "--ready-file", ready});
    for (QDeadlineTimer deadline(5000); !QFile::exists(ready) && !deadline.hasExpired();)
        QThread::msleep(10);
    const qint64 readyMs = QDeadlineTimer::current().deadline();
    monitor.start(folder.filePath(QStringLiteral("RDXMON-1_V104")), {});  // offscreen, as this test

    // Three rows after recorder 3, polled last of the three, has answered.
    static const QRegularExpression answered(QStringLiteral("\n\"[^\"]*\"(,[^,\r]*){17},[-0-9]"));
    QString logPath;
    for (QDeadlineTimer deadline(20000); monitor.state() != QProcess::NotRunning && !deadline.hasExpired();
         QThread::msleep(20)) {
        const QStringList csv = QDir(folder.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
        logPath = csv.size() == 1 ? folder.filePath(csv.first()) : QString();
        if (QString::fromLatin1(readFile(logPath)).count(answered) >= 3)
            break;
        QCoreApplication::processEvents();
    }
    const bool logged = QString::fromLatin1(readFile(logPath)).count(answered) >= 3;
    monitor.terminate();
    EXPECT_TRUE(monitor.waitForFinished(5000));
    sim.terminate();
    sim.waitForFinished(3000);
    ASSERT_TRUE(logged) << readFile(logPath).toStdString() << monitor.readAllStandardError().toStdString();

    const QByteArray log = readFile(logPath);
    ASSERT_TRUE(log.endsWith("\r\n"));
    ASSERT_EQ(log.count("\r\n"), log.count('\n'));
    const QByteArrayList lines = log.chopped(2).replace("\r\n", "\n").split('\n');
    // The two kanji take two bytes each: their field is two blanks longer.
    EXPECT_EQ(lines[0],
              '"' + QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toLocal8Bit() + '"');
    QByteArray nameLine = "\"CH Name\"";
    for (int i = 0; i < kColumns; ++i)
        nameLine += ",\"" + nameBytes(i).replace("\"", "\"\"") + (i == 0 ? "  " : "") + '"';
    EXPECT_EQ(lines[1], nameLine);

    const std::map<int, std::set<float>> sent = valuesSent(simLog, launchMs, readyMs);
    std::set<int> read;
    for (int r = 2; r < lines.size(); ++r) {
        const QByteArrayList fields = lines[r].split(',');
        ASSERT_EQ(fields.size(), 1 + kColumns) << lines[r].toStdString();
        for (int k = 0; k < kColumns; ++k) {
            SCOPED_TRACE(testing::Message() << lines[r].toStdString() << ", channel " << k);
            if (!selected(k) || k >= 18 || (fields[1 + k].isEmpty() && !read.contains(k))) {
                EXPECT_TRUE(fields[1 + k].isEmpty());  // not selected, never answered, not read yet
                continue;
            }
            read.insert(k);
            EXPECT_TRUE(sent.at(k).contains(std::strtof(fields[1 + k].constData(), nullptr)));
        }
    }
    EXPECT_EQ(read.size(), 17u);  // every selected channel of recorders 1 to 3 was read
}

}  // namespace
