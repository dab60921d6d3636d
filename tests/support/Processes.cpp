#include "support/Processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include "startup/InitRecord.h"

namespace rdxmon::testing {

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
    process_.start(QStringLiteral(RDX_PROGRAM_DIR "/rdx512-sim"), arguments + QStringList{"--ready-file", readyFile});
    return process_.waitForStarted(5000) && waitUntil([&] { return QFileInfo::exists(readyFile); }, 5000);
}

SimulatorProcess::~SimulatorProcess()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
    process_.waitForFinished(3000);
}

QList<LoggedRequest> loggedRequests(const QString& logPath)
{
    QList<LoggedRequest> requests;
    static const QRegularExpression line(QStringLiteral("^(\\d+) (.+)$"));
    for (const QByteArray& text : readWholeFile(logPath).split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (m.hasMatch())
            requests.append({m.captured(1).toLongLong(), m.captured(2)});
    }
    return requests;
}

QStringList addressesOf(const QList<LoggedRequest>& requests, const QString& kind, qint64 fromMs)
{
    QStringList addresses;
    for (const LoggedRequest& r : requests) {
        if (r.ms >= fromMs && r.request.startsWith(kind + ' '))
            addresses << r.request.mid(kind.size() + 1);
    }
    return addresses;
}

bool copyProgram(const QString& folder)
{
    return QFile::copy(RDX_PROGRAM_DIR "/RDXMON-1_V104", folder + "/RDXMON-1_V104")
        && QFile::copy(RDX_PROGRAM_DIR "/libRDX500Comm3.so", folder + "/libRDX500Comm3.so");
}

QByteArray loggingSettingsRecordFor(int recorders, const QString& port)
{
    InitRecord record;
    record.Port = port;
    record.RecCount = QString::number(recorders).rightJustified(2, QLatin1Char('0'));
    record.LogInterval = record.LogNameMode = record.LogActive = 1;
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
