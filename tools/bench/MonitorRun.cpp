#include "MonitorRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ReplyFormat.h"
#include "startup/InitRecord.h"

namespace rdxbench {

namespace fs = std::filesystem;

namespace {

std::string makeTempFolder(const char* prefix)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error(std::string("cannot make a temporary folder: ") + std::strerror(errno));
    return pattern;
}

void writeSettings(const std::string& path, const RunSetup& setup)
{
    rdxmon::InitRecord record;
    record.Port = QStringLiteral("COM1");
    record.Speed = QString::fromStdString(setup.speedText);
    record.RecCount = QString::number(setup.recorders).rightJustified(2, QLatin1Char('0'));
    if (setup.logging) {
        record.LogInterval = 1;
        record.LogUnit = 0;
        record.LogNameMode = 1;
        record.LogActive = 1;
    }
    const QByteArray bytes = rdxmon::encodeInitRecord(record);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> simArguments(const RunSetup& setup, const std::string& logPath)
{
    std::vector<std::string> args
        = {"--addresses", "1-" + std::to_string(setup.recorders), "--baud", std::to_string(setup.simBaud), "--log",
           logPath};
    args.insert(args.end(), setup.simOptions.begin(), setup.simOptions.end());
    return args;
}

int decodeStatus(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

double steadyMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int requestCharacters(const LoggedRequest& request)
{
    const int text = static_cast<int>(request.text.size());
    if (request.kind == "open" || request.kind == "close")
        return 5 + text;  // ESC "O " nn CR LF
    if (request.kind == "ts0")
        return 5;  // "TS0" CR LF
    if (request.kind == "data")
        return 13 + text;  // ESC "T" CR LF "FM0,01," nn CR LF
    return 0;
}

MonitorRun::MonitorRun(const std::string& binDir, const RunSetup& setup)
    : logFolder_(makeTempFolder("rdxbench")), logPath_(logFolder_ + "/requests.log")
{
    try {
        sim_ = std::make_unique<rdxsim::SimProcess>(binDir + "/rdx512-sim", simArguments(setup, logPath_));
        for (const std::string& name : {setup.program, std::string("libRDX500Comm3.so")})
            fs::copy_file(fs::path(binDir) / name, fs::path(folder()) / name);
        writeSettings(folder() + "/RDX512INIT.SET", setup);
        for (const auto& [name, content] : setup.files) {
            std::ofstream out(folder() + "/" + name, std::ios::binary | std::ios::trunc);
            out << content;
            if (!out)
                throw std::runtime_error("cannot write " + name);
        }
    } catch (const std::exception&) {
        sim_.reset();
        fs::remove_all(logFolder_);
        throw;
    }

    const std::string program = folder() + "/" + setup.program;
    const std::string output = folder() + "/monitor.out";
    launchedMs_ = steadyMs();
    pid_ = fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("cannot start the monitor: ") + std::strerror(errno));
    if (pid_ == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Started from another folder: the program finds its own.
        if (chdir("/") != 0)
            _exit(126);
        std::vector<std::string> args = {program};
        for (std::string arg : setup.programArgs) {
            if (arg == "{folder}")
                arg = folder();
            args.push_back(arg);
        }
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
}

MonitorRun::~MonitorRun()
{
    stop(3000);
    sim_.reset();
    std::error_code ignored;
    fs::remove_all(logFolder_, ignored);
}

std::vector<LoggedRequest> MonitorRun::newRequests()
{
    std::vector<LoggedRequest> requests;
    std::ifstream in(logPath_, std::ios::binary);
    if (!in)
        return requests;
    in.seekg(logOffset_);
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof())
            break;  // a line still being written: read it next time
        logOffset_ += static_cast<long>(line.size()) + 1;
        std::istringstream fields(line);
        LoggedRequest request;
        fields >> request.ms >> request.kind;
        fields >> request.text;
        if (!request.kind.empty())
            requests.push_back(request);
    }
    return requests;
}

bool MonitorRun::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exitStatus_ = decodeStatus(status);
        pid_ = -1;
        return false;
    }
    return true;
}

int MonitorRun::stop(double waitMs)
{
    if (!running())
        return exitStatus_;
    kill(pid_, SIGTERM);
    const double deadline = steadyMs() + waitMs;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
        if (steadyMs() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            exitStatus_ = -1;
            return exitStatus_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    exitStatus_ = decodeStatus(status);
    return exitStatus_;
}

double processCpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks: the fields are counted after it.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long statusKb(pid_t pid, const std::string& field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    }
    return -1;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

CycleFigures watchCycles(MonitorRun& run, int recorders, int baud, int cycles)
{
    const rdxsim::ReplyGenerator generator;
    char lastText[16];
    std::snprintf(lastText, sizeof lastText, "%02d", recorders);
    const std::string first = "01", last = lastText;

    CycleFigures f;
    bool startupDone = false;
    bool lastOpened = false;
    int cyclesSeen = -1;  // -1: waiting for the first cycle after the start-up pass
    double cycleStartMs = 0, cpuStart = 0, wallStart = 0;
    long characters = 0;
    int selected = -1;
    // A generous bound: start-up pass plus the cycles, each at most a
    // second per recorder.
    const double deadline = steadyMs() + 1000.0 * recorders * (cycles + 2) + 30000;
    while (cyclesSeen < cycles) {
        if (!run.running())
            throw std::runtime_error("the monitor ended early (see its output)");
        if (steadyMs() > deadline)
            throw std::runtime_error("the polling did not get round in time");
        std::this_thread::sleep_for(std::chrono::milliseconds(startupDone ? 20 : 5));
        const double seenMs = steadyMs();
        for (const LoggedRequest& r : run.newRequests()) {
            if (!startupDone) {
                // Connecting sends a close command to every recorder first;
                // the pass ends with the close after the last one's reply.
                if (r.kind == "open" && r.text == last)
                    lastOpened = true;
                if (lastOpened && r.kind == "close" && r.text == last) {
                    startupDone = true;
                    f.windowShownS = (seenMs - run.launchedMs()) / 1000.0;
                }
                continue;
            }
            if (r.kind == "open" && r.text == first) {
                if (cyclesSeen < 0) {
                    cpuStart = processCpuSeconds(run.pid());
                    wallStart = steadyMs();
                    characters = 0;
                } else {
                    f.cycleS.push_back((r.ms - cycleStartMs) / 1000.0);
                }
                cycleStartMs = r.ms;
                if (++cyclesSeen == cycles)
                    break;
            }
            if (cyclesSeen < 0)
                continue;
            characters += requestCharacters(r);
            if (r.kind == "open")
                selected = std::stoi(r.text);
            if (r.kind == "data" && selected >= 1) {
                for (const std::string& line : generator.reply(selected, std::stoi(r.text), 0, 0, 1))
                    characters += static_cast<long>(line.size());
            }
        }
    }
    const double cpu = processCpuSeconds(run.pid()) - cpuStart;
    f.cpuShare = cpu / ((steadyMs() - wallStart) / 1000.0);
    f.lineLimitS = static_cast<double>(characters) / cycles * 10.0 / baud;
    return f;
}

}  // namespace rdxbench
