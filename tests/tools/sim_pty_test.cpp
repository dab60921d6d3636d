// rdx512-sim on a real pseudo-terminal, talked to by a plain termios client.
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "SimProcess.h"

namespace {

using namespace std::chrono_literals;
const std::string kSim = RDX_PROGRAM_DIR "/rdx512-sim";

// A client that opens the port raw and reads with a deadline.
class Client {
public:
    explicit Client(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void send(const std::string& text) { ASSERT_EQ(::write(fd_, text.data(), text.size()), ssize_t(text.size())); }
    // Reads until `lines` line ends have arrived or the wait is over.
    std::string readLines(std::size_t lines, std::chrono::milliseconds wait = 3s) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::size_t ends = 0;
        while (ends < lines && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                got += buffer[i];
                if (got.size() >= 2 && got.ends_with("\r\n")) ++ends;
            }
        }
        return got;
    }

private:
    int fd_ = -1;
};

const std::string kRequest = "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n";

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds wait = 3s) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

TEST(SimulatorOnPty, AnswersLogsAndOutlivesItsClients) {
    const std::string log = std::filesystem::temp_directory_path() / ("rdxsim-log-" + std::to_string(getpid()));
    std::filesystem::remove(log);
    rdxsim::SimProcess sim(kSim, {"--addresses", "1-12", "--log", log});
    ASSERT_TRUE(std::filesystem::is_symlink(sim.linkPath()));
    EXPECT_EQ(readFile(sim.folder() + "/ready").substr(0, sim.linkPath().size()), sim.linkPath());
    for (int round = 0; round < 2; ++round) {  // the second client finds it as well
        Client client(sim.linkPath());
        ASSERT_TRUE(client.ok());
        const auto start = std::chrono::steady_clock::now();
        client.send(kRequest);
        const std::string reply = client.readLines(8);
        const auto took = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(reply.size(), 256u) << reply;
        EXPECT_EQ(reply.substr(0, 6), "I05!00");
        // 283 characters at 9600 bit/s need 295 ms on the line.
        EXPECT_GE(took, 280ms);
        EXPECT_LT(took, 1000ms);
        client.send("\x1b" "C 05\r\n");
    }
    EXPECT_TRUE(waitFor([&] { return readFile(log).find("close 05") != std::string::npos; }));
    const std::string logged = readFile(log);
    EXPECT_NE(logged.find("open 05"), std::string::npos);
    EXPECT_NE(logged.find("data 06"), std::string::npos);
    // SIGTERM: a clean exit that removes the link.
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(sim.linkPath()));
    std::filesystem::remove(log);
}

TEST(SimulatorOnPty, VanishesAndComesBackOnANewDevice) {
    rdxsim::SimProcess sim(kSim, {"--vanish-after", "0.3", "--return-after", "0.4"});
    const std::string device = std::filesystem::read_symlink(sim.linkPath());
    Client client(sim.linkPath());
    ASSERT_TRUE(client.ok());
    // The client's line is gone: it sees the hang-up. The link stays, as
    // the link to an unplugged adapter does, so nobody falls back to
    // another device meanwhile.
    pollfd p{client.fd(), POLLIN, 0};
    EXPECT_TRUE(waitFor([&] { return poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0; }));
    EXPECT_TRUE(std::filesystem::is_symlink(sim.linkPath()));
    EXPECT_TRUE(waitFor([&] { return std::filesystem::read_symlink(sim.linkPath()) != device; }));
    Client again(sim.linkPath());
    ASSERT_TRUE(again.ok());
    again.send(kRequest);
    EXPECT_EQ(again.readLines(8).size(), 256u);
}

TEST(SimulatorOnPty, RefusesBadOptionsWithAMessage) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 2);
        execl(kSim.c_str(), kSim.c_str(), "--addresses", "9-3", nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(message.find("9-3"), std::string::npos);
    EXPECT_NE(message.find("usage"), std::string::npos);
}

}  // namespace
