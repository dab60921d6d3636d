// bench-publish: the broker publisher on the real poll cycle against the
// simulator, with a real mosquitto broker that goes away in the middle.
//
//   bench-publish [--configs 31@9600] [--minutes 30] [--down-minutes 5] [--sim PATH]
//
// The polling thread polls the simulator; the poll cycle hands every reply
// to the publisher; a subscriber in this process takes every value. Figures:
//  - latency from the reply (the time in the payload, stamped when the
//    reply's values were taken in) to the subscriber's receipt: p50, p99, max;
//  - the broker is stopped after (minutes - down) / 2 and started again
//    down-minutes later: the values produced meanwhile (handed to the
//    publisher as current), those of them delivered to the subscriber
//    (whose session the broker keeps over its restart, so it sees all the
//    publisher delivers) and the values the offline buffer dropped; whether
//    every topic's values arrived in the order of their times; the time
//    until a current value arrives again;
//  - memory (VmRSS) growth from the end of the first minute to the end, and
//    CPU of this whole process (polling, publishing, subscribing) over the run.
#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <mutex>
#include <spawn.h>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QTimer>

#include <mqtt/async_client.h>

#include "BenchOptions.h"
#include "Publisher.h"
#include "SimProcess.h"
#include "ToolOptions.h"
#include "polling/PollCycle.h"
#include "polling/PollWorker.h"
#include "rdx5Comm3.h"

extern char** environ;

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long rssKb()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    if (f)
        std::fclose(f);
    return kb;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// mosquitto on PORT, loopback only, keeping its sessions in a folder of its
