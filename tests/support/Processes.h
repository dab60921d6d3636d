// The harness of the tests that run the real program and the recorder
// simulator as processes.
#ifndef RDXTEST_SUPPORT_PROCESSES_H
#define RDXTEST_SUPPORT_PROCESSES_H

#include <functional>

#include <QList>
#include <QProcess>
#include <QStringList>

namespace rdxmon::testing {

// Polls the condition with events running, for at most timeoutMs.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// rdx512-sim of the build, ready once readyFile exists; stopped when it goes.
class SimulatorProcess {
public:
    bool start(const QStringList& arguments, const QString& readyFile);
    ~SimulatorProcess();

private:
    QProcess process_;
};

// The simulator's request log: milliseconds since its start and the
// request ("open 01", "ts0", "data 06", "close 01").
struct LoggedRequest {
    qint64 ms = 0;
    QString request;
};
QList<LoggedRequest> loggedRequests(const QString& logPath);
// The addresses of the requests of a kind ("open", "close") from fromMs on.
QStringList addressesOf(const QList<LoggedRequest>& requests, const QString& kind, qint64 fromMs = 0);

bool copyProgram(const QString& folder);  // the program and the link library
// A settings record for n recorders on the port, logging resumed at start in
// "Default file" mode with a 1 s cycle.
QByteArray loggingSettingsRecordFor(int recorders, const QString& port);
bool writeWholeFile(const QString& path, const QByteArray& bytes);
QByteArray readWholeFile(const QString& path);
// Starts the program of the folder offscreen, from another working folder.
bool startProgram(QProcess& process, const QString& folder);

}  // namespace rdxmon::testing

#endif
