// Why a serial device cannot be had: its owner, group and permissions
// against the groups of this process and of its user, and which process
// holds a device that is in use.
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "link_p.h"

namespace rdx::detail {

namespace {

std::string userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    std::vector<char> buffer(16384);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

// The groups the process holds now: its effective group and the
// supplementary ones it got when its session began.
bool processHasGroup(gid_t gid)
{
    if (::getegid() == gid)
        return true;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The groups the group database gives the user today.
bool databaseHasGroup(uid_t uid, gid_t gid)
{
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) != 0 || !found)
        return false;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

// "crw-rw----", as ls shows it.
std::string modeText(unsigned mode)
{
    std::string text = "c";
    for (int shift = 6; shift >= 0; shift -= 3) {
        text += (mode >> shift) & 4 ? 'r' : '-';
        text += (mode >> shift) & 2 ? 'w' : '-';
        text += (mode >> shift) & 1 ? 'x' : '-';
    }
    return text;
}

// "rdx512-logd (process 1234 of the user rdx512)".
std::string describeProcess(long pid)
{
    if (pid == ::getpid())
        return "this program itself (process " + std::to_string(pid) + ")";
    const std::string dir = "/proc/" + std::to_string(pid);
    std::string name;
    std::getline(std::ifstream(dir + "/comm"), name);
    struct stat st {};
    std::string text = name.empty() ? "a program" : name;
    text += " (process " + std::to_string(pid);
    if (::stat(dir.c_str(), &st) == 0)
        text += " of the user " + userName(st.st_uid);
    return text + ")";
}

// A process holding a lock on the device node (/proc/locks names the
// process of every lock, another user's as well): 0 when none.
long lockHolder(const struct stat& node)
{
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos)
            continue;  // waiting for a lock, not holding one
        std::istringstream fields(line);
        std::string number, kind, mandatory, access, file;
        long pid = 0;
        if (!(fields >> number >> kind >> mandatory >> access >> pid >> file) || pid <= 0)
            continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 && major == ::major(node.st_dev)
            && minor == ::minor(node.st_dev) && inode == node.st_ino)
            return pid;
    }
    return 0;
}

// A process with the device open, among those whose open files this
// process may look at (its own user's, or all for root): 0 when none.
// ownFd, an open file of this process, does not count.
long openHolder(const struct stat& node, int ownFd)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return 0;
    long holder = 0;
    const long self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        const std::string fdDir = "/proc/" + std::string(entry->d_name) + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.' || (pid == self && std::atoi(fd->d_name) == ownFd))
                continue;
            struct stat st {};
            if (::stat((fdDir + '/' + fd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode)
                && st.st_rdev == node.st_rdev) {
                holder = pid;
                break;
            }
        }
        ::closedir(fds);
        if (holder)
            break;
    }
    ::closedir(proc);
    return holder;
}

}  // namespace

DeviceAccess deviceAccess(const std::string& path, int err)
{
    DeviceAccess access;
    char real[PATH_MAX];
    access.device = ::realpath(path.c_str(), real) ? std::string(real) : path;
    access.policy = err == EPERM;
    struct stat st {};
    if (::stat(access.device.c_str(), &st) != 0)
        return access;
    const uid_t uid = ::geteuid();
    access.owner = userName(st.st_uid);
    access.group = groupName(st.st_gid);
    access.mode = st.st_mode & 0777;
    access.user = userName(uid);
    access.owned = st.st_uid == uid;
    access.inGroupNow = processHasGroup(st.st_gid);
    access.inGroupListed = databaseHasGroup(uid, st.st_gid);
    return access;
}

std::string permissionAdvice(const DeviceAccess& a)
{
    if (a.owner.empty())
        return {};
    const std::string belongs
        = a.device + " belongs to the user " + a.owner + " and the group " + a.group + " (" + modeText(a.mode) + ")";
    if (a.policy)
        return "The system keeps this program off " + a.device
            + " whatever its permissions: a device policy refuses "
              "it, such as the DeviceAllow list of the systemd service the program runs in ("
            + belongs + ").";
    if (a.owned && (a.mode & 0600) != 0600)
        return belongs
            + ": even its owner may not read and write it. Give the owner read and write permission "
              "(chmod u+rw "
            + a.device + ").";
    if ((a.mode & 060) != 060)
        return belongs
            + ": its group may not read and write it, so only its owner can open it. Have its "
              "permissions changed (for a serial adapter, a udev rule with GROUP=\"dialout\", "
              "MODE=\"0660\"), or use it as the user "
            + a.owner + ".";
    if (a.inGroupNow)
        return belongs + ". The user " + a.user
            + " is in that group, yet the device was refused: an access "
              "control list or a security policy keeps it off; ask the administrator.";
    if (a.inGroupListed)
        return belongs + ". The user " + a.user + " was added to the group " + a.group
            + " after this session began, so this program does not have it yet: log out and log in again "
              "(or start the computer again).";
    return belongs + ". Add the user " + a.user + " to the group " + a.group + " (sudo adduser " + a.user + ' '
        + a.group + "), then log out and log in again.";
}

std::string deviceHolder(const std::string& path, int ownFd)
{
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0)
        return {};
    long pid = lockHolder(node);
    // A lock handed on to a child outlives the process that took it.
    if (pid > 0 && ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0)
        pid = 0;
    if (pid == 0)
        pid = openHolder(node, ownFd);
    return pid > 0 ? describeProcess(pid) : std::string();
}

}  // namespace rdx::detail
