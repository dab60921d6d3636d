// bench-trust: is every value the monitor logs or publishes a reading that
// recorder sent, and current when it says so?
//
//   bench-trust [--minutes N]
//
// The window program and the logging service each poll a line of 31
// simulated recorders at 9600 bit/s (a simulator each, characters handed
// over in bursts of 16 as a USB adapter does), log every second in
// "Default file" mode and publish to a mosquitto broker on loopback. The
// lines carry a fault mix: a line too many, a whole reply after the time-out,
// a stray line before the reply, garbage in the identity lines, the rest of
// the reply after the time-out, a silent recorder, noise ending in CR LF
// after the reply, and one recorder that stops answering halfway; three
// quarters through, the simulators stall for 3 s and then send their backlog.
//
// Each simulator writes down every reply it sent (recorder, the time its last
// character went out, the six value fields) and every exchange it was asked
// for. Afterwards every CSV field and every published value is checked
// against that:
//   - a logged value must be a field of the reply of its own recorder's
//     latest exchange before the row (or of the one before, when the latest
//     ended within a second of the row's time);
//   - a value published as current must be a field of its recorder's reply
//     that ended in the 1.5 s before the time the message gives.
// A value that is an older reply of the same recorder counts as stale
// logged or published as current; any other value as under the wrong
// recorder. Healthy recorders' polls read: current messages of each healthy
// recorder against the exchanges it was asked for.
// Last, bench-monitor measures the healthy line's cycle (31 at 9600).
// Targets: no value under the wrong recorder, no stale value as current,
// healthy recorders read in at least 90 % of their polls.
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "ToolOptions.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRecorders = 31;
constexpr double kDayMs = 86'400'000;

// The fault mix, as simulator options; every other recorder is healthy.
const std::vector<std::pair<std::string, std::set<int>>> kFaults = {
    {"--extra", {4, 17}}, {"--late", {7}},    {"--stray", {10}},      {"--garbage", {13}},
    {"--slow", {20}},     {"--silent", {23}}, {"--noise-line", {26}}, {"--quits", {29}},
};

bool healthy(int address)
{
    return std::none_of(kFaults.begin(), kFaults.end(), [&](const auto& f) { return f.second.contains(address); });
}

std::string listText(const std::set<int>& addresses)
{
    std::string text;
    for (int a : addresses)
        text += (text.empty() ? "" : ",") + std::to_string(a);
    return text;
}

pid_t spawn(std::vector<std::string> args, const std::string& output = {})
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

void stopProcess(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// One exchange a simulator was asked for, and its reply if it sent one.
struct Exchange {
    double openMs = 0;  // local wall-clock ms
    double endMs = -1;  // the reply's last character; -1: no reply
    std::vector<std::string> fields;
    // When the program was done with it: the reply taken, or given up.
    double doneMs() const { return endMs >= 0 ? endMs + 100 : openMs + 1600; }
};

std::map<int, std::vector<Exchange>> readSent(const std::string& path)
{
    std::map<int, std::vector<Exchange>> byAddress;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        double ms = 0;
        std::string kind;
        int address = 0;
        words >> ms >> kind >> address;
        if (kind == "open") {
            byAddress[address].push_back({ms, -1, {}});
        } else if (kind == "reply" && !byAddress[address].empty()) {
            Exchange& e = byAddress[address].back();
            e.endMs = ms;
            for (std::string f; words >> f;)
                e.fields.push_back(f);
        }
    }
    return byAddress;
}

bool same(const std::string& logged, const std::string& sent)
{
    if (sent == "S" || logged.empty())
        return false;
    try {
        return static_cast<float>(std::stod(logged)) == static_cast<float>(std::stod(sent));
    } catch (const std::exception&) {
        return false;
    }
}

struct Tally {
    long checked = 0, wrongRecorder = 0, staleAsCurrent = 0;
    std::vector<std::string> examples;
    void fault(long& count, const std::string& what)
    {
        ++count;
        if (examples.size() < 5)
            examples.push_back(what);
    }
};

// A value of recorder address, channel c (0-5), at atMs; accepted are the
// exchanges the program may have had as its latest then.
void check(Tally& tally, const std::map<int, std::vector<Exchange>>& sent, int address, int c, const std::string& value,
           double fromMs, double toMs, const std::string& where)
{
    ++tally.checked;
    const auto it = sent.find(address);
    const std::vector<Exchange> none;
    const std::vector<Exchange>& mine = it == sent.end() ? none : it->second;
    bool older = false;
    for (const Exchange& e : mine) {
        if (e.endMs < 0 || static_cast<std::size_t>(c) >= e.fields.size() || !same(value, e.fields[c]))
            continue;
        if (e.doneMs() >= fromMs && e.endMs <= toMs)
            return;  // its own, current
        older = older || e.endMs < fromMs;
    }
    const std::string what
        = where + " recorder " + std::to_string(address) + " channel " + std::to_string(c + 1) + " value " + value;
    tally.fault(older ? tally.staleAsCurrent : tally.wrongRecorder, what);
}

