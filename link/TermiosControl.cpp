// The serial control over POSIX termios, and the system tick counter.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "link_p.h"

namespace rdx {
namespace {

// Longest time output() waits for room in the driver's transmit queue.
constexpr int kOutputRoomWaitMs = 2000;

std::optional<speed_t> speedOf(const std::string& baud)
{
    static const std::pair<const char*, speed_t> speeds[] = {
        {"300", B300},   {"600", B600},     {"1200", B1200},   {"2400", B2400},   {"4800", B4800},
        {"9600", B9600}, {"19200", B19200}, {"38400", B38400}, {"57600", B57600}, {"115200", B115200},
    };
    for (const auto& [text, speed] : speeds) {
        if (baud == text)
            return speed;
    }
    return std::nullopt;
}

// The flags that make up the line settings, compared after they were applied.
constexpr tcflag_t kLineCflags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kLineIflags = INPCK | IXON | IXOFF | IXANY;

// Unix98 pseudo-terminal devices (the side a program opens as its line).
constexpr unsigned kPtyMajorFirst = 136;
constexpr unsigned kPtyMajorLast = 143;

std::int16_t clamp16(long value)
{
    return static_cast<std::int16_t>(std::clamp<long>(value, 0, INT16_MAX));
}

bool notAModemDevice(int err)
{
    return err == ENOTTY || err == EINVAL;
}

class TermiosControl final : public SerialControl {
public:
    explicit TermiosControl(DeviceResolver resolver) : resolver_(std::move(resolver))
    {
        if (!resolver_)
            resolver_ = detail::hostDevicePath;
    }

    ~TermiosControl() override { closeDevice(); }

    void setCommPort(std::int16_t port) override
    {
        if (fd_ >= 0)
            throw LinkError(kErrWhileOpen, "The port number cannot be changed while " + deviceName() + " is open");
        if (port < 1)
            throw LinkError(kErrNoDevice, "Invalid port number " + std::to_string(port));
        commPort_ = port;
    }
    std::int16_t commPort() const override { return commPort_; }

    void setSettings(const std::string& settings) override
    {
        if (!detail::lineTermios(settings, handshaking_))
            throw LinkError(kErrSettingsRefused,
                            "The line settings \"" + settings + "\" are not valid for COM" + std::to_string(commPort_));
        if (fd_ >= 0)
            apply(settings, handshaking_);
        settings_ = settings;
    }

    void setHandshaking(std::int16_t code) override
    {
        if (!detail::lineTermios(settings_, code))
            throw LinkError(kErrSettingsRefused, "Handshaking code " + std::to_string(code) + " is not valid");
        if (fd_ >= 0)
            apply(settings_, code);
        handshaking_ = code;
    }
    std::int16_t handshaking() const override { return handshaking_; }

    void setPortOpen(bool open) override
    {
        if (!open) {
            closeDevice();
            return;
        }
        if (fd_ >= 0)
            throw LinkError(kErrDeviceBusy, deviceName() + " is already open");
        openDevice();
    }
    bool portOpen() const override { return fd_ >= 0; }

    bool ctsHolding() override
    {
        requireOpen();
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
            // A device without modem lines (a pseudo-terminal) counts as ready.
            if (notAModemDevice(errno))
                return true;
            lineLost("reading the modem lines", errno);
        }
        return (lines & TIOCM_CTS) != 0;
    }

    void setInBufferSize(std::int16_t size) override { inBufferSize_ = size; }
    std::int16_t inBufferSize() const override { return inBufferSize_; }
    void setOutBufferSize(std::int16_t size) override { outBufferSize_ = size; }
    std::int16_t outBufferSize() const override { return outBufferSize_; }

    std::int16_t inBufferCount() override
    {
        requireOpen();
        int count = 0;
        if (::ioctl(fd_, FIONREAD, &count) != 0)
            lineLost("counting received bytes", errno);
        return clamp16(count);
    }

    void clearInBuffer() override
    {
        requireOpen();
        if (::tcflush(fd_, TCIFLUSH) != 0)
            lineLost("discarding received bytes", errno);
    }

    std::int16_t outBufferCount() override
    {
        requireOpen();
        int count = 0;
        if (::ioctl(fd_, TIOCOUTQ, &count) != 0) {
            if (notAModemDevice(errno))
                return 0;
            lineLost("counting unsent bytes", errno);
        }
        return clamp16(count);
    }

