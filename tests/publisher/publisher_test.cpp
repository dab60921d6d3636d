// The publisher against a real mosquitto broker: the values of the selected
// channels, the status topic, a broker that restarts, and a publisher killed.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimeZone>

#include "Publisher.h"
#include "broker_support.h"

using namespace rdxpub;
using State = Publisher::State;

namespace {

BrokerConfig config(int port, const QString& line)
{
    BrokerConfig c;
    c.host = "127.0.0.1", c.port = port, c.line = line, c.clientId = "test-" + line;
    return c;
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    for (QElapsedTimer t; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (!t.isValid() ? (t.start(), false) : t.elapsed() > ms)
            return false;
    return true;
}

// Slot 0: channels 1-3 selected with readings, 4 not selected, 5 never read;
// slot 30: channel 6 only.
rdxmon::SharedState values()
{
    rdxmon::SharedState s;
    const float v[] = {12.3f, -0.05f, 1234.5f, 8.f, 9.f};
    for (int k = 0; k < 5; ++k)
        s.gPvValue[k] = v[k], s.gPvRead[k] = k != 4, s.gChannel[k].Name = QString("Boiler %1").arg(k).leftJustified(18);
    s.gChannel[3].LogSel = 0;
    s.gPvValue[185] = 7.77f, s.gPvRead[185] = true, s.gChannel[185].Name = QString(18, u' ');
    return s;
}

const QDateTime kTime(QDate(2026, 12, 7), QTime(3, 4, 5, 120), QTimeZone(3600));

// The test program run again as a publisher in a process of its own: it
// takes a reply of slot 0 every 50 ms, the value counting up from 1.
const bool kChild = [] {
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
    return spawn({std::filesystem::read_symlink("/proc/self/exe").string()},
                 "RDXPUB_CHILD_PORT=" + std::to_string(port));
}

void killChild(pid_t child)
{
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

}  // namespace

TEST(Publisher, SelectedValuesRetainedStaleOnceStatusOnlineThenOffline)
{
    Broker broker;
    const rdxmon::SharedState s = values();
    Publisher p(s, config(broker.port(), "values"));
    p.start();
    ASSERT_TRUE(waitFor([&] { return p.state() == State::Connected; }, 3000));
    Subscriber sub(broker.port(), "rdx512/values/#");
    auto m = sub.next(3000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->get_topic() + ' ' + m->to_string(), "rdx512/values/status online");
    EXPECT_TRUE(m->is_retained());

    p.replyTaken(0, kTime);
    p.replyTaken(30, kTime);
    p.pollMissed(30, kTime.addSecs(5));
    p.pollMissed(30, kTime.addSecs(10));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"01/1", "{\"value\":12.3,\"name\":\"Boiler 0\",\"time\":\"2026-12-07T03:04:05.120+01:00\",\"stale\":false}"},
        {"01/2", "{\"value\":-0.05,\"name\":\"Boiler 1\",\"time\":\"2026-12-07T03:04:05.120+01:00\",\"stale\":false}"},
        {"01/3", "{\"value\":1234.5,\"name\":\"Boiler 2\",\"time\":\"2026-12-07T03:04:05.120+01:00\",\"stale\":false}"},
        {"31/6", "{\"value\":7.77,\"name\":\"\",\"time\":\"2026-12-07T03:04:05.120+01:00\",\"stale\":false}"},
        {"31/6", "{\"value\":7.77,\"name\":\"\",\"time\":\"2026-12-07T03:04:05.120+01:00\",\"stale\":true}"}};
    std::vector<std::pair<std::string, std::string>> got;
    while (got.size() < expected.size() && (m = sub.next(3000))) {
        got.emplace_back(m->get_topic().substr(14), m->to_string());
        EXPECT_EQ(m->get_qos(), 1);
    }
    EXPECT_EQ(got, expected);

    p.stop();
    EXPECT_EQ(p.state(), State::Off);
    m = sub.next(3000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->get_topic() + ' ' + m->to_string(), "rdx512/values/status offline");
}

TEST(Publisher, BrokerBackAfterAStopGetsValuesWithin5sAndPollsNeverWait)
{
    Broker broker;
    const pid_t child = startChild(broker.port());
    ASSERT_TRUE(Subscriber(broker.port(), "rdx512/child/01/1").next(5000));
    broker.stop();
    {
        const rdxmon::SharedState s = values();
        Publisher p(s, config(broker.port(), "local"));
        p.start();
        QElapsedTimer call;
        call.start();
        for (int i = 0; i < 100; ++i)
            p.replyTaken(0, kTime);
        EXPECT_LT(call.elapsed(), 100);
    }
    QElapsedTimer back;
    back.start();
    ASSERT_TRUE(broker.start());
    Subscriber sub(broker.port(), "rdx512/child/01/1");
    const auto m = sub.next(5000);
    EXPECT_LT(back.elapsed(), 5000);
    killChild(child);
    ASSERT_TRUE(m);
    EXPECT_NE(m->to_string().find("\"stale\":false"), std::string::npos);
}

TEST(Publisher, KilledPublisherLeavesOfflineBehind)
{
    Broker broker;
    Subscriber sub(broker.port(), "rdx512/child/status");
    const pid_t child = startChild(broker.port());
    auto m = sub.next(5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->to_string(), "online");
    killChild(child);
    m = sub.next(3000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->to_string(), "offline");
    EXPECT_FALSE(kChild);
}
