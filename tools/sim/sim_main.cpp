// rdx512-sim: a line of RDX-512 recorders on a pseudo-terminal.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <unistd.h>

#include "PtyLine.h"
#include "Simulator.h"
#include "ToolOptions.h"
#include "startup/FilesFolder.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
// How often a pty without a client is looked at again.
constexpr std::int64_t kClientCheckUs = 2000;
// How often a pty without a client is freed of exclusive use left behind.
constexpr std::int64_t kReleaseCheckUs = 200'000;

void onSignal(int)
{
    gStop = 1;
}

std::int64_t monotonicUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Local time of day minus the monotonic clock, in milliseconds.
std::int64_t wallOffsetMs()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::int64_t localMs = (static_cast<std::int64_t>(now) + local.tm_gmtoff) * 1000;
    return localMs - monotonicUs() / 1000;
}

void announce(const rdxsim::PtyLine& line, const rdxsim::SimConfig& config)
{
    std::cout << "rdx512-sim: device " << line.devicePath() << ", link " << line.linkPath() << ", "
              << config.addresses.size() << " recorders at " << config.baud << " bit/s" << std::endl;
    if (!config.readyFile.empty()) {
        std::ofstream ready(config.readyFile, std::ios::trunc);
        ready << line.linkPath() << '\n' << line.devicePath() << '\n';
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(argc, argv, "rdx512-sim", rdxsim::usageText()))
        return 0;
    rdxsim::SimConfig config;
    try {
        config = rdxsim::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "rdx512-sim: " << e.what() << "\n" << rdxsim::usageText();
        return 2;
    }
    std::ofstream log;
    if (!config.logPath.empty()) {
        log.open(config.logPath, std::ios::app);
        if (!log) {
            std::cerr << "rdx512-sim: cannot write the log " << config.logPath << "\n";
            return 1;
        }
    }

    // The signals are taken only while waiting in ppoll, so none is lost
    // between a check of gStop and the wait.
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Without --dir the link goes where the monitor looks for it: beside
    // the program when its folder can be written, else the user's folder.
    if (config.dir.empty()) {
        config.dir = rdxfiles::filesFolder(std::filesystem::read_symlink("/proc/self/exe").parent_path().string(),
                                           rdxfiles::Environment::current());
        std::string reason;
        if (!rdxfiles::makeFolder(config.dir, &reason)) {
            std::cerr << "rdx512-sim: no folder for the link: " << reason << "\n";
            return 1;
        }
    }
    const std::string linkPath = (std::filesystem::absolute(config.dir) / config.portName).lexically_normal().string();
    rdxsim::PtyLine line;
    try {
        line.open(linkPath);
    } catch (const std::runtime_error& e) {
        std::cerr << "rdx512-sim: " << e.what() << "\n";
        return 1;
    }
    std::ofstream sentLog;
    if (!config.sentLogPath.empty()) {
        sentLog.open(config.sentLogPath, std::ios::app);
        if (!sentLog) {
            std::cerr << "rdx512-sim: cannot write the log " << config.sentLogPath << "\n";
            return 1;
        }
    }
    const std::int64_t wallMs = wallOffsetMs();
    rdxsim::Simulator sim(config, wallMs);
    const std::int64_t startUs = monotonicUs();
    sim.setStartUs(startUs);
    constexpr std::int64_t kNever = -1;
    std::int64_t vanishAt = kNever, returnAt = kNever;
    if (config.vanishAfterS >= 0)
        vanishAt = startUs + std::int64_t(config.vanishAfterS * 1e6);
    announce(line, config);

    std::string pending;  // paced bytes the pty has not taken yet
    bool noClient = false;  // the last look found no client on the device
    std::int64_t releaseCheckUs = 0;  // when exclusive use left behind is looked for next
    while (!gStop) {
        std::int64_t now = monotonicUs();
        if (vanishAt != kNever && now >= vanishAt) {
            vanishAt = kNever;
            line.close(/*keepLink=*/true);
            sim.reset();
            pending.clear();
            std::cout << "rdx512-sim: port removed" << std::endl;
            if (config.returnAfterS >= 0)
                returnAt = now + std::int64_t(config.returnAfterS * 1e6);
        }
        if (returnAt != kNever && now >= returnAt) {
            returnAt = kNever;
            try {
                line.open(linkPath);
            } catch (const std::runtime_error& e) {
                std::cerr << "rdx512-sim: " << e.what() << "\n";
                return 1;
            }
            announce(line, config);
        }

        // Sleep until the next character is due, an event, or a request.
        // Without a client the pty reports a hang-up at once, so it is then
        // looked at again every few milliseconds instead.
        std::int64_t wakeUs = now + 1'000'000;
        if (auto due = sim.nextTransmitUs())
            wakeUs = std::min(wakeUs, *due);
        const bool stuck = !pending.empty() && !sim.nextTransmitUs();  // the pty was full
        if (noClient || stuck)
            wakeUs = std::min(wakeUs, now + kClientCheckUs);
        if (vanishAt != kNever)
            wakeUs = std::min(wakeUs, vanishAt);
        if (returnAt != kNever)
            wakeUs = std::min(wakeUs, returnAt);
        const std::int64_t waitUs = std::max<std::int64_t>(0, wakeUs - now);
        const timespec timeout{static_cast<time_t>(waitUs / 1'000'000), static_cast<long>(waitUs % 1'000'000) * 1000};
        pollfd fds{line.isOpen() && !noClient ? line.fd() : -1, POLLIN, 0};
        const int ready = ppoll(&fds, 1, &timeout, &waiting);
        if (ready < 0 && errno != EINTR) {
            std::cerr << "rdx512-sim: poll failed: " << std::strerror(errno) << "\n";
            break;
        }
        now = monotonicUs();
        noClient = ready > 0 && (fds.revents & POLLHUP) && !(fds.revents & POLLIN);
        if (noClient && now >= releaseCheckUs) {
            // No client: whatever exclusive use the last one left behind must
            // not lock the next one out.
            releaseCheckUs = now + kReleaseCheckUs;
            try {
                if (line.releaseExclusiveUse()) {
                    sim.reset();
                    pending.clear();
                    std::cout << "rdx512-sim: a client that ended left the pseudo-terminal in exclusive use; "
                                 "moved to a new one"
                              << std::endl;
                    announce(line, config);
                }
            } catch (const std::runtime_error& e) {
                std::cerr << "rdx512-sim: " << e.what() << "\n";
                return 1;
            }
        }
        if (ready > 0 && (fds.revents & POLLIN)) {
            char buffer[512];
            const ssize_t n = read(line.fd(), buffer, sizeof buffer);
            if (n > 0) {
                for (const rdxsim::Request& r : sim.receive(std::string_view(buffer, n), now)) {
                    if (log.is_open())
                        log << (now - startUs) / 1000 << ' ' << r.describe() << std::endl;
                    if (sentLog.is_open() && r.kind == rdxsim::Request::Kind::Open)
                        sentLog << wallMs + now / 1000 << ' ' << r.describe() << '\n';
                }
                for (const rdxsim::SentReply& reply : sim.takeSent()) {
                    if (!sentLog.is_open())
                        continue;
                    sentLog << wallMs + reply.endUs / 1000 << " reply " << reply.address;
                    for (const std::string& field : reply.fields)
                        sentLog << ' ' << field;
                    sentLog << std::endl;
                }
            }
        }
        pending += sim.transmit(now);
        if (line.isOpen() && rdxsim::fifoReady(pending.size(), sim.nextTransmitUs(), now, config.baud, config.fifo)) {
            const ssize_t n = write(line.fd(), pending.data(), pending.size());
            if (n > 0)
                pending.erase(0, static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN)
                pending.clear();  // the client has gone
        }
    }
    line.close();
    // A port that vanished and did not come back left its link behind.
    std::error_code ignored;
    if (std::filesystem::is_symlink(linkPath, ignored))
        std::filesystem::remove(linkPath, ignored);
    std::cout << "rdx512-sim: stopped" << std::endl;
    return 0;
}