    void clearOutBuffer() override
    {
        requireOpen();
        if (::tcflush(fd_, TCOFLUSH) != 0)
            lineLost("discarding unsent bytes", errno);
    }

    void setInputLen(std::int16_t len) override
    {
        if (len < 0)
            throw LinkError(kErrSettingsRefused, "InputLen " + std::to_string(len) + " is not valid");
        inputLen_ = len;
    }

    std::string input() override
    {
        requireOpen();
        // InputLen 0 takes everything waiting.
        const std::size_t wanted = inputLen_ == 0 ? std::size_t{65536} : static_cast<std::size_t>(inputLen_);
        std::string text;
        char buffer[4096];
        while (text.size() < wanted) {
            const std::size_t chunk = std::min(sizeof buffer, wanted - text.size());
            const ssize_t got = ::read(fd_, buffer, chunk);
            if (got > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got == 0) {
                // The port is set to wait for one byte, so a read of nothing
                // means the line hung up.
                if (text.empty())
                    lineLost("reading", EIO);
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            lineLost("reading", errno);
        }
        return text;
    }

    void output(const std::string& text) override
    {
        requireOpen();
        const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(kOutputRoomWaitMs);
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t put = ::write(fd_, text.data() + done, text.size() - done);
            if (put > 0) {
                done += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                lineLost("writing", errno);
            // The transmit queue is full: wait a little for room.
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(giveUpAt - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                throw LinkError(kErrDeviceIo, deviceName() + " takes no more output (transmit queue full)");
            pollOnce(POLLOUT, static_cast<int>(left.count()), "writing");
        }
    }

    void setRThreshold(std::int16_t threshold) override { rThreshold_ = threshold; }
    std::int16_t rThreshold() const override { return rThreshold_; }

    std::int32_t commId() const override { return fd_; }

    void waitForInput(std::int32_t timeoutMs) override
    {
        requireOpen();
        pollOnce(POLLIN, std::max<std::int32_t>(timeoutMs, 0), "waiting for input");
    }

private:
    std::string deviceName() const
    {
        std::string name = "COM" + std::to_string(commPort_);
        if (!device_.empty())
            name += " (" + device_ + ")";
        return name;
    }

    [[noreturn]] void lineLost(const char* doing, int err) const
    {
        throw LinkError(kErrDeviceIo,
                        "Serial line lost on " + deviceName() + " while " + doing + ": " + std::strerror(err));
    }

    void requireOpen() const
    {
        if (fd_ < 0)
            throw LinkError(kErrNotOpen, "The port COM" + std::to_string(commPort_) + " is not open");
    }

    // Waits for the events or the time-out; a failure or hang-up of the device
    // means the line is lost.
    void pollOnce(short events, int timeoutMs, const char* doing)
    {
        pollfd p{fd_, events, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                return;
            lineLost(doing, errno);
        }
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            lineLost(doing, (p.revents & POLLHUP) != 0 ? EIO : EBADF);
    }

    void openDevice()
    {
        device_ = resolver_(commPort_);
        // A port once opened through a link stays on that link: falling back
        // to another device could reach whatever else is wired there.
        if (const auto it = viaLink_.find(commPort_); it != viaLink_.end())
            device_ = it->second;
        struct stat st {};
        const bool isLink = ::lstat(device_.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (err == EACCES || err == EPERM)
                throw LinkError(kErrPermission,
                                "No permission to open the serial device " + device_ + " for COM"
                                    + std::to_string(commPort_) + " (" + std::strerror(err) + ")."
                                    + moreLine(detail::permissionAdvice(detail::deviceAccess(device_, err))));
            // Another program keeps the device in exclusive use.
            if (err == EBUSY)
                throw busy(-1, true);
            throw LinkError(kErrNoDevice, "Cannot open " + deviceName() + ": " + std::strerror(err));
        }
        bool exclusive = false;
        try {
            // Only a terminal device is a serial line: a regular file, a FIFO
            // or /dev/null opens as well, and would swallow every command.
            struct stat opened {};
            termios attributes{};
            if (::fstat(fd, &opened) != 0 || !S_ISCHR(opened.st_mode))
                notSerial(fileKind(opened.st_mode));
            if (::tcgetattr(fd, &attributes) != 0 && errno == ENOTTY)
                notSerial("a character device that is no terminal");
            // Keep other programs (and other objects of this one) off the port:
            // a lock, which ends with the process that holds it, and on a
            // serial device its exclusive mode as well, which the driver
            // drops at the last close. A pseudo-terminal keeps that mode while
            // its other side is open, also after the program that set it has
            // ended, and would refuse every later open: there the lock alone
            // keeps others off.
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
                throw busy(fd, false);
            if (!pseudoTerminal(fd)) {
                if (::ioctl(fd, TIOCEXCL) != 0) {
                    const int err = errno;
                    if (err == ENOTTY)
                        notSerial("a character device that is no terminal");
                    throw LinkError(kErrNoDevice, deviceName() + " is not a serial device: " + std::strerror(err));
                }
                exclusive = true;
            }
            fd_ = fd;
            apply(settings_, handshaking_);
            if (isLink)
                viaLink_[commPort_] = device_;
            const int lines = TIOCM_DTR | TIOCM_RTS;
            if (::ioctl(fd, TIOCMBIS, &lines) != 0 && !notAModemDevice(errno))
                lineLost("raising DTR and RTS", errno);
        } catch (...) {
            fd_ = -1;
            if (exclusive)
                ::ioctl(fd, TIOCNXCL);
            ::close(fd);
            throw;
        }
    }

    // The device is in use: the description names the process that holds it
    // when it can be seen. exclusive: the open itself was refused (another
    // program put the device in exclusive use). ownFd: this object's own
    // attempt on it, which does not count.
    LinkError busy(int ownFd, bool exclusive) const
    {
        const std::string holder = detail::deviceHolder(device_, ownFd);
        std::string text = deviceName() + " is in use by another program.\n";
        if (!holder.empty())
            text += "It is held by " + holder + ".";
        else if (exclusive && pseudoTerminalPath())
            text += "No program that can be seen holds it: when none runs, a program that has ended left the "
                    "pseudo-terminal in exclusive use; start the program that provides it (the simulator) again.";
        else
            text += "Which program holds it cannot be seen from here (as root, fuser -v " + device_ + " names it).";
        return LinkError(kErrDeviceBusy, text);
    }

    // More about an error on a line of its own, when there is more.
    static std::string moreLine(const std::string& text) { return text.empty() ? text : "\n" + text; }

    // The device path leads to no serial device: the description names what
    // it resolved to, and the link it went through.
    [[noreturn]] void notSerial(const std::string& kind) const
    {
        char real[PATH_MAX];
        const std::string target = ::realpath(device_.c_str(), real) != nullptr ? std::string(real) : device_;
        std::string text = "COM" + std::to_string(commPort_) + " (" + target + ") is not a serial device: " + kind;
        if (target != device_)
            text += " (reached through " + device_ + ")";
        throw LinkError(kErrNotSerial, text);
    }

    static const char* fileKind(mode_t mode)
    {
        if (S_ISREG(mode))
            return "a regular file";
        if (S_ISFIFO(mode))
            return "a FIFO";
        if (S_ISDIR(mode))
            return "a folder";
        if (S_ISSOCK(mode))
            return "a socket";
        if (S_ISBLK(mode))
            return "a block device";
        return "no device";
    }

    void closeDevice() noexcept
    {
        if (fd_ < 0)
            return;
        // Closing would wait for unsent bytes; the port closes without draining.
        int pending = 0;
        if (::ioctl(fd_, TIOCOUTQ, &pending) == 0 && pending > 0)
            ::tcflush(fd_, TCOFLUSH);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
    }

    // Puts the line settings and handshaking on the open device and reads
    // them back: a device that did not take them is refused, except a
    // pseudo-terminal, which keeps 8N1 whatever it is asked.
    void apply(const std::string& settings, std::int16_t handshake)
    {
        const auto wanted = detail::lineTermios(settings, handshake);
        if (!wanted)
            throw LinkError(kErrSettingsRefused, "The line settings \"" + settings + "\" are not valid");
        termios t = *wanted;
        const bool pty = pseudoTerminal(fd_);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
            const int err = errno;
            if (!pty || err != EINVAL)
                throw LinkError(kErrSettingsRefused,
                                deviceName() + " refused the line settings " + settings + ": " + std::strerror(err));
        }
        termios got{};
        if (::tcgetattr(fd_, &got) != 0 || !detail::lineTaken(*wanted, got, pty))
            throw LinkError(kErrSettingsRefused, deviceName() + " did not keep the line settings " + settings);
    }

    bool pseudoTerminal(int fd) const
    {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
            return false;
        const unsigned major = ::major(st.st_rdev);
        return (major >= kPtyMajorFirst && major <= kPtyMajorLast) || pseudoTerminalPath();
    }

    bool pseudoTerminalPath() const
    {
        char real[PATH_MAX];
        return ::realpath(device_.c_str(), real) != nullptr && std::strncmp(real, "/dev/pts/", 9) == 0;
    }

    DeviceResolver resolver_;
    int fd_ = -1;
    std::string device_;
    std::int16_t commPort_ = 1;
    std::string settings_ = "9600,N,8,1";
    // Port numbers opened through a link, with the link.
    std::map<int, std::string> viaLink_;
    std::int16_t handshaking_ = 0;
    std::int16_t inBufferSize_ = 1024;
    std::int16_t outBufferSize_ = 512;
    std::int16_t inputLen_ = 0;
    std::int16_t rThreshold_ = 0;
};

class SystemTickCounter final : public TickCounter {
public:
    std::int64_t now() override
    {
        timespec ts{};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
    void sleep(std::int32_t ms) override
    {
        timespec ts{ms / 1000, (ms % 1000) * 1000000L};
        while (ms > 0 && ::nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
    }
};

}  // namespace

namespace detail {

std::optional<termios> lineTermios(const std::string& settings, int handshake)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = settings.find(',', start);
        parts.push_back(settings.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() != 4 || handshake < 0 || handshake > 3)
        return std::nullopt;
    const auto speed = speedOf(parts[0]);
    const std::string parity = parts[1];
    if (!speed || (parity != "N" && parity != "E" && parity != "O") || (parts[2] != "7" && parts[2] != "8")
        || (parts[3] != "1" && parts[3] != "2"))
        return std::nullopt;

