// bench-soak: the monitor left running against a faulty line.
//
//   bench-soak [--minutes N]
//
// The real monitor polls 31 recorders at 9600 bit/s (default 30 minutes),
// logging resumed at start-up in "Default file" mode with a 1 s cycle. Some
// recorders misbehave the whole time (see kFaults), and halfway through the
// run the serial port goes away for 20 s and comes back on a new device.
// Everything is measured from outside:
//   - resident memory (VmRSS) at 1 minute and at the end, and its range;
//   - CPU share: utime + stime of the program over the wall time;
//   - the log: rows due (one per second from the first row to the last)
//     against rows written, seconds without a row and seconds with two;
//   - polls per recorder from the simulator's request log: data requests,
//     and answered polls (the data request followed by the close command the
//     link sends once it has read the whole reply) against the number
//     expected from the polling time and the cycle time;
//   - the time from the port's return to the first answered poll after it;
//   - foreign values: channel 6 of every fifth recorder reports no value,
//     which the log holds as an empty field (as every channel without a
//     current reading); rows where a healthy one shows a number there were
//     filled from lines of another reply.
// Targets: memory growth under 5 MB, every due row written, polling back
// within 5 s of the port's return.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "ToolOptions.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRecorders = 31;
constexpr int kDay = 86400;
constexpr int kAwaySeconds = 20;
constexpr long kGrowthLimitKb = 5 * 1024;
constexpr double kRecoveryLimitMs = 5000;

// The recorders that misbehave, as simulator options.
const std::vector<std::pair<std::string, std::set<int>>> kFaults = {
    {"--silent", {7}}, {"--short", {13}},      {"--extra", {19}},
    {"--slow", {25}},  {"--garbage", {3, 11}}, {"--noise", {5, 29}},
};

std::string listText(const std::set<int>& addresses)
{
    std::string text;
    for (int a : addresses)
        text += (text.empty() ? "" : ",") + std::to_string(a);
    return text;
}

bool faulty(int address)
{
    return std::any_of(kFaults.begin(), kFaults.end(),
                       [&](const auto& fault) { return fault.second.contains(address); });
}

// Seconds from a to b going forward through midnight, in -12 h .. 12 h.
int secondsBetween(int a, int b)
{
    const int d = ((b - a) % kDay + kDay) % kDay;
    return d >= kDay / 2 ? d - kDay : d;
}

// "h:m:s AM/PM" at the start of a row -> seconds after midnight, or -1.
int rowSecond(const std::string& line)
{
    static const std::regex time("^\"(\\d{1,2}):(\\d{1,2}):(\\d{1,2}) (AM|PM)\",");
    std::smatch m;
    if (!std::regex_search(line, m, time))
        return -1;
    const int hour = std::stoi(m[1]) % 12 + (m[4] == "PM" ? 12 : 0);
    return (hour * 60 + std::stoi(m[2])) * 60 + std::stoi(m[3]);
}

// Follows the simulator's request log the way the line goes: "open NN"
// selects a recorder, its data request is answered when the link then
// sends "close NN" (it does so only after reading all the reply's lines).
struct PollLog {
    struct Counts {
        int requests = 0;
        int answered = 0;
        std::vector<double> openMs;  // when each data request was sent
    };
    std::map<int, Counts> byAddress;
    int selected = -1;
    int awaiting = -1;
    std::vector<double> answeredMs;  // every answered poll, in order

    void add(const rdxbench::LoggedRequest& r)
    {
        const int number = std::atoi(r.text.c_str());
        if (r.kind == "open") {
            selected = number;
            awaiting = -1;
        } else if (r.kind == "data" && selected > 0) {
            byAddress[selected].requests++;
            byAddress[selected].openMs.push_back(r.ms);
            awaiting = selected;
        } else if (r.kind == "close" && awaiting == number) {
            byAddress[number].answered++;
            answeredMs.push_back(r.ms);
            awaiting = -1;
        }
    }
};

struct LogFigures {
    int rows = 0;
    int due = 0;
    int missing = 0;
    int duplicates = 0;
    int backwards = 0;
    int malformed = 0;
    int foreign = 0;  // rows with a value in a healthy recorder's skipped channel
    std::vector<std::string> gapNotes;  // the first few gaps, for the report
};

