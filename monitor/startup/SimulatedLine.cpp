#include "startup/SimulatedLine.h"

#include <algorithm>

#include <signal.h>
#include <sys/prctl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include "startup/Lenient.h"
#include "startup/PortChoice.h"

namespace rdxmon {

namespace {

constexpr int kStartWaitMs = 5000;

}  // namespace

SimulatedLine::~SimulatedLine()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
    process_.waitForFinished(1000);
}

void SimulatedLine::startIfChosen(const SharedState& state, const QString& programFolder, MessageBoxes& messages)
{
    const int port = portNumber(state.gInit.Port);
    if (port == 0 || readPortChoices(state.programFolder)[port] != kSimulatedChoice)
        return;

    QStringList addresses;
    for (int slot = 0; slot < state.gRecTotal; ++slot)
        addresses << QString::number(state.gDevAddr[static_cast<std::size_t>(slot)]);
    const int speed = lenientInt(state.gInit.Speed);
    const QString program = QDir(programFolder).filePath(QStringLiteral("rdx512-sim"));
    const QString link = QDir(state.programFolder).filePath(QStringLiteral("COM%1").arg(port));
    const auto fail = [&](const QString& reason) {
        messages.information(QStringLiteral("The simulated recorders for COM%1 could not be started (%2): %3.")
                                 .arg(port)
                                 .arg(QDir::toNativeSeparators(program), reason));
    };

    process_.setProgram(program);
    process_.setArguments({QStringLiteral("--dir"), state.programFolder, QStringLiteral("--port-name"),
                           QStringLiteral("COM%1").arg(port), QStringLiteral("--addresses"), addresses.join(u','),
                           QStringLiteral("--baud"), QString::number(speed >= 300 ? speed : 9600)});
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    // It goes with the program, also when the program dies.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    if (QFileInfo(link).isSymLink())
        QFile::remove(link);  // left behind by a run that died
    process_.start();
    if (!process_.waitForStarted(kStartWaitMs)) {
        fail(process_.errorString());
        return;
    }
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo(link).isSymLink()) {
        if (process_.waitForFinished(20)) {
            fail(QStringLiteral("it ended with status %1").arg(process_.exitCode()));
            return;
        }
        if (waited.elapsed() > kStartWaitMs) {
            fail(QStringLiteral("its link %1 did not appear").arg(QDir::toNativeSeparators(link)));
            return;
        }
    }
}

}  // namespace rdxmon
