#include "PtyLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace rdxsim {

namespace {
std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}
}  // namespace

void PtyLine::open(const std::string& linkPath)
{
    close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        throw systemError("cannot open a pseudo-terminal");
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        const auto error = systemError("cannot unlock the pseudo-terminal");
        ::close(master);
        throw error;
    }
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) {
        const auto error = systemError("cannot name the pseudo-terminal");
        ::close(master);
        throw error;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0) {
        const auto error = systemError(std::string("cannot open ") + name);
        ::close(master);
        throw error;
    }
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);  // the pty keeps the raw settings
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            ::close(master);
            throw std::runtime_error(linkPath + " exists and is not a link; not replacing it");
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(name, linkPath.c_str()) != 0) {
        const auto error = systemError("cannot create the link " + linkPath);
        ::close(master);
        throw error;
    }
    master_ = master;
    device_ = name;
    link_ = linkPath;
}

bool PtyLine::releaseExclusiveUse()
{
    if (master_ < 0)
        return false;
    const auto noClient = [this] {
        pollfd p{master_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) && !(p.revents & POLLIN);
    };
    if (!noClient())
        return false;  // a client came meanwhile: its device as it is
    const int slave = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        int exclusive = 0;
        if (::ioctl(slave, TIOCGEXCL, &exclusive) == 0 && exclusive)
            ::ioctl(slave, TIOCNXCL);
        ::close(slave);
        return false;
    }
    if (errno != EBUSY || !noClient())
        return false;
    open(link_);
    return true;
}

void PtyLine::close(bool keepLink)
{
    if (master_ < 0)
        return;
    if (!keepLink)
        ::unlink(link_.c_str());
    ::close(master_);
    master_ = -1;
}

}  // namespace rdxsim
