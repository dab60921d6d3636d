// rdx512-sim on its pseudo-terminal, asked by the link library every 50 ms
// as the monitor asks.
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "SimProcess.h"
#include "rdx5Comm3.h"

namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

TEST(SimulatorOnPty, AnswersTheLinkLogsTheRequestsAndLeavesCleanlyOnSigterm)
{
    const std::string log = std::filesystem::temp_directory_path() / ("rdxsim-log-" + std::to_string(getpid()));
    std::filesystem::remove(log);
    rdxsim::SimProcess sim(RDX_PROGRAM_DIR "/rdx512-sim", {"--addresses", "1-12", "--log", log});
    ASSERT_TRUE(std::filesystem::is_symlink(sim.linkPath()));
    const std::string device = sim.linkPath();
    rdx::rdx5Comm3 link(rdx::makeTermiosControl([device](int) { return device; }), rdx::makeSystemTickCounter());
    link.TimeOut(1000);
    link.BaudRate("9600");
    link.Pality("Even");
    link.Flow("NONE");
    ASSERT_TRUE(link.PortOpen());

    const auto start = std::chrono::steady_clock::now();
    std::string reply;
    for (auto next = start; reply.empty() && std::chrono::steady_clock::now() - start < 4s;) {
        reply = link.RWcomm("05", "06", 1, "N");
        next += 50ms;
        if (reply.empty())
            std::this_thread::sleep_until(next);
    }
    const auto took = std::chrono::steady_clock::now() - start;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = reply.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(reply.substr(at, end + 2 - at));
    ASSERT_EQ(lines.size(), 8u) << reply;
    EXPECT_EQ(lines[0].substr(0, 6), "I05!00");
    for (std::size_t i = 2; i < 8; ++i) {
        EXPECT_EQ(link.isDataNum(lines[i]), 5) << lines[i];
        EXPECT_EQ(lines[i][0], i == 7 ? 'S' : 'N');  // channel 6 of address 5 is skipped
    }
    EXPECT_EQ(link.OutputBuffer(),
              "\x1b"
              "C 05\r\n");
    // 256 characters at 9600 bit/s, then at most one 50 ms tick.
    EXPECT_GE(took, 266ms);
    EXPECT_LT(took, 900ms);
    link.PortClose();

    const auto logged = [&] { return readFile(log).find("close 05") != std::string::npos; };
    for (int i = 0; i < 300 && !logged(); ++i)
        std::this_thread::sleep_for(10ms);
    const std::string requests = readFile(log);
    for (const char* request : {"open 05", "ts0", "data 06", "close 05"})
        EXPECT_NE(requests.find(request), std::string::npos) << request << " not in\n" << requests;
    EXPECT_EQ(sim.stop(), 0);  // SIGTERM: a clean exit that removes the link
    EXPECT_FALSE(std::filesystem::exists(sim.linkPath()));
    std::filesystem::remove(log);
}

TEST(SimulatorOnPty, AClientThatEndedInExclusiveUseDoesNotLockTheNextOneOut)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody)
        GTEST_SKIP() << "needs root (root ignores exclusive use) and the user nobody";
    rdxsim::SimProcess sim(RDX_PROGRAM_DIR "/rdx512-sim", {"--addresses", "1"});
    const std::string device = std::filesystem::read_symlink(sim.linkPath());
    ASSERT_EQ(::chmod(device.c_str(), 0666), 0);
    // A client of another kind puts the device in exclusive use and ends
    // without taking it back; then it (or another) opens it again.
    const pid_t client = ::fork();
    if (client == 0) {
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            ::_exit(2);
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::ioctl(fd, TIOCEXCL) != 0)
            ::_exit(3);
        ::close(fd);
        for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(10ms))
            if (::open(device.c_str(), O_RDWR | O_NOCTTY) >= 0)
                ::_exit(0);
        ::_exit(1);  // refused for a second
    }
    int status = -1;
    ASSERT_EQ(::waitpid(client, &status, 0), client);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(sim.stop(), 0);
}

}  // namespace
