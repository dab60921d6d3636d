// One run of the real monitor program against the recorder simulator, for
// the benchmarks: the simulator on a fresh folder's COM1 link, the program
// and its link library copied into that folder, the settings file written,
// the program started offscreen. Everything is observed from outside: the
// simulator's request log, /proc/<pid>, the files in the program folder.
#ifndef RDXBENCH_MONITORRUN_H
#define RDXBENCH_MONITORRUN_H

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

#include "SimProcess.h"

namespace rdxbench {

// Milliseconds of the steady clock (the simulator's clock, too).
double steadyMs();

struct RunSetup {
    int recorders = 31;
    int simBaud = 9600;  // the simulator paces its output at this speed
    std::string speedText = "9600";  // Speed in the settings file (4 characters)
    std::vector<std::string> simOptions;  // further simulator options (faults)
    bool logging = false;  // logging resumes at start: default file, 1 s cycle
    std::string program = "RDXMON-1_V104";  // the program of binDir to run
    std::vector<std::string> programArgs;  // "{folder}" stands for the program folder
    // Further files written into the program folder: name, content.
    std::vector<std::pair<std::string, std::string>> files;
};

// One request of the simulator's log.
struct LoggedRequest {
    double ms = 0;  // on the simulator's clock (since it started)
    std::string kind;  // "open", "ts0", "data", "close"
    std::string text;  // the address or count as received ("05", "06")
};

// Characters a request took on the line (with its CR LF).
int requestCharacters(const LoggedRequest& request);

class MonitorRun {
public:
    // binDir: the build's program folder (rdx512-sim, RDXMON-1_V104 and
    // libRDX500Comm3.so). Throws std::runtime_error when something cannot
    // be set up or started.
    MonitorRun(const std::string& binDir, const RunSetup& setup);
    // Stops the program (when still running) and the simulator; removes the
    // folders.
    ~MonitorRun();
    MonitorRun(const MonitorRun&) = delete;
    MonitorRun& operator=(const MonitorRun&) = delete;

    const std::string& folder() const { return sim_->folder(); }
    pid_t pid() const { return pid_; }
    pid_t simulatorPid() const { return sim_->pid(); }
    // Steady-clock time of the program's launch.
    double launchedMs() const { return launchedMs_; }

    // The complete lines the simulator has added to its log since the last
    // call.
    std::vector<LoggedRequest> newRequests();

    bool running();
    // SIGTERM, then a bounded wait (SIGKILL after it). Returns the exit
    // status (0 to 255), 128 + signal when a signal ended it, -1 when it
    // had to be killed.
    int stop(double waitMs = 5000);

private:
    std::string logFolder_;
    std::string logPath_;
    std::unique_ptr<rdxsim::SimProcess> sim_;
    pid_t pid_ = -1;
    int exitStatus_ = -1;
    double launchedMs_ = 0;
    long logOffset_ = 0;
};

// utime + stime of the process (all its threads), in seconds.
double processCpuSeconds(pid_t pid);
// A "kB" field of /proc/<pid>/status ("VmRSS", "VmHWM"); -1 when unknown.
long statusKb(pid_t pid, const std::string& field);

double median(std::vector<double> values);

// What watchCycles saw of a run.
struct CycleFigures {
    double windowShownS = 0;  // launch to the end of the start-up pass
    std::vector<double> cycleS;  // the measured poll cycles
    double lineLimitS = 0;  // characters of one cycle both ways x 10 / speed
    double cpuShare = 0;  // of one core, over the measured cycles
};

// Follows the simulator's request log of run (recorders at baud bit/s):
// the start-up pass ends with the close command after the last recorder's
// reply; then cycles poll cycles are measured as the time between
// successive requests to recorder 01. Throws std::runtime_error when the
// program ends early or the polling does not get round in time.
CycleFigures watchCycles(MonitorRun& run, int recorders, int baud, int cycles);

}  // namespace rdxbench

#endif
