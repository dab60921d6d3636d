// One exchange with one recorder through the link library: the smallest
// program that polls, written to be read beside rdx5Comm3.h.
//
//   one-exchange DEVICE [ADDRESS]
//
// Opens DEVICE (a serial device, or the COM1 link the simulator makes) at
// 9600 bit/s, 7 data bits, even parity, 1 stop bit, asks the recorder at
// ADDRESS (default "01") for its 6 channels and prints the reply's lines.
// Exit status 0 with a reply, 1 without one.
//
// Try it against the simulator:
//   build/bin/rdx512-sim --dir /tmp/line &
//   build/examples/one-exchange /tmp/line/COM1 05
#include <chrono>
#include <iostream>
#include <string>
#include <thread>

#include "rdx5Comm3.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: one-exchange DEVICE [ADDRESS]\n";
        return 2;
    }
    const std::string device = argv[1];
    const std::string address = argc > 2 ? argv[2] : "01";

    try {
        // The link object on the real serial control. The resolver tells the
        // control which device a port number opens: here port 1 is DEVICE.
        rdx::rdx5Comm3 link(rdx::makeTermiosControl([device](int) { return device; }), rdx::makeSystemTickCounter());

        // The settings are only kept here; PortOpen examines them (Flow is the
        // one checked at once).
        link.Port("COM1");
        link.BaudRate("9600");
        link.DataBit("7");
        link.Pality("EVEN");
        link.StopBit("1");
        link.Flow("NONE");
        link.TimeOut(1000);  // the whole reply must be in 1 s after the request

        // False: the device did not assert CTS (the library has said so
        // through its message notifier, on standard error by default).
        if (!link.PortOpen())
            return 1;

        // RWcomm is one step of the exchange. Call it like a timer would
        // until it returns something: "" means under way, ESC alone that no
        // reply came in time, anything else is the reply. A step never waits
        // for a silent recorder, and ESC comes at most TimeOut ms after the
        // first call, so this loop ends.
        std::string reply;
        while (reply.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            reply = link.RWcomm(address, "06", 1, "N");  // 1 and "N" are not used
        }
        link.PortClose();
        if (reply == "\x1b") {
            std::cerr << "one-exchange: recorder " << address << " did not answer\n";
            return 1;
        }

        // 8 lines (2 + the channel count), each ending in CR LF; line 2 + c - 1
        // carries channel c.
        for (std::size_t start = 0; start < reply.size();) {
            const std::size_t end = reply.find("\r\n", start);
            std::cout << reply.substr(start, end - start) << '\n';
            start = end + 2;
        }
        return 0;
    } catch (const rdx::LinkError& e) {
        // PortOpen raises 30019 for whatever stopped it, with that as cause.
        std::cerr << "one-exchange: error " << e.number() << ": " << e.description();
        if (e.causeNumber() != 0 || !e.causeDescription().empty())
            std::cerr << " (" << e.causeNumber() << ": " << e.causeDescription() << ")";
        std::cerr << '\n';
        return 1;
    }
}
