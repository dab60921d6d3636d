// Logging end to end: the real program in a temporary program folder, the
// recorder simulator on its COM1 link, logging resumed at start-up in
// "Default file" mode with a 1 s cycle. The log is checked from outside:
// header bytes, one row per second, and every value against the value the
// simulator generated for the request the monitor had sent just before.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "ReplyFormat.h"

namespace {

const QString kProgramDir = QStringLiteral(RDX_PROGRAM_DIR);
constexpr int kRecorders = 12;
constexpr int kColumns = kRecorders * 6;
constexpr int kDayMs = 86'400'000;

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Polls the condition with events running, for at most timeoutMs.
template <typename Condition>
bool waitFor(Condition condition, int timeoutMs, int stepMs = 20)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, stepMs);
        QThread::msleep(stepMs);
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray littleEndian(qint64 value, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

// The settings record, byte by byte: COM1, 9600 bit/s, 12 recorders, cycle 1
// second, "Default file", logging was running.
QByteArray settingsBytes()
{
    return QByteArray("COM1") + "9600" + "12" + littleEndian(1, 4) + littleEndian(0, 2) + littleEndian(1, 2) +
           littleEndian(1, 2);
}

// The 18 name bytes of each channel in the names file. Channel 0 has a
// Japanese name (CP932 bytes of the two kanji for "temperature"), channel 1
// a double quote.
QByteArray nameBytes(int index)
{
    QByteArray name;
    if (index == 0)
        name = QByteArray("\x89\xb7\x93\x78 No.1");
    else if (index == 1)
        name = QByteArray("Flow \"A\"");
    else
        name = "Point " + QByteArray::number(index);
    return name.leftJustified(18, ' ');
}

// Channels 2 and 71 (the last column) are not selected.
bool selected(int index) { return index != 2 && index != 71; }

QByteArray namesFileBytes()
{
    QByteArray file;
    for (int i = 0; i < 186; ++i)
        file += nameBytes(i) + littleEndian(selected(i) ? 1 : 0, 2);
    return file;
}

// A data request the simulator answered: when it arrived and when the reply
// was made (its clock, ms since its start), and the reply's sequence number
// for that recorder.
struct Answered {
    qint64 logMs;
    double replyMs;
    std::uint32_t sequence;
};

// Replays the simulator's request log the way it picks the recorder that
// answers: the last "open NN" selects, "close NN" deselects, "data" is
// answered by the selected recorder with its next sequence number. The
// reply is made 2 ms after the request's last character would have arrived
// on a real line (10 bits a character at 9600 bit/s, characters that came
// together queued behind each other).
std::map<int, std::vector<Answered>> answeredRequests(const QString& logPath)
{
    std::map<int, std::vector<Answered>> answered;
    std::map<int, std::uint32_t> sequence;
    int selectedAddress = -1;
    double lineFreeMs = 0;
    static const QRegularExpression line(QStringLiteral("^(\\d+) (open|close|data|ts0) ?(\\d*)"));
    for (const QByteArray& text : readFile(logPath).split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (!m.hasMatch())
            continue;
        const QString kind = m.captured(2);
        const int number = m.captured(3).toInt();
        // ESC "O " nn CR LF, "TS0" CR LF, ESC "T" CR LF "FM0,01," nn CR LF.
        const int characters = kind == QLatin1String("ts0")    ? 5
                               : kind == QLatin1String("data") ? 13 + m.captured(3).size()
                                                               : 5 + m.captured(3).size();
        lineFreeMs = std::max(lineFreeMs, m.captured(1).toDouble()) + characters * 10000.0 / 9600.0;
        if (kind == QLatin1String("open"))
            selectedAddress = number;
        else if (kind == QLatin1String("close") && number == selectedAddress)
            selectedAddress = -1;
        else if (kind == QLatin1String("data") && selectedAddress >= 1 && selectedAddress <= kRecorders)
            answered[selectedAddress].push_back(
                {m.captured(1).toLongLong(), lineFreeMs + 2.0, ++sequence[selectedAddress]});
    }
    return answered;
}

// "h:m:s AM/PM" -> milliseconds after midnight, or -1.
int rowTimeMs(const QByteArray& field)
{
    static const QRegularExpression time(QStringLiteral("^\"(\\d{1,2}):(\\d{1,2}):(\\d{1,2}) (AM|PM)\"$"));
    const QRegularExpressionMatch m = time.match(QString::fromLatin1(field));
    if (!m.hasMatch())
        return -1;
    const int hour12 = m.captured(1).toInt();
    if (hour12 < 1 || hour12 > 12 || m.captured(2).toInt() > 59 || m.captured(3).toInt() > 59)
        return -1;
    const int hour = hour12 % 12 + (m.captured(4) == QLatin1String("PM") ? 12 : 0);
    return ((hour * 60 + m.captured(2).toInt()) * 60 + m.captured(3).toInt()) * 1000;
}

// The number the monitor read from a value field of the line (positions
// 16-25): its leading number, the decimals tag after it ignored.
float lineValue(const std::string& field) { return static_cast<float>(std::strtod(field.c_str(), nullptr)); }

TEST(LoggingEndToEnd, ResumedLogHoldsOneRowPerSecondWithTheSimulatorsValues)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"RDXMON-1_V104", "libRDX500Comm3.so"}) {
        ASSERT_TRUE(QFile::copy(kProgramDir + QLatin1Char('/') + QLatin1String(name), folder.filePath(name)))
            << name;
    }
    const QString settingsPath = folder.filePath(QStringLiteral("RDX512INIT.SET"));
    ASSERT_TRUE(writeFile(settingsPath, settingsBytes()));
    ASSERT_TRUE(writeFile(folder.filePath(QStringLiteral("RDX512NAME.SET")), namesFileBytes()));

    // The simulator takes its clock's origin between launch and ready file.
    const QString simLog = folder.filePath(QStringLiteral("sim.log"));
    const QString ready = folder.filePath(QStringLiteral("ready"));
    QProcess sim;
    sim.setProgram(kProgramDir + QStringLiteral("/rdx512-sim"));
    sim.setArguments({QStringLiteral("--dir"), folder.path(), QStringLiteral("--addresses"),
                      QStringLiteral("1-12"), QStringLiteral("--log"), simLog, QStringLiteral("--ready-file"),
                      ready});
    const qint64 simLaunchMs = steadyMs();
    sim.start();
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(ready); }, 5000, 2));
    const qint64 simReadyMs = steadyMs();
    struct StopAtEnd {
        QProcess& p;
        ~StopAtEnd()
        {
            p.terminate();
            if (!p.waitForFinished(3000))
                p.kill();
            p.waitForFinished(3000);
        }
    } stopSim{sim};

    // Local time of day against the steady clock, to place the rows.
    const QDateTime launchedAt = QDateTime::currentDateTime();
    const qint64 launchedSteadyMs = steadyMs();
    const qint64 launchedTodMs = launchedAt.time().msecsSinceStartOfDay();

    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    monitor.setProcessEnvironment(env);
    monitor.setWorkingDirectory(QDir::tempPath());
    monitor.start(folder.filePath(QStringLiteral("RDXMON-1_V104")), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    StopAtEnd stopMonitor{monitor};

    // The start-up pass over twelve recorders takes about five seconds;
    // wait for rows from well after it.
    const QDir dir(folder.path());
    const auto csvFiles = [&] { return dir.entryList({QStringLiteral("*.csv")}, QDir::Files); };
    const auto rowCount = [&] {
        const QStringList files = csvFiles();
        return files.size() == 1 ? readFile(dir.filePath(files.first())).count("\r\n") - 2 : 0;
    };
    const bool logged = waitFor([&] { return rowCount() >= 12 || monitor.state() != QProcess::Running; }, 20000);
    ASSERT_TRUE(logged) << "rows: " << rowCount() << ", files: " << csvFiles().join(' ').toStdString();
    ASSERT_EQ(monitor.state(), QProcess::Running) << monitor.readAllStandardError().toStdString();

    // SIGTERM stores the settings with logging still marked as running.
    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(5000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    const QByteArray settingsAfter = readFile(settingsPath);
    ASSERT_EQ(settingsAfter.size(), 20);
    EXPECT_EQ(settingsAfter.mid(18, 2), littleEndian(1, 2));
    EXPECT_EQ(settingsAfter, settingsBytes());

    // One log file, named from the date and time of START.
    const QStringList files = csvFiles();
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    const QByteArray log = readFile(dir.filePath(files.first()));
    ASSERT_TRUE(log.endsWith("\r\n"));
    QList<QByteArray> lines = log.split('\n');
    lines.removeLast();
    for (QByteArray& line : lines) {
        ASSERT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    ASSERT_GE(lines.size(), 2 + 8);

    // Line 1: the date in the short format; line 2: the 72 names in CP932,
    // all 18 characters of each (the two kanji of channel 0 take two bytes
    // each, so its field is two blanks longer than its record), a double
    // quote doubled.
    EXPECT_EQ(lines[0], '"' + QLocale::system().toString(launchedAt.date(), QLocale::ShortFormat).toLocal8Bit() + '"');
    QByteArray nameLine = "\"CH Name\"";
    for (int i = 0; i < kColumns; ++i)
        nameLine += ",\"" + nameBytes(i).replace("\"", "\"\"") + (i == 0 ? "  " : "") + '"';
    EXPECT_EQ(lines[1], nameLine);

    // START came between the launch and the first row.
    const int firstRowMs = rowTimeMs(lines[2].split(',').first());
    ASSERT_GE(firstRowMs, 0) << lines[2].toStdString();
    QStringList possibleNames;
    for (QDateTime t = launchedAt.addSecs(-1); t.time().msecsSinceStartOfDay() / 1000 != firstRowMs / 1000 &&
                                               t < launchedAt.addSecs(30);
         t = t.addSecs(1))
        possibleNames << t.toString(QStringLiteral("yyMMdd_hhmm")) + QStringLiteral(".csv");
    EXPECT_TRUE(possibleNames.contains(files.first())) << files.first().toStdString();

    // The generator's values for a request, over the time the reply can have
    // been made: the simulator's clock has its origin between launch and
    // ready file; 20 ms either side for how the characters came in pieces.
    const rdxsim::ReplyGenerator generator;
    const auto valuesSent = [&](int address, int channel, const Answered& request) {
        std::set<float> values;
        const auto replyMs = static_cast<qint64>(request.replyMs);
        for (qint64 t = simLaunchMs + replyMs - 20; t <= simReadyMs + replyMs + 20; ++t)
            values.insert(lineValue(generator.valueField(address, channel, t, request.sequence)));
        return values;
    };

    const std::map<int, std::vector<Answered>> answered = answeredRequests(simLog);
    ASSERT_EQ(answered.size(), static_cast<std::size_t>(kRecorders));
    int previousMs = -1;
    int rowsWithPolledValues = 0;
    for (int r = 2; r < lines.size(); ++r) {
        const QList<QByteArray> fields = lines[r].split(',');
        ASSERT_EQ(fields.size(), 1 + kColumns) << "row " << r;
        const int timeMs = rowTimeMs(fields[0]);
        ASSERT_GE(timeMs, 0) << fields[0].toStdString();
        if (previousMs >= 0) {
            EXPECT_EQ(timeMs, (previousMs + 1000) % kDayMs) << "row " << r << " follows " << previousMs;
        }
        previousMs = timeMs;

        // The row was written within its second; on the simulator's clock
        // that second ends at rowEnd.
        qint64 offset = (timeMs - launchedTodMs) % kDayMs;
        if (offset < -kDayMs / 2)
            offset += kDayMs;
        if (offset > kDayMs / 2)
            offset -= kDayMs;
        const qint64 rowEndLogMs = launchedSteadyMs + offset + 1000 - simLaunchMs;

        bool allPolled = true;
        for (int k = 0; k < kColumns; ++k) {
            const QByteArray& field = fields[1 + k];
            if (!selected(k)) {
                EXPECT_TRUE(field.isEmpty()) << "row " << r << " channel " << k;
                continue;
            }
            const int address = k / 6 + 1;
            const int channel = k % 6 + 1;
            if (generator.skipped(address, channel)) {
                EXPECT_EQ(field, "0") << "row " << r << " channel " << k;
                continue;
            }
            // The value of the latest reply complete when the row was
            // written: the reply to the last request before the row's
            // second ended, or to the one before when that was still on
            // the line; 0 before the recorder's first reply.
            const std::vector<Answered>& requests = answered.at(address);
            std::vector<Answered> before;
            for (const Answered& request : requests) {
                if (request.logMs < rowEndLogMs)
                    before.push_back(request);
            }
            std::set<float> expected;
            if (before.size() <= 1)
                expected.insert(0.0f);
            for (std::size_t i = before.size() > 2 ? before.size() - 2 : 0; i < before.size(); ++i)
                expected.merge(valuesSent(address, channel, before[i]));
            const float logged = std::strtof(field.constData(), nullptr);
            EXPECT_TRUE(expected.contains(logged)) << "row " << r << " (" << fields[0].toStdString()
                                                   << ") channel " << k << " holds " << field.toStdString();
            if (before.size() <= 1)
                allPolled = false;
        }
        if (allPolled)
            ++rowsWithPolledValues;
    }
    // The later rows carry values of every recorder.
    EXPECT_GE(rowsWithPolledValues, 2);
}

}  // namespace
