#include "startup/FilesFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rdxfiles {

namespace {

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

Environment Environment::current()
{
    Environment environment;
    environment.home = variable("HOME");
    if (environment.home.empty()) {
        if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir)
            environment.home = account->pw_dir;
    }
    environment.xdgDataHome = variable("XDG_DATA_HOME");
    return environment;
}

std::string userFolder(const Environment& environment)
{
    // A relative XDG_DATA_HOME is not valid and is ignored.
    if (!environment.xdgDataHome.empty() && environment.xdgDataHome.front() == '/')
        return environment.xdgDataHome + '/' + kUserFolderName;
    if (environment.home.empty())
        return {};
    return environment.home + "/.local/share/" + kUserFolderName;
}

bool keepsFilesBesideProgram(const std::string& programFolder)
{
    if (programFolder.empty() || programFolder == "/usr" || programFolder.rfind("/usr/", 0) == 0)
        return false;
    return ::access(programFolder.c_str(), W_OK | X_OK) == 0;
}

std::string filesFolder(const std::string& programFolder, const Environment& environment)
{
    return keepsFilesBesideProgram(programFolder) ? programFolder : userFolder(environment);
}

bool makeFolder(const std::string& path, std::string* reason)
{
    if (path.empty()) {
        if (reason)
            *reason = "no home folder is known";
        return false;
    }
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = slash == std::string::npos ? path : path.substr(0, slash);
        if (!isFolder(part) && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            if (reason)
                *reason = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    if (isFolder(path))
        return true;
    if (reason)
        *reason = path + " is not a folder";
    return false;
}

}  // namespace rdxfiles
