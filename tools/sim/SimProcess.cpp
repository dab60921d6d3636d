#include "SimProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace rdxsim {

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds wait)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "rdxsim-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    folder_ = pattern;
    const std::string ready = folder_ + "/ready";

    std::vector<std::string> all = {program, "--dir", folder_, "--port-name", "COM1", "--ready-file", ready};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("cannot start the simulator: ") + std::strerror(errno));
    if (pid_ == 0) {
        // Its announcements go to a file in the folder; errors stay visible.
        const int out = ::open((folder_ + "/sim.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0)
            dup2(out, 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!std::filesystem::exists(ready)) {
        if (!running() || std::chrono::steady_clock::now() > deadline) {
            stop();
            std::filesystem::remove_all(folder_);
            throw std::runtime_error("the simulator " + program + " did not come up");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

SimProcess::~SimProcess()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool SimProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

int SimProcess::stop(std::chrono::milliseconds wait)
{
    if (pid_ <= 0)
        return 0;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return status;
}

}  // namespace rdxsim
