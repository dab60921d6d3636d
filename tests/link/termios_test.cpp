// The termios serial control and the link object on real devices:
// pseudo-terminals, links to them and, for root, /dev/ttyS0.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "link_p.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// One pseudo-terminal: the test keeps the recorder's side, the control opens
// the device side by its path.
struct Pty {
    Pty()
    {
        int slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        ::close(slave);
        path = name;
    }
    ~Pty() { ::close(master); }
    void send(const std::string& s) const { EXPECT_EQ(::write(master, s.data(), s.size()), ssize_t(s.size())); }
    // What the link wrote, waiting at most a second for it.
    std::string receive(std::size_t expected) const
    {
        std::string text;
        char buffer[256];
        pollfd p{master, POLLIN, 0};
        while (text.size() < expected && ::poll(&p, 1, 1000) > 0 && (p.revents & POLLIN) != 0)
            if (const ssize_t n = ::read(master, buffer, sizeof buffer); n > 0)
                text.append(buffer, std::size_t(n));
        return text;
    }
    int master = -1;
    std::string path;
};

std::unique_ptr<rdx::SerialControl> controlOn(const std::string& path)
{
    return rdx::makeTermiosControl([path](int) { return path; });
}

rdx::LinkError errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const rdx::LinkError& e) {
        return e;
    }
    return rdx::LinkError(0, "no error");
}

// A process of its own run as the user nobody with the primary group gid and
// the supplementary groups given (the groups its session began with).
struct AsNobody {
    pid_t pid = -1;
    int out = -1;
    // what's result comes back through result(); with stay the process waits
    // to be killed after it has run what (holding what it opened).
    AsNobody(gid_t gid, std::vector<gid_t> groups, const std::function<std::string()>& what, bool stay = false)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            const passwd* nobody = ::getpwnam("nobody");
            std::string text = "cannot become nobody";
            if (nobody && ::setgroups(groups.size(), groups.data()) == 0 && ::setgid(gid) == 0
                && ::setuid(nobody->pw_uid) == 0 && ::prctl(PR_SET_DUMPABLE, 1) == 0)  // as a started program is
                text = what() + '\n';
            (void)!::write(fds[1], text.data(), text.size());
            while (stay)
                ::pause();
            ::_exit(0);
        }
        ::close(fds[1]);
        out = fds[0];
    }
    ~AsNobody()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
    }
    // What the process told, once it has.
    std::string result() const
    {
        std::string text;
        char buffer[4096];
        for (ssize_t n; text.find('\n') == std::string::npos && (n = ::read(out, buffer, sizeof buffer)) > 0;)
            text.append(buffer, std::size_t(n));
        return text.substr(0, text.find('\n'));
    }
};

gid_t groupId(const char* name)
{
    const group* g = ::getgrnam(name);
    return g ? g->gr_gid : 0;
}

// "opened", or the description of the error that kept the port closed.
std::string openOutcome(rdx::SerialControl& control)
{
    try {
        control.setPortOpen(true);
        return "opened";
    } catch (const rdx::LinkError& e) {
        std::string text = e.description();
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }
}

TEST(TermiosControl, RefusedDeviceIsExplainedByItsGroupAndThePermissionsOfTheUser)
{
    if (::geteuid() != 0 || !::getpwnam("nobody") || !groupId("dialout"))
        GTEST_SKIP() << "needs root, the user nobody and the group dialout";
    const gid_t dialout = groupId("dialout"), nogroup = ::getpwnam("nobody")->pw_gid, other = 1;
    struct Case {
        gid_t deviceGroup;
        mode_t mode;
        gid_t gid;
        std::vector<gid_t> groups;
        std::string expected;
    };
    for (const Case& c :
         std::vector<Case>{// In no group of the device: told to join it, the device named with owner and group.
                           {dialout,
                            0660,
                            other,
                            {},
                            "belongs to the user root and the group dialout (crw-rw----). Add the user "
                            "nobody to the group dialout (sudo adduser nobody dialout)"},
                           // Listed in the group (here: it is nobody's own), but not in this session.
                           {nogroup,
                            0660,
                            other,
                            {},
                            "The user nobody was added to the group " + std::string(::getgrgid(nogroup)->gr_name)
                                + " after this session began"},
                           {dialout, 0600, other, {dialout}, "(crw-------): its group may not read and write it"},
                           {dialout, 0660, other, {dialout}, "opened"}}) {
        Pty pty;
        ASSERT_EQ(::chown(pty.path.c_str(), 0, c.deviceGroup), 0);
        ASSERT_EQ(::chmod(pty.path.c_str(), c.mode), 0);
        const std::string got = AsNobody(c.gid, c.groups, [&] { return openOutcome(*controlOn(pty.path)); }).result();
        EXPECT_NE(got.find(c.expected), std::string::npos) << got;
    }

    // What cannot be made here: a device policy, an owner without rights, a
    // member refused all the same.
    rdx::detail::DeviceAccess a{"/dev/pts/4", "anna", "tty", 0620, "rdx512", false, false, false, true};
    EXPECT_NE(rdx::detail::permissionAdvice(a).find("a device policy refuses it"), std::string::npos);
    a = {"/dev/ttyUSB0", "anna", "dialout", 0060, "anna", true, true, true, false};
    EXPECT_NE(rdx::detail::permissionAdvice(a).find("even its owner may not"), std::string::npos);
    a.owned = false;
    EXPECT_NE(rdx::detail::permissionAdvice(a).find("is in that group, yet the device was refused"), std::string::npos);
    EXPECT_EQ(rdx::detail::permissionAdvice(rdx::detail::DeviceAccess{}), "");
}

