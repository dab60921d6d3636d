// The link library against the simulator over a real pseudo-terminal,
// driven every 50 ms as the monitor drives it.
#include <array>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>

#include "SimProcess.h"
#include "rdx5Comm3.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
const std::string kSim = RDX_PROGRAM_DIR "/rdx512-sim";
const std::string kEsc = "\x1b";

std::unique_ptr<rdx::rdx5Comm3> openLink(const rdxsim::SimProcess& sim, const std::string& baud) {
    const std::string device = sim.linkPath();
    auto link = std::make_unique<rdx::rdx5Comm3>(
        rdx::makeTermiosControl([device](int) { return device; }), rdx::makeSystemTickCounter());
    link->TimeOut(1000);
    link->BaudRate(baud);
    link->Pality("Even");
    link->Flow("NONE");
    try {
        EXPECT_TRUE(link->PortOpen());
        link->SendBufClear();
        link->RecvBufClear();
    } catch (const rdx::LinkError& e) {
        ADD_FAILURE() << "PortOpen on " << device << ": " << e.what();
    }
    return link;
}

struct Result {
    std::string text;
    Clock::duration took;  // from the call that wrote the request
};

// Calls RWcomm every 50 ms until it returns something (at most 4 s).
Result exchange(rdx::rdx5Comm3& link, const std::string& address) {
    const std::int16_t tries = 1;
    const auto start = Clock::now();
    auto next = start;
    std::string text;
    while (text.empty() && Clock::now() - start < 4s) {
        text = link.RWcomm(address, "06", tries, "N");
        next += 50ms;
        if (text.empty()) std::this_thread::sleep_until(next);
    }
    return {text, Clock::now() - start};
}

std::vector<std::string> splitLines(const std::string& reply) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < reply.size();) {
        const std::size_t end = reply.find("\r\n", at);
        if (end == std::string::npos) break;
        lines.push_back(reply.substr(at, end + 2 - at));
        at = end + 2;
    }
    return lines;
}

TEST(LinkWithSimulator, FullExchangeAt9600And19200) {
    for (const std::string baud : {"9600", "19200"}) {
        SCOPED_TRACE(baud);
        rdxsim::SimProcess sim(kSim, {"--addresses", "1-12", "--baud", baud});
        auto link = openLink(sim, baud);
        for (const std::string address : {"05", "12"}) {
            const Result r = exchange(*link, address);
            const auto lines = splitLines(r.text);
            ASSERT_EQ(lines.size(), 8u) << r.text;
            EXPECT_EQ(lines[0].substr(0, 3), "I" + address);
            for (std::size_t i = 2; i < 8; ++i) {
                EXPECT_EQ(link->isDataNum(lines[i]), 5);
                EXPECT_EQ(lines[i][0], address == "05" && i == 7 ? 'S' : 'N');
            }
            EXPECT_EQ(link->OutputBuffer(), "\x1b" "C " + address + "\r\n");
            // The reply needs 256 characters on the line; with the 50 ms
            // ticks it is complete well inside the time-out.
            EXPECT_GE(r.took, std::chrono::milliseconds(256 * 10 * 1000 / std::stoi(baud)));
            EXPECT_LT(r.took, 900ms);
        }
        link->PortClose();
    }
}

TEST(LinkWithSimulator, SilentAndShortRepliesTimeOut) {
    rdxsim::SimProcess sim(kSim, {"--addresses", "1-12", "--silent", "3", "--short", "4"});
    auto link = openLink(sim, "9600");
    for (const std::string address : {"03", "04"}) {
        const Result r = exchange(*link, address);
        EXPECT_EQ(r.text, kEsc) << address;
        // The library counts whole milliseconds, so its second may end up
        // to a millisecond before ours.
        EXPECT_GE(r.took, 998ms);
        EXPECT_LT(r.took, 1300ms);
    }
    // A healthy recorder still answers afterwards.
    EXPECT_EQ(splitLines(exchange(*link, "05").text).size(), 8u);
}

TEST(LinkWithSimulator, ExtraLineIsCarriedIntoTheNextReply) {
    rdxsim::SimProcess sim(kSim, {"--addresses", "1-12", "--extra", "6"});
    auto link = openLink(sim, "9600");
    const auto first = splitLines(exchange(*link, "06").text);
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first[0].substr(0, 3), "I06");
    const auto second = splitLines(exchange(*link, "07").text);
    ASSERT_EQ(second.size(), 8u);
    EXPECT_EQ(second[0].substr(0, 6), "X06 08");  // the leftover comes first
    EXPECT_EQ(second[1].substr(0, 3), "I07");
    EXPECT_EQ(second[7].substr(0, 6), "N07 06");   // and the last channel is cut off
}

std::pair<int, std::string> runProgram(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
    const int status = pclose(pipe);
    return {WEXITSTATUS(status), output};
}

TEST(ExchangeProgram, PrintsTheReplyOrTheReason) {
    const auto run = [](const std::string& options) {
        rdxsim::SimProcess sim(kSim, {"--addresses", "1-3", "--silent", "2"});
        return runProgram(RDX_PROGRAM_DIR "/rdx-exchange --device " + sim.linkPath() + " " + options);
    };
    const auto [ok, reply] = run("--address 3");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(reply.substr(0, 6), "I03!00");
    EXPECT_EQ(std::count(reply.begin(), reply.end(), '\n'), 8);
    const auto [silent, message] = run("--address 2");
    EXPECT_EQ(silent, 1);
    EXPECT_NE(message.find("did not answer"), std::string::npos);
    const auto [missing, reason] = runProgram(RDX_PROGRAM_DIR "/rdx-exchange --device /nonexistent/COM9");
    EXPECT_EQ(missing, 1);
    EXPECT_NE(reason.find("/nonexistent/COM9"), std::string::npos);
}

// A monitor restarted against a running simulator opens the same device
// a second time.
TEST(LinkWithSimulator, PortOpensAgainAfterTheFirstClientLeft) {
    rdxsim::SimProcess sim(kSim, {"--addresses", "1-3"});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto link = openLink(sim, "9600");
        ASSERT_GE(link->CommID(), 0);
        EXPECT_EQ(splitLines(exchange(*link, "01").text).size(), 8u);
        link->PortClose();
    }
}

}  // namespace
