// rdx-exchange: one full exchange with one recorder through the link
// library, driven from a 50 ms loop the way the monitor drives it.
//
//   rdx-exchange [--device PATH | --port N] [--address A] [--baud B] [--count C]
//
// --device opens that device for the port instead of the usual lookup (the
// link COMn in the folder where the monitor keeps its files, where
// rdx512-sim puts it, else the library's rule: the link COMn beside the
// program, /dev/ttyS<n-1>). Prints the reply lines; on failure prints the
// reason and exits with 1.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

#include "ToolOptions.h"
#include "rdx5Comm3.h"
#include "startup/FilesFolder.h"

namespace {

const char kUsage[] = "usage: rdx-exchange [--device PATH | --port N] [--address A] [--baud B] [--count C]\n"
                      "One exchange with one RDX-512 recorder through the link library; prints its reply.\n"
                      "  --device PATH  the serial device to open\n"
                      "  --port N       port COMn: the link COMn where the monitor keeps its files (where\n"
                      "                 rdx512-sim puts it), else beside the program, else /dev/ttyS<n-1> (default 1)\n"
                      "  --address A    the recorder's address (default 01)\n"
                      "  --baud B       line speed (default 9600)\n"
                      "  --count C      channels asked for (default 06)\n"
                      "  -h, --help     show this text\n"
                      "  --version      show the version\n";

int usage()
{
    std::cerr << kUsage;
    return 2;
}

// The port's link where the monitor keeps its files, else the library's rule.
std::string portDevice(int port)
{
    const std::string folder = rdxfiles::filesFolder(
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string(), rdxfiles::Environment::current());
    const std::string link = folder + "/COM" + std::to_string(port);
    struct stat st {};
    return !folder.empty() && ::lstat(link.c_str(), &st) == 0 ? link : rdx::defaultDevicePath(port);
}

std::string twoDigits(const std::string& text)
{
    return text.size() == 1 ? "0" + text : text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(argc, argv, "rdx-exchange", kUsage))
        return 0;
    std::string device, port = "1", address = "01", baud = "9600", count = "06";
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[i + 1];
        if (option == "--device")
            device = value;
        else if (option == "--port")
            port = value;
        else if (option == "--address")
            address = twoDigits(value);
        else if (option == "--baud")
            baud = value;
        else if (option == "--count")
            count = twoDigits(value);
        else
            return usage();
    }
    const std::string path = device.empty() ? portDevice(std::atoi(port.c_str())) : device;
    if (access(path.c_str(), F_OK) != 0) {
        std::cerr << "rdx-exchange: no serial device " << path << " for the port\n";
        return 1;
    }
    try {
        const rdx::DeviceResolver resolver = [path](int) { return path; };
        rdx::rdx5Comm3 link(rdx::makeTermiosControl(resolver), rdx::makeSystemTickCounter());
        link.TimeOut(1000);
        link.Port("COM" + port);  // examined by PortOpen
        link.BaudRate(baud);
        link.DataBit("7");
        link.StopBit("1");
        link.Flow("NONE");
        link.Pality("Even");
        if (!link.PortOpen()) {
            std::cerr << "rdx-exchange: the port COM" << port << " cannot be used\n";
            return 1;
        }
        link.SendBufClear();
        link.RecvBufClear();

        const std::int16_t tries = 1;
        const auto tick = std::chrono::milliseconds(50);
        auto next = std::chrono::steady_clock::now();
        // A reply that is not even started within 5 s means the link is stuck.
        const auto giveUp = next + std::chrono::seconds(5);
        std::string reply;
        while (reply.empty()) {
            if (std::chrono::steady_clock::now() > giveUp) {
                std::cerr << "rdx-exchange: the exchange did not end\n";
                return 1;
            }
            next += tick;
            std::this_thread::sleep_until(next);
            reply = link.RWcomm(address, count, tries, "N");
        }
        link.PortClose();
        if (reply == "\x1b") {
            std::cerr << "rdx-exchange: recorder " << address << " did not answer within 1000 ms\n";
            return 1;
        }
        for (std::size_t start = 0; start < reply.size();) {
            std::size_t end = reply.find("\r\n", start);
            end = end == std::string::npos ? reply.size() : end;
            std::cout << reply.substr(start, end - start) << '\n';
            start = end + 2;
        }
        return 0;
    } catch (const rdx::LinkError& e) {
        std::cerr << "rdx-exchange: error " << e.number() << ": " << e.description() << "\n";
        return 1;
    }
}