TEST(TermiosControl, AProgramThatEndedNeverBlocksThePortAndOneThatHoldsItIsNamed)
{
    if (::geteuid() != 0 || !::getpwnam("nobody"))
        GTEST_SKIP() << "needs root (root ignores a device's exclusive use) and the user nobody";
    const gid_t gid = ::getpwnam("nobody")->pw_gid;
    // As another program would: the device in exclusive use, without a lock.
    const auto exclusive = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        return std::string(fd >= 0 && ::ioctl(fd, TIOCEXCL) == 0 ? "opened" : "not opened");
    };
    struct Case {
        const char* first;
        bool stays;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {"this library", false, "opened"},  // ended without closing: a crash
             {"this library", true, "is in use by another program. It is held by link_termios_te (process "},
             {"another program", true, "is in use by another program. It is held by link_termios_te (process "},
             {"another program", false, "a program that has ended left the pseudo-terminal in exclusive use"}}) {
        SCOPED_TRACE(std::string(c.first) + (c.stays ? ", still running" : ", ended"));
        Pty pty;
        ASSERT_EQ(::chmod(pty.path.c_str(), 0666), 0);
        std::unique_ptr<rdx::SerialControl> kept;
        AsNobody first(
            gid, {},
            [&] {
                if (std::string(c.first) == "another program")
                    return exclusive(pty.path);
                kept = controlOn(pty.path);
                return openOutcome(*kept);
            },
            c.stays);
        ASSERT_EQ(first.result(), "opened");
        if (!c.stays)
            ::waitpid(std::exchange(first.pid, -1), nullptr, 0);
        const std::string got = AsNobody(gid, {}, [&] { return openOutcome(*controlOn(pty.path)); }).result();
        EXPECT_NE(got.find(c.expected), std::string::npos) << got;
        if (c.stays) {
            EXPECT_NE(got.find("(process " + std::to_string(first.pid) + " of the user nobody)"), std::string::npos)
                << got;
        }
    }
}

TEST(TermiosControl, DevicesThatCannotBeOpened)
{
    Pty pty;
    auto first = controlOn(pty.path);
    first->setPortOpen(true);
    const fs::path plain = fs::temp_directory_path() / ("rdx-plain-" + std::to_string(::getpid()));
    std::ofstream(plain) << "x";
    fs::permissions(plain, fs::perms::none);
    const fs::path fifo = plain.string() + ".fifo", toNull = plain.string() + ".COM1";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", toNull);
    struct Case {
        std::string path, hint;
        int number;
    };
    for (const Case& c :
         std::vector<Case>{{"/nonexistent/COM1", "No such file", rdx::kErrNoDevice},
                           {plain.string(), ::geteuid() == 0 ? "not a serial device: a regular file" : "\"dialout\"",
                            ::geteuid() == 0 ? rdx::kErrNotSerial : rdx::kErrPermission},
                           {fifo.string(), "not a serial device: a FIFO", rdx::kErrNotSerial},
                           {toNull.string(), "(/dev/null) is not a serial device", rdx::kErrNotSerial},
                           {pty.path, "It is held by this program itself", rdx::kErrDeviceBusy}}) {
        auto control = controlOn(c.path);
        const rdx::LinkError e = errorOf([&] { control->setPortOpen(true); });
        EXPECT_EQ(e.number(), c.number) << c.path;
        EXPECT_NE(e.description().find(c.path), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(c.hint), std::string::npos) << e.description();
        EXPECT_FALSE(control->portOpen());
    }
    for (const fs::path& p : {plain, fifo, toNull})
        fs::remove(p);
    // Once the first lets go, another gets the port.
    first->setPortOpen(false);
    auto second = controlOn(pty.path);
    second->setPortOpen(true);
    EXPECT_TRUE(second->portOpen());
}