// The rows of the log file: times one second apart from the first row to
// the last, every row with the time and one field per channel.
LogFigures readLog(const std::string& path)
{
    LogFigures f;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    int lineNumber = 0, previous = -1;
    while (std::getline(in, line)) {
        if (++lineNumber <= 2)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const int second = rowSecond(line);
        const long fields = std::count(line.begin(), line.end(), ',') + 1;
        if (second < 0 || fields != 1 + kRecorders * 6) {
            ++f.malformed;
            continue;
        }
        ++f.rows;
        std::vector<std::string> field;
        std::stringstream split(line);
        for (std::string text; std::getline(split, text, ',');)
            field.push_back(text);
        for (int a = 5; a <= kRecorders; a += 5) {
            const std::size_t channel6 = 1 + (a - 1) * 6 + 5;
            if (!faulty(a) && channel6 < field.size() && !field[channel6].empty()) {
                ++f.foreign;
                break;
            }
        }
        if (previous >= 0) {
            const int step = secondsBetween(previous, second);
            if (step == 0) {
                ++f.duplicates;
            } else if (step < 0) {
                ++f.backwards;
            } else if (step > 1) {
                f.missing += step - 1;
                if (f.gapNotes.size() < 5)
                    f.gapNotes.push_back("row " + std::to_string(lineNumber) + ": " + std::to_string(step - 1)
                                         + " s without a row before it");
            }
            if (step > 0)
                f.due += step;
        } else {
            f.due = 1;
        }
        previous = second;
    }
    return f;
}

