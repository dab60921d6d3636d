// "Simulated recorders": when the operator chose them for the port, the
// recorder simulator rdx512-sim (beside the program) runs on a
// pseudo-terminal with its link COMn in the folder of the files, answering
// the addresses of the recorder slots in use at the stored line speed. So a
// newcomer sees the program work without hardware and without root.
#ifndef RDXMON_STARTUP_SIMULATEDLINE_H
#define RDXMON_STARTUP_SIMULATEDLINE_H

#include <QProcess>
#include <QString>

#include "startup/Services.h"
#include "startup/SharedState.h"

namespace rdxmon {

class SimulatedLine {
public:
    SimulatedLine() = default;
    // Ends the simulator, which removes its link.
    ~SimulatedLine();
    SimulatedLine(const SimulatedLine&) = delete;
    SimulatedLine& operator=(const SimulatedLine&) = delete;

    // When the port of state.gInit has the simulated choice: starts the
    // simulator and waits (a few seconds at most) for its link. A simulator
    // that does not come up is told, naming why; the program goes on.
    void startIfChosen(const SharedState& state, const QString& programFolder, MessageBoxes& messages);

    bool running() const { return process_.state() == QProcess::Running; }

private:
    QProcess process_;
};

}  // namespace rdxmon

#endif