TEST(TermiosControl, LostLineIsReportedAndThePortStillCloses)
{
    Pty pty;
    auto control = controlOn(pty.path);
    control->setPortOpen(true);
    EXPECT_EQ(errorOf([&] { control->setCommPort(2); }).number(), rdx::kErrWhileOpen);
    pty.send("ABC");
    control->waitForInput(1000);
    EXPECT_EQ(control->input(), "ABC");  // InputLen 0: all that waits
    ::close(pty.master);
    pty.master = -1;
    EXPECT_EQ(errorOf([&] { control->waitForInput(100); }).number(), rdx::kErrDeviceIo);
    EXPECT_EQ(errorOf([&] { control->input(); }).number(), rdx::kErrDeviceIo);
    EXPECT_EQ(errorOf([&] { control->output("x"); }).number(), rdx::kErrDeviceIo);
    control->setPortOpen(false);
    EXPECT_EQ(errorOf([&] { control->input(); }).number(), rdx::kErrNotOpen);
}

TEST(TermiosControl, APortOpenedThroughALinkStaysOnThatLink)
{
    // As the default resolver: the link COMn when there is one, else the
    // fixed device, here another pseudo-terminal that would open.
    Pty linked, fallback;
    const fs::path folder = fs::temp_directory_path() / ("rdx-com-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path link = folder / "COM3";
    auto control = rdx::makeTermiosControl(
        [&](int) { return fs::exists(fs::symlink_status(link)) ? link.string() : fallback.path; });
    control->setCommPort(3);
    fs::create_symlink(linked.path, link);
    control->setPortOpen(true);
    control->output("hi");
    EXPECT_EQ(linked.receive(2), "hi");
    control->setPortOpen(false);
    for (const char* how : {"link removed", "link dangling"}) {
        SCOPED_TRACE(how);
        fs::remove(link);
        if (std::string(how) == "link dangling")
            fs::create_symlink(folder / "gone", link);
        EXPECT_EQ(errorOf([&] { control->setPortOpen(true); }).number(), rdx::kErrNoDevice);
        EXPECT_FALSE(control->portOpen());
    }
    fs::remove_all(folder);
}

TEST(TermiosControl, TheHostingProgramsLookupComesBeforeTheLinkRule)
{
    // Through the C entry point, as the monitor installs it: port 5 is the
    // pseudo-terminal; no answer leaves a port to the link rule.
    Pty pty;
    struct Lookup {
        std::string device;
        int asked = 0;
    } lookup{pty.path};
    RDX500Comm3_SetResolver(
        [](int port, char* device, int size, void* context) {
            auto* l = static_cast<Lookup*>(context);
            ++l->asked;
            if (port != 5 || int(l->device.size()) >= size)
                return 0;
            std::strcpy(device, l->device.c_str());
            return 1;
        },
        &lookup);
    auto control = rdx::makeTermiosControl();
    control->setCommPort(5);
    control->setPortOpen(true);
    control->output("hi");
    EXPECT_EQ(pty.receive(2), "hi");
    control->setPortOpen(false);
    auto other = rdx::makeTermiosControl();
    other->setCommPort(6);
    const std::string failure = [&] {
        try {
            other->setPortOpen(true);
        } catch (const rdx::LinkError& e) {
            return e.description();
        }
        return std::string();
    }();
    EXPECT_TRUE(failure.empty() || failure.find(rdx::defaultDevicePath(6)) != std::string::npos) << failure;
    EXPECT_EQ(lookup.asked, 2);
    RDX500Comm3_SetResolver(nullptr, nullptr);
}

TEST(LineSettings, TermiosRecordFromACleanState)
{
    struct Case {
        const char* settings;
        int handshake;
        speed_t speed;
        tcflag_t cflag, iflag;
    };
    for (const Case& c : std::vector<Case>{{"9600,E,7,1", 0, B9600, CS7 | PARENB, INPCK},
                                           {"2400,O,8,2", 0, B2400, CS8 | PARENB | PARODD | CSTOPB, INPCK},
                                           {"4800,N,8,1", 2, B4800, CS8 | CRTSCTS, 0},
                                           {"19200,N,7,1", 1, B19200, CS7, IXON | IXOFF},
                                           {"9600,E,7,1", 3, B9600, CS7 | PARENB | CRTSCTS, INPCK | IXON | IXOFF}}) {
        SCOPED_TRACE(std::string(c.settings) + " flow " + std::to_string(c.handshake));
        const auto t = rdx::detail::lineTermios(c.settings, c.handshake);
        ASSERT_TRUE(t);
        EXPECT_EQ(::cfgetispeed(&*t), c.speed);
        EXPECT_EQ(::cfgetospeed(&*t), c.speed);
        EXPECT_EQ(t->c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), c.cflag);
        EXPECT_EQ(t->c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        EXPECT_EQ(t->c_iflag, c.iflag);  // nothing else: no stray flag survives
        EXPECT_EQ(t->c_lflag | t->c_oflag, 0u);
        EXPECT_EQ(t->c_cc[VMIN], 1);
    }
    for (const char* refused : {"9600,M,7,1", "1234,E,7,1", "9600,E,5,1", "9600,E,7,3", "9600,E,7", ""})
        EXPECT_FALSE(rdx::detail::lineTermios(refused, 0)) << refused;
    EXPECT_FALSE(rdx::detail::lineTermios("9600,E,7,1", 4));

    // What a device read back: all of it, or on a pseudo-terminal the speed.
    const termios want = *rdx::detail::lineTermios("9600,E,7,1", 0), slow = *rdx::detail::lineTermios("2400,E,7,1", 0);
    const termios pty8N1 = *rdx::detail::lineTermios("9600,N,8,1", 0);
    termios space = want;
    space.c_cflag |= CMSPAR;
    EXPECT_TRUE(rdx::detail::lineTaken(want, want, false));
    EXPECT_TRUE(rdx::detail::lineTaken(want, pty8N1, true));
    EXPECT_FALSE(rdx::detail::lineTaken(want, pty8N1, false));
    EXPECT_FALSE(rdx::detail::lineTaken(want, space, false));
    EXPECT_FALSE(rdx::detail::lineTaken(want, slow, true));
}

TEST(LineSettings, SerialDeviceKeepsSevenEvenOneFromACleanState)
{
    if (::geteuid() != 0 || ::access("/dev/ttyS0", F_OK) != 0)
        GTEST_SKIP() << "needs root and /dev/ttyS0";
    // Another program left space parity, 8 bits and hardware flow behind.
    const int fd = ::open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_cflag |= CMSPAR | PARENB | CS8 | CRTSCTS, t.c_iflag |= IXANY;
    ::tcsetattr(fd, TCSANOW, &t);

    rdx::rdx5Comm3 link(controlOn("/dev/ttyS0"), rdx::makeSystemTickCounter());
    link.BaudRate("2400");
    try {
        link.PortOpen();  // no recorder asserts CTS here: the result does not matter
    } catch (const rdx::LinkError& e) {
        GTEST_SKIP() << "/dev/ttyS0 cannot be used: " << e.causeDescription();
    }
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), tcflag_t(CS7 | PARENB));
    EXPECT_EQ(t.c_iflag & (INPCK | IXANY | IXON), tcflag_t(INPCK));
}

