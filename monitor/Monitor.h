// The window program put together: the composition root of RDXMON-1_V104.
#ifndef RDXMON_MONITOR_H
#define RDXMON_MONITOR_H

#include <functional>
#include <memory>

#include <QString>

namespace rdxmon {

// Something a special build keeps alive for the whole run, made once the
// program's folder is known (the benchmarks' latency probe).
using RunExtra = std::function<std::shared_ptr<void>(const QString& programFolder)>;

// Runs the window program to its end and returns its exit status.
//
// Start-up: --help and --version are answered; the files' folder (the
// program's when it can be written, else the user's own, or --folder)
// becomes the working folder; the shared start-up loads the link library
// from the program's folder and the files (see startup/Startup.h),
// the splash window shows the settings; the windows are made and wired, the
// broker publisher started when it is configured; the main window connects
// to the recorders, runs the start-up pass and shows itself.
int runMonitor(int argc, char* argv[], const RunExtra& extra = {});

}  // namespace rdxmon

#endif
