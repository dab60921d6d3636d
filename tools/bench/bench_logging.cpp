// bench-logging: log rows per due second while the window thread is held up.
//
//   bench-logging [--seconds S] [--recorders N] [--slow LIST] [--short LIST]
//                 [--stall-at S --stall-ms MS]
//
// The real monitor polls N recorders (default 31) at 9600 bit/s. The
// recorders of --slow (default 4,12,20,28; "none" for none) are slow: their
// reply starts but the rest follows only after the link's 1000 ms time-out;
// those of --short (default none) never send their last line. Either way
// the window thread, once the first characters are in, waits for the rest
// until the time-out. (The rest of a slow reply arrives later and is read
// as the start of the next exchange, so with --slow the waits move around;
// --short gives the plain worst case.) Logging resumes at start-up in
// "Default file" mode with a 1 s cycle. --stall-at stops the whole program
// (SIGSTOP) S seconds after its launch for MS milliseconds, as a loaded
// machine would, to see the rows of the missed seconds caught up. The bench reads the growing CSV file from outside every 20 ms
// and then compares each row's time field (the time the row was written)
// with the due grid that START set (one due second after another, from the
// second after the header was written):
//   - on time: the row's time field is its due second (written within 1 s);
//   - late: written in a later second; the program writes the missed row at
//     its next tick and the next row is due at the next grid second after
//     it, so the seconds in between get no row of their own (missing);
//   - the delay seen from outside: when the row appeared in the file against
//     the start of its due second.
#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "ToolOptions.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDay = 86400;

// Local time of day of a moment, in milliseconds.
double localMsOfDay(std::time_t seconds, long nanoseconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    return ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000.0 + nanoseconds / 1e6;
}

double nowLocalMsOfDay()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return localMsOfDay(static_cast<std::time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000));
}

// Seconds from a to b going forward through midnight, in -12 h .. 12 h.
int secondsBetween(int a, int b)
{
    int d = ((b - a) % kDay + kDay) % kDay;
    return d >= kDay / 2 ? d - kDay : d;
}

std::string clockText(int second)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
    return text;
}

