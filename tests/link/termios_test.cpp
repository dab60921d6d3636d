// The termios serial control on real pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "rdx5Comm3.h"

namespace {

namespace fs = std::filesystem;

// One pseudo-terminal; the control opens its device side.
struct Pty {
    Pty()
    {
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = name;
        // The link opens the device on its own; this program keeps only the
        // recorder's side.
        ::close(slave);
        slave = -1;
    }
    ~Pty() { closeMaster(); }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void send(const std::string& bytes) const
    {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads what the link wrote, waiting at most a second for it.
    std::string receive(std::size_t expected) const
    {
        std::string text;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (text.size() < expected && std::chrono::steady_clock::now() < giveUp) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                if (n > 0)
                    text.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return text;
    }

    int master = -1;
    int slave = -1;
    std::string path;
};

std::unique_ptr<rdx::SerialControl> controlOn(const std::string& path)
{
    return rdx::makeTermiosControl([path](int) { return path; });
}

template <typename F>
rdx::LinkError errorOf(F&& call)
{
    try {
        call();
    } catch (const rdx::LinkError& e) {
        return e;
    }
    return rdx::LinkError(0, "no error");
}

// Polls the condition for up to two seconds.
template <typename F>
bool eventually(F&& condition)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp)
            return false;
        ::usleep(2000);
    }
    return true;
}

TEST(TermiosControl, BytesTravelBothWays)
{
    Pty pty;
    auto control = controlOn(pty.path);
    EXPECT_EQ(control->commPort(), 1);
    EXPECT_EQ(control->commId(), -1);
    control->setSettings("9600,E,7,1");
    control->setHandshaking(0);
    control->setPortOpen(true);
    ASSERT_TRUE(control->portOpen());
    EXPECT_GE(control->commId(), 0);
    EXPECT_TRUE(control->ctsHolding());  // no modem lines on a pseudo-terminal
    EXPECT_EQ(control->outBufferCount(), 0);

    control->output("\x1bO 05\r\n");
    EXPECT_EQ(pty.receive(7), "\x1bO 05\r\n");

    EXPECT_EQ(control->inBufferCount(), 0);
    EXPECT_EQ(control->input(), "");
    pty.send("ABCDE");
    ASSERT_TRUE(eventually([&] { return control->inBufferCount() == 5; }));
    control->setInputLen(1);
    EXPECT_EQ(control->input(), "A");
    EXPECT_EQ(control->inBufferCount(), 4);
    control->setInputLen(0);
    EXPECT_EQ(control->input(), "BCDE");

    // waitForInput returns when a byte comes, or after its time-out.
    const auto start = std::chrono::steady_clock::now();
    control->waitForInput(50);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    pty.send("Z");
    control->waitForInput(2000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(control->inBufferCount(), 1);
    control->clearInBuffer();
    EXPECT_EQ(control->inBufferCount(), 0);

    // Settings change on the open port; refused ones leave it working.
    control->setSettings("19200,N,8,2");
    control->setHandshaking(3);
    EXPECT_EQ(control->handshaking(), 3);
    EXPECT_EQ(errorOf([&] { control->setSettings("9600,X,7,1"); }).number(), rdx::kErrSettingsRefused);
    EXPECT_EQ(errorOf([&] { control->setSettings("1234,E,7,1"); }).number(), rdx::kErrSettingsRefused);
    EXPECT_EQ(errorOf([&] { control->setSettings("9600,E,7"); }).number(), rdx::kErrSettingsRefused);
    EXPECT_EQ(errorOf([&] { control->setHandshaking(4); }).number(), rdx::kErrSettingsRefused);
    EXPECT_EQ(control->handshaking(), 3);

    EXPECT_EQ(errorOf([&] { control->setCommPort(2); }).number(), rdx::kErrWhileOpen);
    control->setPortOpen(false);
    EXPECT_FALSE(control->portOpen());
    EXPECT_EQ(control->commId(), -1);
    control->setCommPort(2);
    EXPECT_EQ(control->commPort(), 2);
}

TEST(TermiosControl, StoredValuesAndClosedPort)
{
    auto control = controlOn("/nonexistent/COM1");
    control->setInBufferSize(2048);
    control->setOutBufferSize(-5);
    control->setRThreshold(4);
    EXPECT_EQ(control->inBufferSize(), 2048);
    EXPECT_EQ(control->outBufferSize(), -5);
    EXPECT_EQ(control->rThreshold(), 4);

    EXPECT_EQ(errorOf([&] { control->inBufferCount(); }).number(), rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { control->output("x"); }).number(), rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { control->input(); }).number(), rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { control->ctsHolding(); }).number(), rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { control->waitForInput(1); }).number(), rdx::kErrNotOpen);

    const rdx::LinkError missing = errorOf([&] { control->setPortOpen(true); });
    EXPECT_EQ(missing.number(), rdx::kErrNoDevice);
    EXPECT_THAT(missing.description(), ::testing::HasSubstr("/nonexistent/COM1"));
    EXPECT_THAT(missing.description(), ::testing::HasSubstr("No such file or directory"));
    EXPECT_FALSE(control->portOpen());

    // A file that is no serial device.
    const fs::path plain = fs::temp_directory_path() / ("rdx-plain-" + std::to_string(::getpid()));
    { std::ofstream(plain) << "x"; }
    auto onFile = controlOn(plain.string());
    EXPECT_EQ(errorOf([&] { onFile->setPortOpen(true); }).number(), rdx::kErrNoDevice);
    EXPECT_FALSE(onFile->portOpen());
    fs::remove(plain);
}

