// The publisher against a real mosquitto on a free loopback port: the values of
// the selected channels, the status topic, a broker restart, a publisher killed.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <regex>
#include <spawn.h>
#include <thread>

#include <arpa/inet.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimeZone>

#include "Publisher.h"
#include "support/BrokerSubscriber.h"

extern char** environ;
using namespace rdxpub;
using State = Publisher::State;

namespace {

pid_t spawn(const std::string& program, const char* a = nullptr, const char* b = nullptr)
{
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(a), const_cast<char*>(b), nullptr};
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

void kill9(pid_t& pid)
{
    if (pid > 0 && ::kill(pid, SIGKILL) == 0)
        ::waitpid(std::exchange(pid, -1), nullptr, 0);
}

// 0: a free port; else whether something listens on port.
int probe(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    const auto sa = reinterpret_cast<sockaddr*>(&a);
    const int result = port ? ::connect(fd, sa, len) == 0 : (::bind(fd, sa, len), ::getsockname(fd, sa, &len), ntohs(a.sin_port));
    ::close(fd);
    return result;
}

struct Broker {
    int port = probe(0);
    pid_t pid = -1;
    Broker() { start(); }
    ~Broker() { kill9(pid); }
    bool start()
    {
        pid = spawn("mosquitto", "-p", std::to_string(port).c_str());
        for (int i = 0; i < 300 && !probe(port); ++i)
            ::usleep(10000);
        return probe(port);
    }
};

struct Subscriber : rdxtest::BrokerSubscriber {
    Subscriber(int port, const std::string& topic) : BrokerSubscriber(port, topic, "sub-" + topic) { subscribed(3000); }
    // Whether a message on topic whose payload holds text comes within ms.
    bool seen(const std::string& topic, const std::string& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        for (auto m = next(ms); m; m = next(std::max<int>(0, ms - t.elapsed())))
            if (m->topic == topic && m->payload.find(text) != std::string::npos)
                return true;
        return false;
    }
};

BrokerConfig config(int port, const QString& line)
{
    BrokerConfig c;
    c.host = "127.0.0.1", c.port = port, c.line = line, c.clientId = "test-" + line;
    return c;
}

// Slot 0: channels 1-3 selected and current, 4 not selected, 5 and 6
// without a reading; slot 30: channel 6 only.
rdxmon::SharedState values()
{
    rdxmon::SharedState s;
    const float v[] = {12.3f, -0.05f, 1234.5f, 8.f, 9.f};
    for (int k = 0; k < 5; ++k)
        s.gPvValue[k] = v[k], s.gChannel[k].Name = QString("Boiler %1").arg(k).leftJustified(18);
    for (int k : {0, 1, 2, 3})
        s.gPvState[k] = rdxmon::PvState::Current;
    s.gChannel[2].Name = QString("Boiler\r\n2\x7f").leftJustified(18);  // control characters go as blanks
    s.gChannel[3].LogSel = 0;
    s.gPvValue[185] = 7.77f, s.gPvState[185] = rdxmon::PvState::Current, s.gChannel[185].Name = QString(18, u' ');
    return s;
}

const QDateTime kTime(QDate(2026, 12, 7), QTime(3, 4, 5, 120), QTimeZone(3600));

// The test program run again as a publisher in a process of its own: it
// takes a reply of slot 0 every 50 ms, the value going up by one each time.
[[maybe_unused]] const bool kChild = [] {
    const char* port = std::getenv("RDXPUB_CHILD_PORT");
    if (!port)
        return false;
    static rdxmon::SharedState s = values();
    static Publisher p(s, config(std::atoi(port), "child"));
    p.start();
    ::alarm(20);
    for (;; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        s.gPvValue[0] += 1, p.replyTaken(0, QDateTime::currentDateTime());
}();

pid_t startChild(int port)
{
    ::setenv("RDXPUB_CHILD_PORT", std::to_string(port).c_str(), 1);
    const pid_t pid = spawn(std::filesystem::read_symlink("/proc/self/exe"));
    ::unsetenv("RDXPUB_CHILD_PORT");
    return pid;
}

}  // namespace

TEST(Publisher, EveryChangeOfAChannelsStateReachesTheBrokerAndNothingWaitsForAMissingBroker)
{
    Broker broker;
    rdxmon::SharedState s = values();
    Publisher away(s, config(probe(0), "away"));  // polls never wait for a broker that is not there
    away.start();
    QElapsedTimer call;
    call.start();
    for (int i = 0; i < 100; ++i)
        away.replyTaken(0, kTime);
    EXPECT_LT(call.elapsed(), 100);

    Subscriber sub(broker.port, "rdx512/values/#");
    Publisher p(s, config(broker.port, "values"));
    p.start();  // slot 0's channels: no reading, whatever an earlier run left
    for (int i = 0; i < 300 && p.state() != State::Connected; ++i)
        ::usleep(10000);
    ASSERT_EQ(p.state(), State::Connected);
    p.replyTaken(0, kTime);
    p.replyTaken(30, kTime);
    s.gPvState[185] = rdxmon::PvState::Stale;  // as the polling cycle marks a miss
    p.pollMissed(30, kTime.addSecs(5), rdxmon::MissReason::NoReply);
    p.pollMissed(30, kTime.addSecs(10), rdxmon::MissReason::NoReply);
    s.gChannel[0].LogSel = 0;  // taken off the log
    p.replyTaken(0, kTime);
    p.replyTaken(0, kTime);
    p.stop();  // "offline" comes after everything else
    EXPECT_EQ(p.state(), State::Off);

    const auto json = [](std::string value, std::string name, bool stale) {
        return "{\"value\":" + value + ",\"name\":\"" + name + "\",\"time\":\"" +
               (value == "null" ? "now" : "2026-12-07T03:04:05.120+01:00") + "\",\"stale\":" + (stale ? "true}" : "false}");
    };
    const std::string none = json("null", "Boiler 3", true);
    // Per topic, in order; a "no reading" carries the time it was said.
    const std::map<std::string, std::vector<std::string>> expected = {
        {"01/1", {json("null", "Boiler 0", true), json("12.3", "Boiler 0", false), json("12.3", "Boiler 0", true)}},
        {"01/2", {json("null", "Boiler 1", true), json("-0.05", "Boiler 1", false), json("-0.05", "Boiler 1", false),
                  json("-0.05", "Boiler 1", false)}},
        {"01/3", {json("null", "Boiler  2", true), json("1234.5", "Boiler  2", false), json("1234.5", "Boiler  2", false),
                  json("1234.5", "Boiler  2", false)}},
        {"01/4", {none}},
        {"01/5", {json("null", "Boiler 4", true)}},
        {"01/6", {json("null", "", true)}},
        {"31/1", {json("null", "", true)}}, {"31/2", {json("null", "", true)}}, {"31/3", {json("null", "", true)}},
        {"31/4", {json("null", "", true)}}, {"31/5", {json("null", "", true)}},
        {"31/6", {json("7.77", "", false), json("7.77", "", true)}},
        {"status", {"online"}},
    };
    std::map<std::string, std::vector<std::string>> got;
    static const std::regex now("\"time\":\"[^\"]*\",\"stale\":true");
    std::optional<rdxtest::BrokerMessage> m;
    for (m = sub.next(3000); m && m->payload != "offline"; m = sub.next(3000)) {
        std::string payload = m->payload;
        if (payload.starts_with("{\"value\":null"))
            payload = std::regex_replace(payload, now, "\"time\":\"now\",\"stale\":true");
        got[m->topic.substr(std::string("rdx512/values/").size())].push_back(payload);
        EXPECT_EQ(m->qos, 1);
    }
    EXPECT_EQ(got, expected);
    ASSERT_TRUE(m);
}

TEST(Publisher, OtherProcessResumesWithin5sAfterABrokerRestartAndLeavesOfflineWhenKilled)
{
    Broker broker;
    Subscriber sub(broker.port, "rdx512/child/#");
    pid_t child = startChild(broker.port);
    EXPECT_TRUE(sub.seen("rdx512/child/status", "online", 5000));
    ASSERT_TRUE(sub.seen("rdx512/child/01/1", "value", 3000));
    kill9(broker.pid);
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(broker.start());
    Subscriber again(broker.port, "rdx512/child/#");
    EXPECT_TRUE(again.seen("rdx512/child/01/1", "\"stale\":false", 5000 - back.elapsed()));  // Paho: about 4 s

    kill9(child);
    EXPECT_TRUE(again.seen("rdx512/child/status", "offline", 3000));
    const auto m = Subscriber(broker.port, "rdx512/child/01/1").next(3000);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->retained);
}