struct Row {
    int second = -1;  // the time field, seconds after midnight
    double seenMsOfDay = 0;  // when the bench found it in the file
};

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

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-logging",
            "usage: bench-logging [--seconds S] [--recorders N] [--slow LIST] [--short LIST] [--stall-at S --stall-ms "
            "MS]\nLogging at a 1 s cycle while slow recorders are polled: the share of due seconds whose row\nwas "
            "written within its second (target 100 %), late rows, missing seconds, the worst delay.\n"))
        return 0;
    int seconds = 180;
    int recorders = 31;
    std::string slow = "4,12,20,28";
    std::string shortReplies = "none";
    double stallAtS = -1;
    int stallMs = 0;
    const std::string binDir = rdxbench::binFolder();
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--seconds")
                seconds = std::max(10, std::stoi(value));
            else if (option == "--recorders")
                recorders = std::clamp(std::stoi(value), 1, 31);
            else if (option == "--slow")
                slow = value;
            else if (option == "--short")
                shortReplies = value;
            else if (option == "--stall-at")
                stallAtS = std::stod(value);
            else if (option == "--stall-ms")
                stallMs = std::max(0, std::stoi(value));
            else
                return false;
            return true;
        });
    } catch (const std::exception& e) {
        std::cerr << "bench-logging: " << e.what()
                  << "\nusage: bench-logging [--seconds S] [--recorders N] [--slow LIST] [--short LIST]"
                     " [--stall-at S --stall-ms MS]\n";
        return 2;
    }

    rdxbench::RunSetup setup;
    setup.recorders = recorders;
    setup.logging = true;
    if (slow != "none")
        setup.simOptions.insert(setup.simOptions.end(), {"--slow", slow});
    if (shortReplies != "none")
        setup.simOptions.insert(setup.simOptions.end(), {"--short", shortReplies});

    std::vector<double> cycleMs, timeoutMs;
    std::vector<Row> rows;
    int startSecond = -1;  // the second START wrote the header in
    std::string csvName;
    int exitStatus = -1;
    try {
        rdxbench::MonitorRun run(binDir, setup);
        std::string pending;  // the start of a line not yet complete
        long offset = 0;
        int lines = 0;
        const double end = run.launchedMs() + seconds * 1000.0;
        while (rdxbench::steadyMs() < end) {
            if (!run.running())
                throw std::runtime_error("the monitor ended early (see its output)");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (stallAtS >= 0 && rdxbench::steadyMs() >= run.launchedMs() + stallAtS * 1000) {
                stallAtS = -1;
                kill(run.pid(), SIGSTOP);
                std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
                kill(run.pid(), SIGCONT);
            }
            if (csvName.empty()) {
                for (const fs::directory_entry& entry : fs::directory_iterator(run.folder())) {
                    if (entry.path().extension() == ".csv")
                        csvName = entry.path().string();
                }
                if (csvName.empty())
                    continue;
            }
            std::ifstream in(csvName, std::ios::binary);
            in.seekg(offset);
            std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (chunk.empty())
                continue;
            offset += static_cast<long>(chunk.size());
            const double seen = nowLocalMsOfDay();
            pending += chunk;
            for (std::size_t eol; (eol = pending.find("\r\n")) != std::string::npos;) {
                const std::string line = pending.substr(0, eol);
                pending.erase(0, eol + 2);
                if (++lines <= 2) {
                    if (lines == 2 && pending.empty()) {
                        // The header is written and the file closed before
                        // the first row: its time is START's. (When the
                        // first row is already there, START is taken as the
                        // second before it, below.)
                        struct stat info {};
                        if (::stat(csvName.c_str(), &info) == 0)
                            startSecond
                                = static_cast<int>(localMsOfDay(info.st_mtim.tv_sec, info.st_mtim.tv_nsec) / 1000);
                    }
                    continue;
                }
                rows.push_back({rowSecond(line), seen});
            }
        }
        // The load, from the simulator's request log: the poll cycle, and
        // the exchanges given up at the time-out (a data request not
        // followed by the next open command within 900 ms). Late lines of a
        // slow recorder are read as the start of the next recorder's reply,
        // so the time-outs do not always fall on the slow recorders.
        std::vector<double> firstOpens;
        double dataMs = -1;
        for (const rdxbench::LoggedRequest& r : run.newRequests()) {
            if (r.kind == "data")
                dataMs = r.ms;
            if (r.kind != "open")
                continue;
            if (dataMs >= 0 && r.ms - dataMs >= 900)
                timeoutMs.push_back(r.ms - dataMs);
            dataMs = -1;
            if (r.text == "01")
                firstOpens.push_back(r.ms);
        }
        for (std::size_t i = 2; i < firstOpens.size(); ++i)
            cycleMs.push_back(firstOpens[i] - firstOpens[i - 1]);
        exitStatus = run.stop();
    } catch (const std::exception& e) {
        std::cerr << "bench-logging: " << e.what() << "\n";
        return 1;
    }
    if (rows.empty()) {
        std::cerr << "bench-logging: no log rows were written\n";
        return 1;
    }
    if (startSecond < 0)
        startSecond = (rows.front().second + kDay - 1) % kDay;

    // Walk the due grid the way the program keeps it.
    int due = (startSecond + 1) % kDay;
    int onTime = 0, late = 0, missing = 0, malformed = 0, early = 0, worstLateS = 0;
    double worstDelayMs = 0;
    std::map<int, int> lateBy;
    std::array<int, 5> delayHistogram{};  // per 250 ms from the due second's start
    std::vector<std::string> lateRows;
    for (const Row& row : rows) {
        if (row.second < 0) {
            ++malformed;
            continue;
        }
        const int behind = secondsBetween(due, row.second);
        if (behind < 0) {
            ++early;  // a row before its due second: never expected
            continue;
        }
        double delayMs = row.seenMsOfDay - due * 1000.0;
        if (delayMs < -kDay * 500.0)
            delayMs += kDay * 1000.0;
        worstDelayMs = std::max(worstDelayMs, delayMs);
        ++delayHistogram[std::min(4, static_cast<int>(delayMs / 250))];
        if (behind == 0) {
            ++onTime;
        } else {
            if (late < 20)
                lateRows.push_back(clockText(row.second) + " for " + clockText(due) + ", in the file "
                                   + std::to_string(static_cast<int>(delayMs)) + " ms after its due second began");
            ++late;
            ++lateBy[behind];
            missing += behind;
            worstLateS = std::max(worstLateS, behind);
        }
        due = (row.second + 1) % kDay;
    }
    const int dueSeconds = onTime + late + missing;
    std::printf("recorders %d at 9600 bit/s, slow %s, short %s, %d s run, log %s\n", recorders, slow.c_str(),
                shortReplies.c_str(), seconds, fs::path(csvName).filename().c_str());
    std::printf("due seconds %d, rows %d: on time %d (%.2f %%), late %d, seconds without a row %d\n", dueSeconds,
                static_cast<int>(rows.size()), onTime, dueSeconds ? 100.0 * onTime / dueSeconds : 0.0, late, missing);
    const std::string cycleText = cycleMs.empty()
        ? "n/a (run too short)"
        : std::to_string(rdxbench::median(cycleMs) / 1000.0).substr(0, 5) + " s";
    std::printf("load: poll cycle %s (median after the start-up pass), %d exchanges given up at the time-out "
                "(median %.0f ms from data request to the next open command)\n",
                cycleText.c_str(), static_cast<int>(timeoutMs.size()), rdxbench::median(timeoutMs));
    for (const auto& [seconds, count] : lateBy)
        std::printf("  late by %d s: %d rows\n", seconds, count);
    for (const std::string& text : lateRows)
        std::printf("  row %s\n", text.c_str());
    std::printf("worst delay: %d s by the time field, %.0f ms from the due second's start to the row in the file\n",
                worstLateS, worstDelayMs);
    std::printf("rows in the file after the due second's start: <250 ms %d, <500 ms %d, <750 ms %d, "
                "<1000 ms %d, later %d\n",
                delayHistogram[0], delayHistogram[1], delayHistogram[2], delayHistogram[3], delayHistogram[4]);
    if (malformed || early)
        std::printf("rows with a bad time field %d, rows before their due second %d\n", malformed, early);
    std::printf("exit status after SIGTERM: %d\n", exitStatus);
    const bool met = dueSeconds > 0 && onTime == dueSeconds && malformed == 0 && early == 0 && exitStatus == 0;
    std::printf("target (every due second's row within 1 s): %s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