TEST(TermiosControl, PortIsExclusive)
{
    Pty pty;
    auto first = controlOn(pty.path);
    auto second = controlOn(pty.path);
    first->setPortOpen(true);
    const rdx::LinkError busy = errorOf([&] { second->setPortOpen(true); });
    EXPECT_EQ(busy.number(), rdx::kErrDeviceBusy);
    EXPECT_THAT(busy.description(), ::testing::HasSubstr(pty.path));
    EXPECT_FALSE(second->portOpen());
    EXPECT_EQ(errorOf([&] { first->setPortOpen(true); }).number(), rdx::kErrDeviceBusy);
    // Once the first lets go, the second gets the port.
    first->setPortOpen(false);
    second->setPortOpen(true);
    EXPECT_TRUE(second->portOpen());
}

TEST(TermiosControl, NoPermissionNamesTheFix)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root opens every device";
    const fs::path locked = fs::temp_directory_path() / ("rdx-locked-" + std::to_string(::getpid()));
    { std::ofstream(locked) << "x"; }
    fs::permissions(locked, fs::perms::none);
    auto control = controlOn(locked.string());
    const rdx::LinkError denied = errorOf([&] { control->setPortOpen(true); });
    fs::remove(locked);
    EXPECT_EQ(denied.number(), rdx::kErrPermission);
    EXPECT_THAT(denied.description(), ::testing::HasSubstr(locked.string()));
    EXPECT_THAT(denied.description(), ::testing::HasSubstr("\"dialout\""));
}

TEST(TermiosControl, LostLineIsReported)
{
    Pty pty;
    auto control = controlOn(pty.path);
    control->setPortOpen(true);
    pty.closeMaster();
    EXPECT_EQ(errorOf([&] { control->waitForInput(100); }).number(), rdx::kErrDeviceIo);
    const rdx::LinkError lost = errorOf([&] { control->input(); });
    EXPECT_EQ(lost.number(), rdx::kErrDeviceIo);
    EXPECT_THAT(lost.description(), ::testing::HasSubstr(pty.path));
    EXPECT_EQ(errorOf([&] { control->output("x"); }).number(), rdx::kErrDeviceIo);
    // The port can still be closed.
    control->setPortOpen(false);
    EXPECT_FALSE(control->portOpen());
}

TEST(TermiosControl, DevicePathsOfPortNumbers)
{
    // A link COMn in a folder of our own, opened through a resolver.
    Pty pty;
    const fs::path folder = fs::temp_directory_path() / ("rdx-com-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::create_symlink(pty.path, folder / "COM3");
    auto control = rdx::makeTermiosControl([&](int port) { return (folder / ("COM" + std::to_string(port))).string(); });
    control->setCommPort(3);
    control->setPortOpen(true);
    control->output("hi\r\n");
    EXPECT_EQ(pty.receive(4), "hi\r\n");
    control->setPortOpen(false);
    control->setCommPort(4);
    EXPECT_EQ(errorOf([&] { control->setPortOpen(true); }).number(), rdx::kErrNoDevice);
    fs::remove_all(folder);
}

TEST(TermiosControl, DefaultDeviceIsALinkBesideTheProgram)
{
    // A link COMn beside the running program, else /dev/ttyS<n-1>.
    const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
    if (::access(programFolder.c_str(), W_OK) != 0)
        GTEST_SKIP() << "the program folder is read-only";
    Pty pty;
    const fs::path link = programFolder / "COM7";
    fs::remove(link);
    EXPECT_EQ(rdx::defaultDevicePath(7), "/dev/ttyS6");
    EXPECT_EQ(rdx::defaultDevicePath(1), fs::exists(fs::symlink_status(programFolder / "COM1"))
                                             ? (programFolder / "COM1").string()
                                             : "/dev/ttyS0");
    fs::create_symlink(pty.path, link);
    EXPECT_EQ(rdx::defaultDevicePath(7), link.string());
    auto beside = rdx::makeTermiosControl();
    beside->setCommPort(7);
    beside->setPortOpen(true);
    beside->output("ok");
    EXPECT_EQ(pty.receive(2), "ok");
    beside->setPortOpen(false);
    fs::remove(link);
}

double processCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(LinkOverPty, ExchangeWithARecorderOnTheOtherSide)
{
    Pty pty;
    rdx::rdx5Comm3 link(controlOn(pty.path), rdx::makeSystemTickCounter());
    link.TimeOut(300);
    ASSERT_TRUE(link.PortOpen());
    const std::string request = "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n";

    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "");
    EXPECT_EQ(pty.receive(request.size()), request);
    std::string reply;
    for (int i = 0; i < 8; ++i)
        reply += "LINE" + std::to_string(i) + "          +0012.5-01  \r\n";
    const std::string extra = "EXTRA\r\n";
    pty.send(reply + extra);
    std::string result;
    ASSERT_TRUE(eventually([&] { return !(result = link.RWcomm("05", "06", 1, "N")).empty(); }));
    EXPECT_EQ(result, reply);
    EXPECT_EQ(pty.receive(7), "\x1b" "C 05\r\n");
    EXPECT_EQ(link.inbcount(), static_cast<std::int16_t>(extra.size()));

    // The left-over line starts the next reply, which then never completes:
    // the step sleeps on the port until the time-out instead of spinning.
    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "");
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = processCpuSeconds();
    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "\x1b");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    EXPECT_LT(processCpuSeconds() - cpuBefore, 0.1);

    link.PortClose();
    EXPECT_EQ(link.CommID(), -1);
}

TEST(TickCounter, SystemCounterFollowsTheMonotonicClock)
{
    auto ticks = rdx::makeSystemTickCounter();
    const std::uint32_t before = ticks->now();
    ::usleep(20000);
    const std::uint32_t elapsed = ticks->now() - before;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 1000u);
}

}  // namespace