    // From nothing: no flag a previous program left on the device survives.
    termios t{};
    t.c_cflag = (parts[2] == "7" ? CS7 : CS8) | CLOCAL | CREAD | HUPCL;
    if (parity != "N") {
        t.c_cflag |= PARENB | (parity == "O" ? PARODD : 0);
        t.c_iflag |= INPCK;
    }
    if (parts[3] == "2")
        t.c_cflag |= CSTOPB;
    if (handshake == 2 || handshake == 3)
        t.c_cflag |= CRTSCTS;
    if (handshake == 1 || handshake == 3)
        t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    // One byte satisfies a read, so a non-blocking read without data reports
    // EAGAIN and a read of nothing means a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, *speed);
    ::cfsetospeed(&t, *speed);
    return t;
}

bool lineTaken(const termios& wanted, const termios& got, bool pseudoTerminal)
{
    if (::cfgetospeed(&got) != ::cfgetospeed(&wanted) || (got.c_lflag & ICANON) != 0
        || got.c_cc[VMIN] != wanted.c_cc[VMIN])
        return false;
    return pseudoTerminal
        || ((got.c_cflag & kLineCflags) == (wanted.c_cflag & kLineCflags)
            && (got.c_iflag & kLineIflags) == (wanted.c_iflag & kLineIflags));
}

}  // namespace detail

namespace {

std::mutex resolverMutex;
DeviceResolver currentResolver;

}  // namespace

void setDeviceResolver(DeviceResolver resolver)
{
    std::lock_guard lock(resolverMutex);
    currentResolver = std::move(resolver);
}

namespace detail {

std::string hostDevicePath(int port)
{
    DeviceResolver resolver;
    {
        std::lock_guard lock(resolverMutex);
        resolver = currentResolver;
    }
    if (resolver) {
        std::string device = resolver(port);
        if (!device.empty())
            return device;
    }
    return defaultDevicePath(port);
}

}  // namespace detail

std::string defaultDevicePath(int port)
{
    char exe[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        const std::string path(exe, static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos) {
            const std::string link = path.substr(0, slash) + "/COM" + std::to_string(port);
            struct stat st {};
            if (::lstat(link.c_str(), &st) == 0)
                return link;
        }
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

std::unique_ptr<SerialControl> makeTermiosControl(DeviceResolver resolver)
{
    return std::make_unique<TermiosControl>(std::move(resolver));
}

std::shared_ptr<TickCounter> makeSystemTickCounter()
{
    return std::make_shared<SystemTickCounter>();
}

}  // namespace rdx