// "h:m:s AM/PM" -> seconds after midnight, or -1.
int rowSecond(const std::string& field)
{
    static const std::regex time("^\"(\\d{1,2}):(\\d{1,2}):(\\d{1,2}) (AM|PM)\"$");
    std::smatch m;
    if (!std::regex_match(field, m, time))
        return -1;
    const int hour = std::stoi(m[1]) % 12 + (m[4] == "PM" ? 12 : 0);
    return (hour * 60 + std::stoi(m[2])) * 60 + std::stoi(m[3]);
}

std::vector<std::string> split(const std::string& text, char by)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, by))
        parts.push_back(part);
    if (!text.empty() && text.back() == by)
        parts.emplace_back();
    return parts;
}

// Every field of every row of the CSV logs in folder.
void checkLog(Tally& tally, const std::map<int, std::vector<Exchange>>& sent, const std::string& folder, double firstMs)
{
    const double dayStartMs = std::floor(firstMs / kDayMs) * kDayMs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".csv")
            continue;
        std::ifstream in(entry.path());
        std::string line;
        for (int n = 0; std::getline(in, line); ++n) {
            if (n < 2)
                continue;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::vector<std::string> fields = split(line, ',');
            const int second = fields.empty() ? -1 : rowSecond(fields[0]);
            if (second < 0 || fields.size() != 1 + kRecorders * 6u) {
                tally.fault(tally.wrongRecorder, "a row that is not whole: " + line);
                continue;
            }
            double rowMs = dayStartMs + second * 1000.0;
            if (rowMs < firstMs - kDayMs / 2)
                rowMs += kDayMs;  // past midnight
            // The latest exchange done by the row's write (at most a second
            // late), or the one before when that ended within the second.
            for (int k = 0; k < kRecorders * 6; ++k) {
                const std::string& value = fields[1 + static_cast<std::size_t>(k)];
                if (value.empty())
                    continue;
                const int address = k / 6 + 1;
                double fromMs = -1;
                const auto it = sent.find(address);
                if (it != sent.end()) {
                    for (const Exchange& e : it->second)
                        if (e.doneMs() <= rowMs - 1000)
                            fromMs = e.doneMs();
                }
                check(tally, sent, address, k % 6, value, fromMs, rowMs + 1000, "log " + fields[0]);
            }
        }
    }
}

// "2026-12-07T03:04:05.120+01:00" -> local wall-clock ms.
double localMs(const std::string& iso)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%d.%d", &y, &mo, &d, &h, &mi, &s, &ms) != 7)
        return -1;
    const auto days = std::chrono::sys_days(std::chrono::year(y) / mo / d).time_since_epoch().count();
    return static_cast<double>(days) * kDayMs + ((h * 60.0 + mi) * 60 + s) * 1000 + ms;
}

struct Published {
    Tally tally;
    std::map<int, std::set<double>> currentReplies;  // by address: the reply times published as current
};

// Every message of the subscriber's output for the line.
Published checkBroker(const std::map<int, std::vector<Exchange>>& sent, const std::string& path,
                      const std::string& line)
{
    Published result;
    static const std::regex message("^rdx512/(\\w+)/(\\d\\d)/(\\d) "
                                    "\\{\"value\":([^,]+),\"name\":.*\"time\":\"([^\"]+)\",\"stale\":(true|false)\\}$");
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text)) {
        std::smatch m;
        if (!std::regex_match(text, m, message) || m[1] != line)
            continue;
        if (m[6] == "true" || m[4] == "null")
            continue;  // said to be no reading, or stale
        const int address = std::stoi(m[2]);
        const double atMs = localMs(m[5]);
        check(result.tally, sent, address, std::stoi(m[3]) - 1, m[4], atMs - 1500, atMs + 50, "broker " + m[5].str());
        result.currentReplies[address].insert(atMs);
    }
    return result;
}

