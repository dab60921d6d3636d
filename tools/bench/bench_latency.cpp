// bench-latency: the window thread's event latency while the monitor polls.
//
//   bench-latency [--cycles N] [--speeds 2400,9600]
//
// For every line speed the simulator serves 31 recorders, of which 4 are
// slow (4, 12, 20, 28: their reply starts, the rest comes after the link's
// time-out) and 4 silent (8, 16, 24, 31). The program run is the monitor
// built with a latency probe (rdxmon-probe): a precise 5 ms single-shot
// timer on the window thread, each firing's lateness against its due time
// kept from the first event loop on (the start-up pass's: splash, progress
// and the showing of the main window included; the building of the windows
// before it is not polling and not counted). The run lasts
// the start-up pass and N more cycles (counted from the simulator's request
// log: the opens of recorder 01), then SIGTERM; the program writes the
// 50th and 99th percentile and the longest lateness to latency.txt at its
// end. Targets: 99th percentile under 20 ms, longest under 50 ms.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "ToolOptions.h"

namespace {

struct Figures {
    long count = 0;
    double p50 = 0, p99 = 0, max = 0, maxAtS = 0;
    double seconds = 0;
    int exitStatus = -1;
};

Figures measure(const std::string& binDir, int baud, int cycles)
{
    rdxbench::RunSetup setup;
    setup.recorders = 31;
    setup.simBaud = baud;
    setup.speedText = std::to_string(baud);
    setup.simOptions = {"--slow", "4,12,20,28", "--silent", "8,16,24,31"};
    setup.program = "rdxmon-probe";
    rdxbench::MonitorRun run(binDir, setup);

    // One cycle at most: 31 replies at the line speed plus 8 time-outs.
    const double cycleBoundMs = 31 * 400.0 * 10 * 1000 / baud + 8 * 3000.0;
    const double deadline = rdxbench::steadyMs() + cycleBoundMs * (cycles + 1) + 20000;
    int firstOpens = 0;
    while (firstOpens < cycles + 2) {
        if (!run.running())
            throw std::runtime_error("the monitor ended early (see its output)");
        if (rdxbench::steadyMs() > deadline)
            throw std::runtime_error("the polling did not get round in time");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (const rdxbench::LoggedRequest& r : run.newRequests())
            firstOpens += r.kind == "open" && r.text == "01";
    }
    Figures f;
    f.seconds = (rdxbench::steadyMs() - run.launchedMs()) / 1000.0;
    f.exitStatus = run.stop();
    std::ifstream in(run.folder() + "/latency.txt");
    std::string word;
    while (in >> word) {
        if (word == "count")
            in >> f.count;
        else if (word == "p50")
            in >> f.p50;
        else if (word == "p99")
            in >> f.p99;
        else if (word == "max")
            in >> f.max;
        else if (word == "at")
            in >> f.maxAtS, f.maxAtS /= 1000;
    }
    if (f.count == 0)
        throw std::runtime_error("the probe wrote no figures");
    return f;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-latency",
            "usage: bench-latency [--cycles N] [--speeds 2400,9600]\nThe window thread's event latency while polling "
            "31 recorders (4 slow, 4 silent): the monitor\nbuilt with a 5 ms probe timer (rdxmon-probe) against the "
            "simulator. Targets: p99 < 20 ms, max < 50 ms.\n"))
        return 0;
    int cycles = 1;
    std::string speeds = "2400,9600";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--cycles")
            cycles = std::max(1, std::stoi(value));
        else if (option == "--speeds")
            speeds = value;
        else {
            std::cerr << "usage: bench-latency [--cycles N] [--speeds 2400,9600]\n";
            return 2;
        }
    }
    const std::string binDir = rdxbench::binFolder();
    bool met = true;
    std::printf("%-6s %7s %8s %9s %9s %9s %7s %5s\n", "line", "run[s]", "samples", "p50[ms]", "p99[ms]", "max[ms]",
                "at[s]", "exit");
    std::stringstream list(speeds);
    for (std::string item; std::getline(list, item, ',');) {
        const int baud = std::stoi(item);
        try {
            const Figures f = measure(binDir, baud, cycles);
            std::printf("%-6d %7.1f %8ld %9.2f %9.2f %9.2f %7.1f %5d\n", baud, f.seconds, f.count, f.p50, f.p99, f.max,
                        f.maxAtS, f.exitStatus);
            met = met && f.p99 < 20 && f.max < 50 && f.exitStatus == 0;
        } catch (const std::exception& e) {
            std::printf("%-6d failed: %s\n", baud, e.what());
            met = false;
        }
        std::fflush(stdout);
    }
    std::printf("targets (p99 < 20 ms, max < 50 ms, exit status 0): %s\n", met ? "met" : "NOT met");
    return met ? 0 : 1;
}