TEST(LinkOverPty, SevenEvenOneExchangeWithARecorderOnTheOtherSide)
{
    // A pseudo-terminal keeps 8N1 whatever it is asked: 9600,E,7,1 opens.
    Pty pty;
    rdx::rdx5Comm3 link(controlOn(pty.path), rdx::makeSystemTickCounter());
    link.TimeOut(300);
    ASSERT_TRUE(link.PortOpen());
    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "");
    EXPECT_EQ(pty.receive(27), "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n");
    std::string reply, result;
    for (int i = 0; i < 8; ++i)
        reply += "LINE" + std::to_string(i) + "          +0012.5-01  \r\n";
    pty.send(reply + "EXTRA\r\n");
    for (const auto end = Clock::now() + std::chrono::seconds(2); result.empty() && Clock::now() < end;)
        result = link.RWcomm("05", "06", 1, "N");
    EXPECT_EQ(result, reply);
    EXPECT_EQ(pty.receive(7),
              "\x1b"
              "C 05\r\n");

    // The left-over line starts a reply that never completes: the step
    // sleeps on the port until the time-out instead of spinning.
    link.TimeOut(60);
    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "");
    const std::clock_t cpu = std::clock();
    const auto start = Clock::now();
    EXPECT_EQ(link.RWcomm("05", "06", 1, "N"), "\x1b");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_LT(std::clock() - cpu, CLOCKS_PER_SEC / 20);
    link.PortClose();
    EXPECT_EQ(link.CommID(), -1);
}

TEST(LinkOverPty, FailedOpenThenBufferClearsGiveOnlyThePlainReason)
{
    // The connecting step: open, clear both buffers.
    rdx::rdx5Comm3 link(controlOn("/nonexistent/ttyUSB7"), rdx::makeSystemTickCounter());
    const rdx::LinkError e = errorOf([&] { link.PortOpen(); });
    EXPECT_EQ(e.number(), rdx::kErrPortOpen);
    EXPECT_EQ(e.causeNumber(), rdx::kErrNoDevice);
    EXPECT_NE(e.causeDescription().find("/nonexistent/ttyUSB7"), std::string::npos);
    EXPECT_EQ(errorOf([&] { link.SendBufClear(); }).number(), 0);
    EXPECT_EQ(errorOf([&] { link.RecvBufClear(); }).number(), 0);
}

}  // namespace
