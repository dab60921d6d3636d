#include "process_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include "startup/InitRecord.h"

namespace rdxmon::testing {

namespace {

const QString kProgramDir = QStringLiteral(RDX_PROGRAM_DIR);

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool SimulatorProcess::start(const QStringList& arguments, const QString& readyFile)
{
    process_.setProgram(kProgramDir + QStringLiteral("/rdx512-sim"));
    process_.setArguments(arguments + QStringList{QStringLiteral("--ready-file"), readyFile});
    process_.start();
    return process_.waitForStarted(5000) && waitUntil([&] { return QFileInfo::exists(readyFile); }, 5000);
}

SimulatorProcess::~SimulatorProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
}

QList<LoggedRequest> loggedRequests(const QString& logPath)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<LoggedRequest> requests;
    static const QRegularExpression line(QStringLiteral("^(\\d+) (.+)$"));
    for (const QByteArray& text : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (m.hasMatch())
            requests.append({m.captured(1).toLongLong(), m.captured(2)});
    }
    return requests;
}

std::map<int, PollTally> pollTallies(const QList<LoggedRequest>& requests)
{
    std::map<int, PollTally> tallies;
    int selected = -1;
    int awaiting = -1;
    for (const LoggedRequest& r : requests) {
        const QStringList parts = r.request.split(QLatin1Char(' '));
        const int number = parts.size() > 1 ? parts[1].toInt() : -1;
        if (parts[0] == QLatin1String("open")) {
            selected = number;
            awaiting = -1;
        } else if (parts[0] == QLatin1String("data") && selected > 0) {
            ++tallies[selected].requests;
            awaiting = selected;
        } else if (parts[0] == QLatin1String("close") && number == awaiting) {
            ++tallies[awaiting].answered;
            awaiting = -1;
        }
    }
    return tallies;
}

bool copyProgram(const QString& folder)
{
    for (const char* name : {"RDXMON-1_V104", "libRDX500Comm3.so"}) {
        const QString file = QLatin1Char('/') + QLatin1String(name);
        if (!QFile::copy(kProgramDir + file, folder + file))
            return false;
    }
    return true;
}

QByteArray settingsRecordFor(int recorders, const QString& port)
{
    InitRecord record;
    record.Port = port;
    record.RecCount = QString::number(recorders).rightJustified(2, QLatin1Char('0'));
    return encodeInitRecord(record);
}

QByteArray loggingSettingsRecordFor(int recorders, const QString& port)
{
    InitRecord record;
    record.Port = port;
    record.RecCount = QString::number(recorders).rightJustified(2, QLatin1Char('0'));
    record.LogInterval = 1;
    record.LogUnit = 0;
    record.LogNameMode = 1;
    record.LogActive = 1;
    return encodeInitRecord(record);
}

bool writeWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool startProgram(QProcess& process, const QString& folder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(folder + QStringLiteral("/RDXMON-1_V104"), {});
    return process.waitForStarted(5000);
}

}  // namespace rdxmon::testing
