// bench-gateway: the Modbus TCP gateway of the real monitor program under
// load, and what it costs the polling.
//
//   bench-gateway [--cycles N] [--clients 10] [--rate 10] [--configs 31@9600]
//
// For every configuration (recorders@line speed) the monitor runs twice
// against the simulator, as bench-monitor runs it: first without the
// gateway, then with it turned on in rdx512.conf while --clients libmodbus
// clients, each on a thread and a connection of its own, read the whole
// register map --rate times a second (every range of the map in requests of
// at most 125 registers or 2000 inputs). Printed: per run the median poll
// cycle against the line-time limit and the program's CPU share; for the
// clients the requests, the errors and the response time of one request
// (median, 99th percentile, longest) and of one whole map.
// Targets: request p99 under 5 ms, no errors, and the poll cycle's ratio
// with the gateway within 1 % of the ratio without it (and at most 1.03).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "BenchOptions.h"
#include "MonitorRun.h"
#include "RegisterMap.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Request {
    rdxgw::Table table;
    int first, count;
};

// The whole map as requests: each run of addresses the map holds, cut at
// the most one request may read.
std::vector<Request> wholeMap()
{
    std::vector<Request> requests;
    for (const rdxgw::Table table : {rdxgw::Table::InputRegisters, rdxgw::Table::DiscreteInputs}) {
        const int most = table == rdxgw::Table::InputRegisters ? MODBUS_MAX_READ_REGISTERS : MODBUS_MAX_READ_BITS;
        for (int a = 0; a < rdxgw::extent(table);) {
            if (!rdxgw::inMap(table, a, 1)) {
                ++a;
                continue;
            }
            int n = 1;
            while (n < most && rdxgw::inMap(table, a, n + 1))
                ++n;
            requests.push_back({table, a, n});
            a += n;
        }
    }
    return requests;
}

struct ClientFigures {
    std::vector<double> requestMs, mapMs;
    long errors = 0;
};

void readMapRepeatedly(int port, double rate, const std::vector<Request>& map, const std::atomic<bool>& stop,
                       ClientFigures& out)
{
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    modbus_set_response_timeout(ctx, 1, 0);
    // The program listens once its files are read.
    while (!stop && modbus_connect(ctx) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<std::uint16_t> registers(MODBUS_MAX_READ_REGISTERS);
    std::vector<std::uint8_t> bits(MODBUS_MAX_READ_BITS);
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    auto next = Clock::now();
    while (!stop) {
        const auto mapStart = Clock::now();
        for (const Request& r : map) {
            const auto t0 = Clock::now();
            const int rc = r.table == rdxgw::Table::InputRegisters
                ? modbus_read_input_registers(ctx, r.first, r.count, registers.data())
                : modbus_read_input_bits(ctx, r.first, r.count, bits.data());
            out.requestMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            if (rc != r.count) {
                ++out.errors;
                modbus_close(ctx);
                modbus_connect(ctx);
            }
        }
        out.mapMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - mapStart).count());
        next += period;
        if (next < Clock::now())
            next = Clock::now();
        std::this_thread::sleep_until(next);
    }
    modbus_close(ctx);
    modbus_free(ctx);
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        throw std::runtime_error("no free port");
    ::close(fd);
    return ntohs(a.sin_port);
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(std::min<double>(v.size() - 1, std::ceil(p * v.size()) - 1))];
}

std::string speedTextFor(int baud)
{
    return baud == 2400 || baud == 4800 || baud == 9600 ? std::to_string(baud) : "9600";
}

struct Run {
    rdxbench::CycleFigures cycles;
    ClientFigures clients;
    int exitStatus = -1;
};

