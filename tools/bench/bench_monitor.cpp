// bench-monitor: the real monitor program against the simulator.
//
//   bench-monitor [--cycles N] [--configs 31@9600,31@4800,31@19200]
//
// For every configuration (recorders@line speed) the simulator is started on
// a fresh program folder's COM1 link, the program is started offscreen and
// watched from outside:
//   - time to the main window: the program shows its main window when the
//     start-up pass has polled the last recorder, right after the close
//     command that ends that recorder's exchange; measured from the launch
//     to that close command appearing in the simulator's request log (read
//     every 5 ms);
//   - poll cycle: the median time between successive requests to the first
//     recorder after the start-up pass, against the line-time limit
//     (characters of one cycle in both directions x 10 / speed);
//   - CPU share: utime + stime from /proc/<pid>/stat over the measured
//     cycles, as a share of one core;
//   - memory: VmRSS (and its peak, VmHWM) at the end.
// Finally SIGTERM: the program has to end with status 0.
//
// The settings file holds the speed in 4 characters, so "19200" cannot be
// stored (nor chosen in the communication panel). A line of 19200 bit/s is
// run with the simulator pacing the pty at 19200 and the settings at "9600":
// a pseudo-terminal is not paced by the port speed, so the program behaves as
// it would on a 19200 bit/s line.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "ToolOptions.h"

namespace {

using Config = rdxbench::LineConfig;

struct Figures {
    std::string speedText;
    double windowShownS = 0;
    std::vector<double> cycleS;
    double lineLimitS = 0;
    double cpuShare = 0;
    long rssKb = 0;
    long hwmKb = 0;
    int exitStatus = -1;
};

// The settings' Speed for a line speed: the panel's speeds as they are, any
// other speed as "9600" (see above).
std::string speedTextFor(int baud)
{
    return baud == 2400 || baud == 4800 || baud == 9600 ? std::to_string(baud) : "9600";
}

Figures measure(const std::string& binDir, const Config& config, int cycles)
{
    rdxbench::RunSetup setup;
    setup.recorders = config.recorders;
    setup.simBaud = config.baud;
    setup.speedText = speedTextFor(config.baud);
    Figures f;
    f.speedText = setup.speedText;

    rdxbench::MonitorRun run(binDir, setup);
    const rdxbench::CycleFigures c = rdxbench::watchCycles(run, config.recorders, config.baud, cycles);
    f.windowShownS = c.windowShownS;
    f.cycleS = c.cycleS;
    f.lineLimitS = c.lineLimitS;
    f.cpuShare = c.cpuShare;
    f.rssKb = rdxbench::statusKb(run.pid(), "VmRSS");
    f.hwmKb = rdxbench::statusKb(run.pid(), "VmHWM");
    f.exitStatus = run.stop();
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-monitor",
            "usage: bench-monitor [--cycles N] [--configs 31@9600,31@4800,31@19200]\nThe monitor offscreen against the "
            "simulator, watched from outside: poll cycle against the\nline-time limit, CPU share, memory, time to the "
            "main window, exit status after SIGTERM.\n"))
        return 0;
    int cycles = 3;
    std::string configText = "31@9600,31@4800,31@19200";
    const std::string binDir = rdxbench::binFolder();
    std::vector<Config> configs;
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--cycles")
                cycles = std::max(2, std::stoi(value));
            else if (option == "--configs")
                configText = value;
            else
                return false;
            return true;
        });
        configs = rdxbench::parseLineConfigs(configText);
    } catch (const std::exception& e) {
        std::cerr << "bench-monitor: " << e.what()
                  << "\nusage: bench-monitor [--cycles N] [--configs 31@9600,31@4800,31@19200]\n";
        return 2;
    }

    std::printf("%-9s %6s %5s %6s %10s %10s %10s %6s %6s %8s %8s %9s %4s\n", "recorders", "line", "Speed", "cycles",
                "median[s]", "min-max[s]", "limit[s]", "ratio", "CPU%", "RSS[MB]", "peak[MB]", "window[s]", "exit");
    bool met = true;
    for (const Config& config : configs) {
        try {
            const Figures f = measure(binDir, config, cycles);
            const double med = rdxbench::median(f.cycleS);
            const double ratio = med / f.lineLimitS;
            const double cpuPercent = 100.0 * f.cpuShare;
            const double rssMb = f.rssKb / 1024.0;
            const auto [lo, hi] = std::minmax_element(f.cycleS.begin(), f.cycleS.end());
            char range[32];
            std::snprintf(range, sizeof range, "%.2f-%.2f", *lo, *hi);
            std::printf("%-9d %6d %5s %6d %10.3f %10s %10.3f %6.3f %6.2f %8.1f %8.1f %9.2f %4d\n", config.recorders,
                        config.baud, f.speedText.c_str(), cycles, med, range, f.lineLimitS, ratio, cpuPercent, rssMb,
                        f.hwmKb / 1024.0, f.windowShownS, f.exitStatus);
            std::fflush(stdout);
            if (ratio > 1.03 || cpuPercent >= 2.0 || rssMb >= 60.0 || f.exitStatus != 0)
                met = false;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench-monitor: %d recorders at %d bit/s: %s\n", config.recorders, config.baud,
                         e.what());
            met = false;
        }
    }
    std::printf("targets (ratio <= 1.03, CPU < 2 %% of one core, RSS < 60 MB, exit status 0): %s\n",
                met ? "met" : "MISSED");
    return met ? 0 : 1;
}