// own over a restart, with no bound on the messages queued for a client.
class Broker {
public:
    explicit Broker(int port) : port_(port)
    {
        char dir[] = "/tmp/bench-publish-XXXXXX";
        folder_ = ::mkdtemp(dir) ? dir : "/tmp";
        const passwd* user = ::getpwuid(::geteuid());
        std::ofstream(folder_ + "/mosquitto.conf")
            << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\nlog_dest none\npersistence true\n"
            << "persistence_location " << folder_ << "/\nmax_queued_messages 0\nuser "
            << (user ? user->pw_name : "root") << '\n';
        start();
    }
    ~Broker()
    {
        stop();
        std::filesystem::remove_all(folder_);
    }
    void start()
    {
        const std::string conf = folder_ + "/mosquitto.conf";
        char* args[]
            = {const_cast<char*>("mosquitto"), const_cast<char*>("-c"), const_cast<char*>(conf.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnp(&pid_, "mosquitto", &actions, nullptr, args, environ);
        posix_spawn_file_actions_destroy(&actions);
        QThread::msleep(300);
    }
    // SIGTERM: the broker goes away as for maintenance, saving its sessions.
    void stop()
    {
        if (pid_ > 0 && ::kill(pid_, SIGTERM) == 0)
            ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    int port_;
    pid_t pid_ = -1;
    std::string folder_;
};

class NoView : public rdxmon::PvView {
public:
    int shownPage() const override { return 0; }
    void setPvCaption(int, const QString&) override {}
    void setProgress(int) override {}
};

// Counts the values handed to the publisher while the broker is away.
class Counter : public rdxmon::PollListener {
public:
    explicit Counter(const rdxmon::SharedState& s) : s_(s) {}
    void replyTaken(int slot, const QDateTime&) override
    {
        for (int k = slot * 6; k < slot * 6 + 6; ++k)
            values += rdxmon::isCurrent(s_.gPvState[k]) && s_.gChannel[k].LogSel != 0;
    }
    std::atomic<long> values{0};

private:
    const rdxmon::SharedState& s_;
};

// Latencies in whole milliseconds, kept in fixed memory so that a long run
// measures the publisher's memory, not the benchmark's.
struct Histogram {
    std::array<long, 10001> counts{};
    long n = 0;
    void add(qint64 ms) { ++counts[std::clamp<qint64>(ms, 0, 10000)], ++n; }
    long percentile(double p) const
    {
        long seen = 0;
        for (std::size_t ms = 0; ms < counts.size(); ++ms)
            if ((seen += counts[ms]) > 0 && seen >= p * n)
                return static_cast<long>(ms);
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-publish",
            "usage: bench-publish [--configs 31@9600] [--minutes 30] [--down-minutes 5] [--sim PATH]\nPublishing to a "
            "mosquitto on loopback: reply-to-subscriber latency, and a run with the\nbroker down in the middle.\n"))
        return 0;
    std::string configText = "31@9600", simPath = rdxbench::binFolder() + "/rdx512-sim";
    double minutes = 30, downMinutes = 5;
    rdxbench::LineConfig line{};
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--configs")
                configText = value;
            else if (option == "--minutes")
                minutes = std::stod(value);
            else if (option == "--down-minutes")
                downMinutes = std::stod(value);
            else if (option == "--sim")
                simPath = value;
            else
                return false;
            return true;
        });
        line = rdxbench::parseLineConfigs(configText).at(0);
        if (minutes < 1 || downMinutes < 0 || downMinutes > minutes - 1)
            throw std::invalid_argument("--minutes at least 1, --down-minutes 0 to minutes - 1");
    } catch (const std::exception& e) {
        std::cerr << "bench-publish: " << e.what()
                  << "\nusage: bench-publish [--configs 31@9600] [--minutes 30] [--down-minutes 5] [--sim PATH]\n";
        return 2;
    }
    QCoreApplication app(argc, argv);

    const int port = freePort();
    Broker broker(port);
    rdxsim::SimProcess sim(simPath,
                           {"--addresses", "1-" + std::to_string(line.recorders), "--baud", std::to_string(line.baud)});
    const std::string device = sim.linkPath();
    rdx::rdx5Comm3 link(rdx::makeTermiosControl([device](int) { return device; }), rdx::makeSystemTickCounter());

    rdxmon::SharedState state;
    state.gInit.Speed = QString::number(line.baud);
    state.gInit.RecCount = QString::number(line.recorders);
    state.gRecTotal = line.recorders;
    state.gLink = &link;
    for (int s = 0; s < rdxmon::kSlotCount; ++s)
        state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
    for (int k = 0; k < rdxmon::kChannelCount; ++k)
        state.gChannel[k].Name = QStringLiteral("Channel %1").arg(k).leftJustified(18);

    rdxpub::BrokerConfig config;
    config.host = QStringLiteral("127.0.0.1"), config.port = port, config.line = QStringLiteral("bench");
    config.clientId = QStringLiteral("bench-publisher");

    // Times in ms since the epoch: end of the warm-up, broker down and back.
    std::atomic<qint64> warmEndMs{std::numeric_limits<qint64>::max()}, downMs{0}, upMs{0}, firstCurrent{-1};
    std::mutex lock;
    Histogram steady, after;
    long received = 0, stale = 0, delivered = 0, retainedOld = 0, outOfOrder = 0, duplicates = 0;
    std::map<std::string, qint64> lastTime;  // per topic, the newest reply time received
    mqtt::async_client sub("tcp://127.0.0.1:" + std::to_string(port), "bench-subscriber");
    // The broker keeps the subscriber's session: subscribed once, it gets
    // every message of the topics, also those that came while it was away.
    std::atomic<bool> subscribed{false};
    sub.set_connected_handler([&](const std::string&) {
        if (!subscribed.exchange(true))
            sub.subscribe("rdx512/bench/+/+", 1);
    });
    sub.set_message_callback([&](mqtt::const_message_ptr m) {
        const qint64 at = nowMs();
        const std::string text = m->to_string();
        const auto t = text.find("\"time\":\"");
        const qint64 reply = QDateTime::fromString(QString::fromStdString(text.substr(t + 8, 29)), Qt::ISODateWithMs)
                                 .toMSecsSinceEpoch();
        const bool isStale = text.find("\"stale\":true") != std::string::npos;
        std::lock_guard<std::mutex> g(lock);
        ++received;
        if (m->is_retained()) {
            retainedOld += upMs && reply < upMs;
            return;
        }
        qint64& last = lastTime[m->get_topic()];
        outOfOrder += reply < last;
        duplicates += reply == last && !isStale;
        last = std::max(last, reply);
        const qint64 up = upMs, down = downMs;
        if (isStale)
            ++stale;
        else if (down && reply >= down && (!up || reply < up))
            ++delivered;
        else if (reply >= warmEndMs && (!down || reply < down))
            steady.add(at - reply);
        else if (up && reply >= up + 10000)
            after.add(at - reply);
        if (up && reply >= up && !isStale && firstCurrent < 0)
            firstCurrent = at - up;
    });
    mqtt::connect_options subOptions;
    subOptions.set_clean_session(false);
    subOptions.set_automatic_reconnect(1, 1);
    sub.connect(subOptions)->wait_for(std::chrono::seconds(5));

    NoView view;
    rdxmon::PollCycle cycle(state, view);
    rdxpub::Publisher publisher(state, config);
    Counter counter(state);
    cycle.addListener(&publisher);
    cycle.addListener(&counter);
    publisher.start();
    rdxmon::PollingThread polling(state, cycle);
    polling.start([](const rdxmon::ConnectResult& r) {
        if (!r.opened) {
            std::cerr << "bench-publish: the simulator's port did not open\n";
            QCoreApplication::exit(1);
        }
    });

    const qint64 runMs = static_cast<qint64>(minutes * 60000), downForMs = static_cast<qint64>(downMinutes * 60000);
    const qint64 startMs = nowMs(), downAt = (runMs - downForMs) / 2;
    long rss0 = 0, rssMax = 0, valuesBefore = 0, valuesDown = 0, droppedBefore = 0, droppedDown = 0;
    double cpu0 = 0;
    qint64 cpu0Ms = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const qint64 t = nowMs() - startMs;
        rssMax = std::max(rssMax, rssKb());
        if (!rss0 && t >= std::min<qint64>(60000, runMs / 10))
            rss0 = rssKb(), cpu0 = cpuSeconds(), cpu0Ms = warmEndMs = nowMs();
        if (!downMs && downForMs > 0 && t >= downAt)
            downMs = nowMs(), valuesBefore = counter.values, droppedBefore = publisher.droppedValues(), broker.stop();
        if (downMs && !upMs && t >= downAt + downForMs) {
            upMs = nowMs();
            valuesDown = counter.values - valuesBefore, droppedDown = publisher.droppedValues() - droppedBefore;
            broker.start();
        }
        if (t >= runMs)
            QCoreApplication::quit();
    });
    sample.start(250);
    const int rc = app.exec();
    const double cpu = (cpuSeconds() - cpu0) / ((nowMs() - cpu0Ms) / 1000.0);
    const long rss1 = rssKb();
    polling.stop([&] { link.PortClose(); });
    publisher.stop();
    sub.disable_callbacks();
    if (rc != 0)
        return rc;

    std::lock_guard<std::mutex> g(lock);
    std::printf("bench-publish %d@%d, %.1f min, broker down %.2f min; %ld messages received (%ld stale)\n",
                line.recorders, line.baud, minutes, downMinutes, received, stale);
    std::printf("latency reply->receipt [ms] after warm-up, before the outage: n=%ld p50=%ld p99=%ld max=%ld; "
                "from 10 s after it: n=%ld p50=%ld p99=%ld max=%ld\n",
                steady.n, steady.percentile(0.5), steady.percentile(0.99), steady.percentile(1.0), after.n,
                after.percentile(0.5), after.percentile(0.99), after.percentile(1.0));
    if (downForMs > 0)
        std::printf("outage: %ld values produced while the broker was away, %ld of them delivered, %ld messages "
                    "dropped by the offline buffer (bound %d messages, %d s at %d bit/s); out of order %ld, "
                    "duplicates %ld; first current value %lld ms after the broker was back\n",
                    valuesDown, delivered, droppedDown, publisher.bufferCapacity(), publisher.bufferSeconds(),
                    line.baud, outOfOrder, duplicates, static_cast<long long>(firstCurrent.load()));
    std::printf("memory VmRSS: %ld kB after warm-up -> %ld kB at the end (growth %ld kB, max %ld kB); "
                "CPU of the process: %.2f %% of a core\n",
                rss0, rss1, rss1 - rss0, rssMax, 100.0 * cpu);
    // Within the buffer's bound an outage costs no value.
    const bool withinBound = downForMs / 1000 < publisher.bufferSeconds();
    // Memory: no growth beyond what the outage's messages took, in the
    // publisher's buffer and in the subscriber of this same process that
    // gets them in one burst (the allocator keeps it once they went out).
    const long bufferKb = std::min<long>(valuesDown, publisher.bufferCapacity()) * rdxpub::kBufferedMessageBytes / 1024;
    const bool met = steady.percentile(0.99) < 50 && (downForMs == 0 || after.percentile(0.99) < 50)
        && rss1 - rss0 < 5 * 1024 + 2 * bufferKb && cpu < 0.02 && outOfOrder == 0
        && (downForMs == 0 || (firstCurrent >= 0 && (!withinBound || (droppedDown == 0 && delivered == valuesDown))));
    std::printf("%s\n", met ? "all figures met" : "NOT all figures met");
    return met ? 0 : 1;
}
