// rdx-exchange: one full exchange with one recorder through the link
// library, driven from a 50 ms loop the way the monitor drives it.
//
//   rdx-exchange [--device PATH | --port N] [--address A] [--baud B] [--count C]
//
// --device opens that device for the port instead of the usual COMn link /
// /dev/ttyS<n-1>. Prints the reply lines; on failure prints the reason and
// exits with 1.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <unistd.h>

#include "rdx5Comm3.h"

namespace {

int usage() {
    std::cerr << "usage: rdx-exchange [--device PATH | --port N] [--address A] [--baud B] [--count C]\n";
    return 2;
}

std::string twoDigits(const std::string& text) {
    return text.size() == 1 ? "0" + text : text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device, port = "1", address = "01", baud = "9600", count = "06";
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return usage();
        const std::string value = argv[i + 1];
        if (option == "--device") device = value;
        else if (option == "--port") port = value;
        else if (option == "--address") address = twoDigits(value);
        else if (option == "--baud") baud = value;
        else if (option == "--count") count = twoDigits(value);
        else return usage();
    }
    const std::string path = device.empty() ? rdx::defaultDevicePath(std::atoi(port.c_str())) : device;
    if (access(path.c_str(), F_OK) != 0) {
        std::cerr << "rdx-exchange: no serial device " << path << " for the port\n";
        return 1;
    }
    try {
        rdx::DeviceResolver resolver;
        if (!device.empty()) resolver = [device](int) { return device; };
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
            std::cerr << "rdx-exchange: recorder " << address
                      << " did not answer within 1000 ms\n";
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