void print(const char* what, const Tally& t)
{
    std::printf("%-22s %10ld %18ld %20ld\n", what, t.checked, t.wrongRecorder, t.staleAsCurrent);
    for (const std::string& e : t.examples)
        std::printf("    e.g. %s\n", e.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-trust",
            "usage: bench-trust [--minutes N]\nEvery logged and published value of the window program and the service "
            "against what the\nsimulator sent: values under the wrong recorder, stale values given as current.\n"))
        return 0;
    double minutes = 5;
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--minutes")
                minutes = std::max(1.0, std::stod(value));
            else
                return false;
            return true;
        });
    } catch (const std::exception& e) {
        std::cerr << "bench-trust: " << e.what() << "\nusage: bench-trust [--minutes N]\n";
        return 2;
    }
    const std::string binDir = rdxbench::binFolder();
    const std::string work = (fs::temp_directory_path() / ("bench-trust-" + std::to_string(getpid()))).string();
    fs::create_directories(work);
    const int port = freePort();
    pid_t broker = -1, subscriber = -1;
    bool met = true;
    try {
        broker = spawn({"mosquitto", "-p", std::to_string(port)}, "/dev/null");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::string messages = work + "/messages.txt";
        subscriber
            = spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-v", "-t", "rdx512/#"}, messages);

        struct Line {
            std::string name, program, sentLog;
            std::unique_ptr<rdxbench::MonitorRun> run;
        };
        std::vector<Line> lines(2);
        lines[0].name = "window", lines[0].program = "RDXMON-1_V104", lines[0].sentLog = work + "/window-sent.log";
        lines[1].name = "service", lines[1].program = "rdx512-logd", lines[1].sentLog = work + "/service-sent.log";
        for (Line& l : lines) {
            rdxbench::RunSetup setup;
            setup.recorders = kRecorders;
            setup.logging = true;
            setup.program = l.program;
            setup.simOptions = {"--fifo", "16", "--sent-log", l.sentLog, "--quit-after", std::to_string(minutes * 30)};
            for (const auto& [option, addresses] : kFaults) {
                setup.simOptions.push_back(option);
                setup.simOptions.push_back(listText(addresses));
            }
            setup.files = {{"rdx512.conf", "host=127.0.0.1\nport=" + std::to_string(port) + "\nline=" + l.name + "\n"}};
            l.run = std::make_unique<rdxbench::MonitorRun>(binDir, setup);
        }
        std::printf("bench-trust: %s and %s polling 31 recorders each for %.1f min\n", lines[0].program.c_str(),
                    lines[1].program.c_str(), minutes);
        std::fflush(stdout);
        // Three quarters through, the recorders' side stalls for 3 s and then
        // sends everything it owes at once (a backlog).
        const double start = rdxbench::steadyMs(), end = start + minutes * 60'000;
        bool stalled = false;
        while (rdxbench::steadyMs() < end) {
            for (Line& l : lines)
                if (!l.run->running())
                    throw std::runtime_error(l.program + " ended early");
            if (!stalled && rdxbench::steadyMs() > start + minutes * 45'000) {
                stalled = true;
                for (Line& l : lines)
                    kill(l.run->simulatorPid(), SIGSTOP);
                std::this_thread::sleep_for(std::chrono::seconds(3));
                for (Line& l : lines)
                    kill(l.run->simulatorPid(), SIGCONT);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }

        std::printf("%-22s %10s %18s %20s\n", "", "values", "wrong recorder", "stale as current");
        long wrong = 0, stale = 0;
        double worstShare = 1, sumRead = 0, sumPolls = 0;
        for (Line& l : lines) {
            const int status = l.run->stop(10'000);
            const std::map<int, std::vector<Exchange>> sent = readSent(l.sentLog);
            double firstMs = 1e300;
            for (const auto& [address, exchanges] : sent)
                if (!exchanges.empty())
                    firstMs = std::min(firstMs, exchanges.front().openMs);
            Tally log;
            checkLog(log, sent, l.run->folder(), firstMs);
            const Published published = checkBroker(sent, messages, l.name);
            print((l.name + " CSV").c_str(), log);
            print((l.name + " broker").c_str(), published.tally);
            wrong += log.wrongRecorder + published.tally.wrongRecorder;
            stale += log.staleAsCurrent + published.tally.staleAsCurrent;
            if (log.checked == 0 || published.tally.checked == 0)
                met = false;
            for (int address = 1; address <= kRecorders; ++address) {
                if (!healthy(address) || !sent.contains(address))
                    continue;
                const auto polls = static_cast<double>(sent.at(address).size());
                const auto read = static_cast<double>(
                    published.currentReplies.contains(address) ? published.currentReplies.at(address).size() : 0);
                worstShare = std::min(worstShare, read / polls);
                sumRead += read, sumPolls += polls;
            }
            std::printf("%s: exit status %d\n", l.program.c_str(), status);
            if (status != 0)
                met = false;
        }
        std::printf("healthy recorders' polls read: %.1f %% overall, %.1f %% for the worst one\n",
                    100 * sumRead / sumPolls, 100 * worstShare);
        if (wrong != 0 || stale != 0 || worstShare < 0.9)
            met = false;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench-trust: %s\n", e.what());
        met = false;
    }
    stopProcess(subscriber);
    stopProcess(broker);
    fs::remove_all(work);

    // The healthy line's cycle, by the benchmark made for it.
    std::fflush(stdout);
    const pid_t cycle = spawn({binDir + "/bench-monitor", "--cycles", "3", "--configs", "31@9600"});
    int status = 0;
    waitpid(cycle, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        met = false;
    std::printf("targets (no value under the wrong recorder, no stale value as current, healthy recorders read in "
                "90 %% of their polls, bench-monitor's): %s\n",
                met ? "met" : "MISSED");
    return met ? 0 : 1;
}