Run measure(const std::string& binDir, const rdxbench::LineConfig& config, int cycles, int clients, double rate,
            bool gateway)
{
    rdxbench::RunSetup setup;
    setup.recorders = config.recorders;
    setup.simBaud = config.baud;
    setup.speedText = speedTextFor(config.baud);
    const int port = freePort();
    if (gateway)
        setup.files.push_back({"rdx512.conf", "[modbus]\nenabled=yes\nport=" + std::to_string(port) + "\n"});
    rdxbench::MonitorRun run(binDir, setup);

    Run result;
    std::atomic<bool> stop{false};
    std::vector<ClientFigures> figures(gateway ? clients : 0);
    std::vector<std::thread> threads;
    const std::vector<Request> map = wholeMap();
    for (ClientFigures& f : figures)
        threads.emplace_back(readMapRepeatedly, port, rate, std::cref(map), std::cref(stop), std::ref(f));
    try {
        result.cycles = rdxbench::watchCycles(run, config.recorders, config.baud, cycles);
    } catch (...) {
        stop = true;
        for (std::thread& t : threads)
            t.join();
        throw;
    }
    stop = true;
    for (std::thread& t : threads)
        t.join();
    for (const ClientFigures& f : figures) {
        result.clients.requestMs.insert(result.clients.requestMs.end(), f.requestMs.begin(), f.requestMs.end());
        result.clients.mapMs.insert(result.clients.mapMs.end(), f.mapMs.begin(), f.mapMs.end());
        result.clients.errors += f.errors;
    }
    result.exitStatus = run.stop();
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    int cycles = 3, clients = 10;
    double rate = 10;
    std::string configText = "31@9600";
    std::vector<rdxbench::LineConfig> configs;
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--cycles")
                cycles = std::max(2, std::stoi(value));
            else if (option == "--clients")
                clients = std::clamp(std::stoi(value), 1, 16);
            else if (option == "--rate")
                rate = std::clamp(std::stod(value), 0.1, 100.0);
            else if (option == "--configs")
                configText = value;
            else
                return false;
            return true;
        });
        configs = rdxbench::parseLineConfigs(configText);
    } catch (const std::exception& e) {
        std::cerr << "bench-gateway: " << e.what()
                  << "\nusage: bench-gateway [--cycles N] [--clients 10] [--rate 10] [--configs 31@9600]\n";
        return 2;
    }

    const std::string binDir = rdxbench::binFolder();
    bool met = true;
    std::printf("%zu requests per whole map; %d clients, %.0f maps a second each\n", wholeMap().size(), clients, rate);
    for (const rdxbench::LineConfig& config : configs) {
        try {
            const Run off = measure(binDir, config, cycles, clients, rate, false);
            const Run on = measure(binDir, config, cycles, clients, rate, true);
            std::printf("%d recorders at %d bit/s\n%-8s %6s %10s %10s %7s %6s %4s\n", config.recorders, config.baud,
                        "gateway", "cycles", "median[s]", "limit[s]", "ratio", "CPU%", "exit");
            double ratios[2];
            int i = 0;
            for (const Run* r : {&off, &on}) {
                const double med = rdxbench::median(r->cycles.cycleS);
                ratios[i] = med / r->cycles.lineLimitS;
                std::printf("%-8s %6zu %10.3f %10.3f %7.4f %6.2f %4d\n", i ? "on" : "off", r->cycles.cycleS.size(), med,
                            r->cycles.lineLimitS, ratios[i], 100.0 * r->cycles.cpuShare, r->exitStatus);
                ++i;
            }
            const ClientFigures& c = on.clients;
            std::printf("requests %zu, errors %ld; one request: median %.3f ms, p99 %.3f ms, longest %.3f ms; "
                        "whole map: median %.3f ms, p99 %.3f ms\n",
                        c.requestMs.size(), c.errors, percentile(c.requestMs, 0.5), percentile(c.requestMs, 0.99),
                        percentile(c.requestMs, 1.0), percentile(c.mapMs, 0.5), percentile(c.mapMs, 0.99));
            std::fflush(stdout);
            if (percentile(c.requestMs, 0.99) >= 5.0 || c.errors != 0 || c.requestMs.empty()
                || std::abs(ratios[1] - ratios[0]) > 0.01 * ratios[0] || ratios[1] > 1.03 || off.exitStatus != 0
                || on.exitStatus != 0)
                met = false;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench-gateway: %d recorders at %d bit/s: %s\n", config.recorders, config.baud,
                         e.what());
            met = false;
        }
    }
    std::printf("targets (request p99 < 5 ms, no errors, cycle ratio with the gateway within 1 %% of the ratio "
                "without and <= 1.03, exit status 0): %s\n",
                met ? "met" : "MISSED");
    return met ? 0 : 1;
}
