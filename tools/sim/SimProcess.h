// Starts rdx512-sim as a child process in a fresh temporary folder and waits
// until its port link exists. Its standard output goes to "sim.out" in the
// folder. Used by the benchmark and the end-to-end tests.
#ifndef RDXSIM_SIMPROCESS_H
#define RDXSIM_SIMPROCESS_H

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace rdxsim {

class SimProcess {
public:
    // program: path of rdx512-sim. args: its options; --dir, --port-name
    // COM1 and --ready-file are added. Throws std::runtime_error when the
    // simulator does not come up within the wait.
    SimProcess(const std::string& program, const std::vector<std::string>& args,
               std::chrono::milliseconds wait = std::chrono::seconds(5));
    // Stops the simulator (SIGTERM, then SIGKILL) and removes the folder.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& folder() const { return folder_; }
    // The port link "COM1" in the folder.
    std::string linkPath() const { return folder_ + "/COM1"; }
    // Sends SIGTERM and waits (bounded) for the exit; returns the exit status
    // as waitpid gives it, or -1 when the process had to be killed.
    int stop(std::chrono::milliseconds wait = std::chrono::seconds(3));
    bool running();
    pid_t pid() const { return pid_; }

private:
    std::string folder_;
    pid_t pid_ = -1;
};

}  // namespace rdxsim

#endif
