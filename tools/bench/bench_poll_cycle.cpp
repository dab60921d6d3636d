// bench-poll-cycle: how long one polling cycle over all recorders takes when
// RWcomm is driven from a 50 ms timer, one recorder slot per tick, the way the
// monitor polls; compared with the time the characters need on the line.
//
//   bench-poll-cycle [--cycles N] [--configs 12@9600,31@9600,...] [--sim PATH]
//
// For every configuration the simulator is started with that many recorders
// at that speed. After one unmeasured start-up pass, N cycles are measured.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "BenchOptions.h"
#include "SimProcess.h"
#include "ToolOptions.h"
#include "rdx5Comm3.h"

namespace {

using Clock = std::chrono::steady_clock;

using Config = rdxbench::LineConfig;

struct Figures {
    double medianCycleS;
    double lineLimitS;
    double cpuPerCycleS;
    int timeouts;
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string twoDigits(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

Figures measure(const std::string& simPath, const Config& config, int cycles)
{
    rdxsim::SimProcess sim(
        simPath, {"--addresses", "1-" + std::to_string(config.recorders), "--baud", std::to_string(config.baud)});
    const std::string device = sim.linkPath();
    rdx::rdx5Comm3 link(rdx::makeTermiosControl([device](int) { return device; }), rdx::makeSystemTickCounter());
    link.TimeOut(1000);
    link.BaudRate(std::to_string(config.baud));
    link.DataBit("7");
    link.StopBit("1");
    link.Flow("NONE");
    link.Pality("Even");
    link.RThreshold(4);
    if (!link.PortOpen())
        throw std::runtime_error("the simulator's port did not open");
    link.SendBufClear();
    link.RecvBufClear();
    for (int slot = 0; slot < config.recorders; ++slot)
        link.Send_Close(twoDigits(slot + 1));

    const auto interval = std::chrono::milliseconds(50);
    const std::string count = "06";
    const std::int16_t tries = 1;
    int slot = 0;
    int cycle = -1;  // -1: the start-up pass
    long characters = 0;
    int timeouts = 0;
    std::vector<double> cycleSeconds;
    Clock::time_point cycleStart;
    double cpuStart = 0;
    auto next = Clock::now() + interval;
    while (cycle < cycles) {
        std::this_thread::sleep_until(next);
        // One timer tick.
        const std::string address = twoDigits(slot + 1);
        const std::string result = link.RWcomm(address, count, tries, "N");
        if (!result.empty()) {
            const bool answered = result != "\x1b";
            // Open command, "TS0" line, data request; the close command and
            // the reply only when the recorder answered.
            characters += (5 + address.size()) + 5 + (13 + count.size());
            if (answered)
                characters += result.size() + 5 + address.size();
            else
                ++timeouts;
            slot = (slot + 1) % config.recorders;
            if (slot == 0) {
                const auto now = Clock::now();
                if (cycle >= 0)
                    cycleSeconds.push_back(std::chrono::duration<double>(now - cycleStart).count());
                else {
                    characters = 0;
                    timeouts = 0;
                    cpuStart = cpuSeconds();
                }
                cycleStart = now;
                ++cycle;
            }
        }
        // Like a GUI timer: the next tick is one interval later, or one
        // interval after now when the handler overran.
        next += interval;
        if (next < Clock::now())
            next = Clock::now() + interval;
    }
    const double cpu = cpuSeconds() - cpuStart;
    link.PortClose();
    std::sort(cycleSeconds.begin(), cycleSeconds.end());
    Figures f{};
    f.medianCycleS = cycleSeconds[cycleSeconds.size() / 2];
    if (cycleSeconds.size() % 2 == 0)
        f.medianCycleS = (f.medianCycleS + cycleSeconds[cycleSeconds.size() / 2 - 1]) / 2;
    f.lineLimitS = static_cast<double>(characters) / cycles * 10.0 / config.baud;
    f.cpuPerCycleS = cpu / cycles;
    f.timeouts = timeouts;
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-poll-cycle",
            "usage: bench-poll-cycle [--cycles N] [--configs 12@9600,31@19200] [--sim PATH]\nThe link's poll cycle "
            "against the simulator, one recorder per 50 ms tick: median cycle\nagainst the line-time limit and the "
            "polling CPU per cycle.\n"))
        return 0;
    int cycles = 3;
    std::string configText = "12@9600,31@9600,12@19200,31@19200";
    std::string simPath = rdxbench::binFolder() + "/rdx512-sim";
    std::vector<Config> configs;
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--cycles")
                cycles = std::max(1, std::stoi(value));
            else if (option == "--configs")
                configText = value;
            else if (option == "--sim")
                simPath = value;
            else
                return false;
            return true;
        });
        configs = rdxbench::parseLineConfigs(configText);
    } catch (const std::exception& e) {
        std::cerr << "bench-poll-cycle: " << e.what()
                  << "\nusage: bench-poll-cycle [--cycles N] [--configs 12@9600,31@19200] [--sim PATH]\n";
        return 2;
    }

    std::printf("%-9s %6s %6s %12s %12s %6s %12s %7s %8s\n", "recorders", "bit/s", "cycles", "median [s]",
                "line lim [s]", "ratio", "CPU/cycle[s]", "CPU %", "timeouts");
    bool met = true;
    for (const Config& config : configs) {
        try {
            const Figures f = measure(simPath, config, cycles);
            const double ratio = f.medianCycleS / f.lineLimitS;
            const double cpuPercent = 100.0 * f.cpuPerCycleS / f.medianCycleS;
            std::printf("%-9d %6d %6d %12.3f %12.3f %6.3f %12.4f %7.3f %8d\n", config.recorders, config.baud, cycles,
                        f.medianCycleS, f.lineLimitS, ratio, f.cpuPerCycleS, cpuPercent, f.timeouts);
            std::fflush(stdout);
            if ((config.baud == 9600 && ratio > 1.25) || cpuPercent >= 2.0)
                met = false;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench-poll-cycle: %d recorders at %d bit/s: %s\n", config.recorders, config.baud,
                         e.what());
            met = false;
        }
    }
    std::printf("targets (ratio <= 1.25 at 9600 bit/s, CPU < 2 %%): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
