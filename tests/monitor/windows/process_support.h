// Helpers for the tests that run the real program and the recorder
// simulator as separate processes: waiting with events running, the
// simulator process, its request log, and a program folder to start from.
#ifndef RDXMON_TESTS_PROCESS_SUPPORT_H
#define RDXMON_TESTS_PROCESS_SUPPORT_H

#include <functional>
#include <map>

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace rdxmon::testing {

// Polls the condition with events running, for at most timeoutMs.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// rdx512-sim from the build's program folder; stopped (SIGTERM, then
// SIGKILL) when the object goes.
class SimulatorProcess {
public:
    // Starts it with the arguments and --ready-file readyFile and waits until
    // the file exists (its port link is there).
    bool start(const QStringList& arguments, const QString& readyFile);
    ~SimulatorProcess();

private:
    QProcess process_;
};

// One line of the simulator's request log: milliseconds since the
// simulator started and the request ("open 01", "ts0", "data 06", ...).
struct LoggedRequest {
    qint64 ms = 0;
    QString request;
};
QList<LoggedRequest> loggedRequests(const QString& logPath);

// Polls per recorder address, replayed from the request log the way the
// line goes: "open NN" selects a recorder, its data request is a poll, and
// the poll was answered when the link then sent "close NN" (it does so only
// after reading the whole reply; after a time-out it sends none).
struct PollTally {
    int requests = 0;
    int answered = 0;
};
std::map<int, PollTally> pollTallies(const QList<LoggedRequest>& requests);

// Copies the program and the link library from the build's program folder
// into folder; false when a copy fails.
bool copyProgram(const QString& folder);

// The settings file's record for the recorder count and port, the rest the
// defaults.
QByteArray settingsRecordFor(int recorders, const QString& port);
// The same with logging resumed at start-up: "Default file", 1 s cycle.
QByteArray loggingSettingsRecordFor(int recorders, const QString& port);
bool writeWholeFile(const QString& path, const QByteArray& bytes);
QByteArray readWholeFile(const QString& path);

// Starts the program of the folder offscreen, from another working folder
// (it finds its own). False when it does not start.
bool startProgram(QProcess& process, const QString& folder);

}  // namespace rdxmon::testing

#endif