std::string csvIn(const std::string& folder)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".csv")
            return entry.path().string();
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-soak",
            "usage: bench-soak [--minutes N]\nThe monitor for a long run against a faulty line of 31 recorders that "
            "goes away for 20 s:\nmemory growth, CPU, rows due against rows written, recovery time.\n"))
        return 0;
    double minutes = 30;
    const std::string binDir = rdxbench::binFolder();
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option != "--minutes")
                return false;
            minutes = std::max(1.5, std::stod(value));
            return true;
        });
    } catch (const std::exception& e) {
        std::cerr << "bench-soak: " << e.what() << "\nusage: bench-soak [--minutes N]\n";
        return 2;
    }
    const double runMs = minutes * 60'000;
    const int vanishAfterS = static_cast<int>(runMs / 2000);
    // On the simulator's clock, which its log uses.
    const double returnMs = (vanishAfterS + kAwaySeconds) * 1000.0;

    rdxbench::RunSetup setup;
    setup.recorders = kRecorders;
    setup.logging = true;
    for (const auto& [option, addresses] : kFaults) {
        setup.simOptions.push_back(option);
        setup.simOptions.push_back(listText(addresses));
    }
    setup.simOptions.insert(
        setup.simOptions.end(),
        {"--vanish-after", std::to_string(vanishAfterS), "--return-after", std::to_string(kAwaySeconds)});

    std::printf("bench-soak: %d recorders at 9600 bit/s for %.1f min, log cycle 1 s; faults:", kRecorders, minutes);
    for (const auto& [option, addresses] : kFaults)
        std::printf(" %s %s", option.c_str(), listText(addresses).c_str());
    std::printf("; port away from %d s to %d s\n", vanishAfterS, vanishAfterS + kAwaySeconds);
    std::fflush(stdout);

    PollLog polls;
    long rssAtMinuteKb = -1, rssEndKb = -1, rssMinKb = -1, rssMaxKb = -1, hwmKb = -1;
    double cpuSeconds = 0, wallSeconds = 0;
    int exitStatus = -1;
    LogFigures log;
    std::string csvName;
    try {
        rdxbench::MonitorRun run(binDir, setup);
        double nextReportMs = run.launchedMs() + 5 * 60'000;
        const double endMs = run.launchedMs() + runMs;
        while (rdxbench::steadyMs() < endMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!run.running())
                throw std::runtime_error("the monitor ended early (see its output)");
            for (const rdxbench::LoggedRequest& r : run.newRequests())
                polls.add(r);
            const double now = rdxbench::steadyMs();
            const long rss = rdxbench::statusKb(run.pid(), "VmRSS");
            if (now - run.launchedMs() >= 60'000) {
                if (rssAtMinuteKb < 0)
                    rssAtMinuteKb = rss;
                rssMinKb = rssMinKb < 0 ? rss : std::min(rssMinKb, rss);
                rssMaxKb = std::max(rssMaxKb, rss);
            }
            if (now >= nextReportMs) {
                nextReportMs += 5 * 60'000;
                std::printf("  %5.1f min: VmRSS %ld kB, CPU %.1f s, answered polls %zu\n",
                            (now - run.launchedMs()) / 60'000, rss, rdxbench::processCpuSeconds(run.pid()),
                            polls.answeredMs.size());
                std::fflush(stdout);
            }
        }
        for (const rdxbench::LoggedRequest& r : run.newRequests())
            polls.add(r);
        rssEndKb = rdxbench::statusKb(run.pid(), "VmRSS");
        hwmKb = rdxbench::statusKb(run.pid(), "VmHWM");
        cpuSeconds = rdxbench::processCpuSeconds(run.pid());
        wallSeconds = (rdxbench::steadyMs() - run.launchedMs()) / 1000;
        exitStatus = run.stop();
        csvName = csvIn(run.folder());
        if (!csvName.empty())
            log = readLog(csvName);
    } catch (const std::exception& e) {
        std::cerr << "bench-soak: " << e.what() << "\n";
        return 1;
    }

    // The cycle time: the median time between two polls of recorder 1,
    // leaving out the one spanning the port's absence.
    std::vector<double> cycles;
    const std::vector<double>& first = polls.byAddress[1].openMs;
    for (std::size_t i = 1; i < first.size(); ++i) {
        const double gap = first[i] - first[i - 1];
        if (!(first[i - 1] < returnMs && first[i] >= returnMs - kAwaySeconds * 1000.0))
            cycles.push_back(gap);
    }
    const double cycleMs = rdxbench::median(cycles);
    const double pollingSeconds = wallSeconds - kAwaySeconds;
    const double expected = cycleMs > 0 ? pollingSeconds * 1000 / cycleMs : 0;

    double backMs = -1;
    for (double ms : polls.answeredMs) {
        if (ms >= returnMs) {
            backMs = ms - returnMs;
            break;
        }
    }

    std::printf("memory: VmRSS %ld kB at 1 min, %ld kB at the end (growth %+ld kB), range after 1 min %ld-%ld kB, "
                "peak %ld kB\n",
                rssAtMinuteKb, rssEndKb, rssEndKb - rssAtMinuteKb, rssMinKb, rssMaxKb, hwmKb);
    std::printf("CPU: %.1f s in %.0f s wall = %.2f %%\n", cpuSeconds, wallSeconds,
                wallSeconds > 0 ? 100 * cpuSeconds / wallSeconds : 0.0);
    std::printf("log %s: rows due %d, written %d, seconds without a row %d, duplicate seconds %d, "
                "out of order %d, malformed %d\n",
                csvName.empty() ? "(none)" : fs::path(csvName).filename().c_str(), log.due, log.rows, log.missing,
                log.duplicates, log.backwards, log.malformed);
    for (const std::string& note : log.gapNotes)
        std::printf("  %s\n", note.c_str());
    std::printf("rows with another reply's value in a healthy recorder's skipped channel: %d (should be 0)\n",
                log.foreign);
    std::printf("cycle time %.0f ms, polling time %.0f s: about %.0f polls expected per recorder\n", cycleMs,
                pollingSeconds, expected);

    int healthy = 0, healthyAnswered = 0, healthyRequests = 0, worstHealthy = -1;
    for (int a = 1; a <= kRecorders; ++a) {
        const PollLog::Counts& c = polls.byAddress[a];
        if (faulty(a)) {
            std::printf("  recorder %02d (faulty): %d requests, %d answered\n", a, c.requests, c.answered);
            continue;
        }
        ++healthy;
        healthyAnswered += c.answered;
        healthyRequests += c.requests;
        worstHealthy = worstHealthy < 0 ? c.answered : std::min(worstHealthy, c.answered);
    }
    std::printf("  %d healthy recorders: %d requests, %d answered (%.1f %% of expected), fewest answered %d\n", healthy,
                healthyRequests, healthyAnswered, expected > 0 ? 100.0 * healthyAnswered / (healthy * expected) : 0.0,
                worstHealthy);
    if (backMs >= 0)
        std::printf("polling back %.0f ms after the port's return\n", backMs);
    else
        std::printf("polling back: no answered poll after the port's return\n");
    std::printf("exit status after SIGTERM: %d\n", exitStatus);

    const bool memoryMet = rssAtMinuteKb > 0 && rssEndKb - rssAtMinuteKb < kGrowthLimitKb;
    const bool rowsMet = log.rows > 0 && log.missing == 0 && log.duplicates == 0 && log.backwards == 0
        && log.malformed == 0 && log.rows == log.due;
    const bool backMet = backMs >= 0 && backMs <= kRecoveryLimitMs;
    std::printf("targets: memory growth under 5 MB %s, every due row written %s, polling back within 5 s %s\n",
                memoryMet ? "met" : "MISSED", rowsMet ? "met" : "MISSED", backMet ? "met" : "MISSED");
    return memoryMet && rowsMet && backMet && exitStatus == 0 ? 0 : 1;
}
