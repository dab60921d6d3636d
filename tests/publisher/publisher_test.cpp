// The publisher against a real mosquitto on a free loopback port: the values of
// the selected channels, the status topic, a broker restart, a publisher killed,
// the cause of each fault, and the offline buffer (its bound, on disk).
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <spawn.h>
#include <thread>

#include <arpa/inet.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimeZone>
#include <mqtt/async_client.h>

#include "Publisher.h"

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
    const int result
        = port ? ::connect(fd, sa, len) == 0 : (::bind(fd, sa, len), ::getsockname(fd, sa, &len), ntohs(a.sin_port));
    ::close(fd);
    return result;
}

// mosquitto on a free loopback port; with conf, these lines in a file of its
// own (its listener and user added).
struct Broker {
    int port = probe(0);
    pid_t pid = -1;
    std::string conf;
    explicit Broker(const std::string& lines = {}, bool run = true)
    {
        if (!lines.empty()) {
            conf = std::filesystem::temp_directory_path() / ("rdxpub-broker-" + std::to_string(port) + ".conf");
            std::ofstream(conf) << "listener " << port << " 127.0.0.1\nuser " << ::getpwuid(::geteuid())->pw_name
                                << "\nlog_dest none\n"
                                << lines;
        }
        if (run)
            start();
    }
    ~Broker()
    {
        kill9(pid);
        if (!conf.empty())
            std::filesystem::remove(conf);
    }
    bool start()
    {
        pid = conf.empty() ? spawn("mosquitto", "-p", std::to_string(port).c_str())
                           : spawn("mosquitto", "-c", conf.c_str());
        for (int i = 0; i < 300 && !probe(port); ++i)
            ::usleep(10000);
        return probe(port);
    }
    // An orderly end, in which a broker with persistence saves its sessions.
    void stop()
    {
        if (pid > 0 && ::kill(pid, SIGTERM) == 0)
            ::waitpid(std::exchange(pid, -1), nullptr, 0);
    }
};

struct Subscriber {
    mqtt::async_client client;
    // kept: a session the broker keeps while the subscriber is away; back:
    // coming back to it (subscribed already).
    Subscriber(int port, const std::string& topic, bool kept = false, bool back = false)
        : client("tcp://127.0.0.1:" + std::to_string(port), "sub-" + topic)
    {
        client.start_consuming();
        mqtt::connect_options options;
        options.set_clean_session(!kept);
        client.connect(options)->wait_for(std::chrono::seconds(3));
        if (!back)
            client.subscribe(topic, 1)->wait_for(std::chrono::seconds(3));
    }
    mqtt::const_message_ptr next(int ms) { return client.try_consume_message_for(std::chrono::milliseconds(ms)); }
    // Whether a message on topic whose payload holds text comes within ms.
    bool seen(const std::string& topic, const std::string& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        for (auto m = next(ms); m; m = next(std::max<int>(0, ms - t.elapsed())))
            if (m->get_topic() == topic && m->to_string().find(text) != std::string::npos)
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
        return "{\"value\":" + value + ",\"name\":\"" + name + "\",\"time\":\""
            + (value == "null" ? "now" : "2026-12-07T03:04:05.120+01:00")
            + "\",\"stale\":" + (stale ? "true}" : "false}");
    };
    const std::string none = json("null", "Boiler 3", true);
    // Per topic, in order; a "no reading" carries the time it was said.
    const std::map<std::string, std::vector<std::string>> expected = {
        {"01/1", {json("null", "Boiler 0", true), json("12.3", "Boiler 0", false), json("12.3", "Boiler 0", true)}},
        {"01/2",
         {json("null", "Boiler 1", true), json("-0.05", "Boiler 1", false), json("-0.05", "Boiler 1", false),
          json("-0.05", "Boiler 1", false)}},
        {"01/3",
         {json("null", "Boiler  2", true), json("1234.5", "Boiler  2", false), json("1234.5", "Boiler  2", false),
          json("1234.5", "Boiler  2", false)}},
        {"01/4", {none}},
        {"01/5", {json("null", "Boiler 4", true)}},
        {"01/6", {json("null", "", true)}},
        {"31/1", {json("null", "", true)}},
        {"31/2", {json("null", "", true)}},
        {"31/3", {json("null", "", true)}},
        {"31/4", {json("null", "", true)}},
        {"31/5", {json("null", "", true)}},
        {"31/6", {json("7.77", "", false), json("7.77", "", true)}},
        {"status", {"online"}},
    };
    std::map<std::string, std::vector<std::string>> got;
    static const std::regex now("\"time\":\"[^\"]*\",\"stale\":true");
    mqtt::const_message_ptr m;
    for (m = sub.next(3000); m && m->to_string() != "offline"; m = sub.next(3000)) {
        std::string payload = m->to_string();
        if (payload.starts_with("{\"value\":null"))
            payload = std::regex_replace(payload, now, "\"time\":\"now\",\"stale\":true");
        got[m->get_topic().substr(std::string("rdx512/values/").size())].push_back(payload);
        EXPECT_EQ(m->get_qos(), 1);
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
    EXPECT_TRUE(again.seen("rdx512/child/01/1", "\"stale\":false", 5000 - back.elapsed()));  // about 1 s

    kill9(child);
    EXPECT_TRUE(again.seen("rdx512/child/status", "offline", 3000));
    const auto m = Subscriber(broker.port, "rdx512/child/01/1").next(3000);
    ASSERT_TRUE(m);
    EXPECT_TRUE(m->is_retained());
}

TEST(Publisher, AnAlarmGoesToItsChannelsTopicRetainedWithEveryLimitsState)
{
    struct States : rdxalarm::AlarmStates {
        rdxalarm::AlarmState limitState(int, rdxalarm::AlarmLimit l) const override
        {
            return l == rdxalarm::AlarmLimit::High ? rdxalarm::AlarmState::ActiveAcknowledged
                                                   : rdxalarm::AlarmState::Normal;
        }
        rdxalarm::AlarmState communicationState(int) const override { return rdxalarm::AlarmState::Normal; }
    } states;
    Broker broker;
    rdxmon::SharedState s = values();
    Publisher p(s, config(broker.port, "alarms"));
    p.setAlarmStates(&states);
    p.start();
    for (int i = 0; i < 300 && p.state() != State::Connected; ++i)
        ::usleep(10000);
    using rdxalarm::AlarmState;
    p.alarmChanged({rdxalarm::AlarmId::of(8, rdxalarm::AlarmLimit::High), kTime, AlarmState::ActiveUnacknowledged,
                    AlarmState::ActiveAcknowledged, 31.5f, "Boiler \"8\"", "alice"});
    p.alarmChanged({rdxalarm::AlarmId::communicationOf(30),
                    kTime,
                    AlarmState::Normal,
                    AlarmState::ActiveUnacknowledged,
                    std::nullopt,
                    "recorder address 31",
                    {}});
    p.stop();

    const auto channel = Subscriber(broker.port, "rdx512/alarms/02/3/alarm").next(3000);
    ASSERT_TRUE(channel);
    EXPECT_TRUE(channel->is_retained());
    EXPECT_EQ(channel->to_string(),
              "{\"limit\":\"high\",\"state\":\"active acknowledged\",\"from\":\"active unacknowledged\",\"value\":31.5,"
              "\"by\":\"alice\",\"name\":\"Boiler \\\"8\\\"\",\"time\":\"2026-12-07T03:04:05.120+01:00\","
              "\"high-high\":\"normal\",\"high\":\"active acknowledged\",\"low\":\"normal\",\"low-low\":\"normal\"}");
    const auto recorder = Subscriber(broker.port, "rdx512/alarms/31/alarm").next(3000);
    ASSERT_TRUE(recorder);
    EXPECT_EQ(recorder->to_string(),
              "{\"limit\":\"communication\",\"state\":\"active unacknowledged\",\"from\":\"normal\",\"value\":null,"
              "\"by\":\"\",\"name\":\"recorder address 31\",\"time\":\"2026-12-07T03:04:05.120+01:00\"}");
}

// Waits until the publisher has connected or has been told why not.
bool settled(const Publisher& p, int ms)
{
    for (int i = 0; i < ms / 10; ++i, ::usleep(10000))
        if (p.state() == State::Connected || (p.state() == State::Retrying && !p.fault().brief.isEmpty()))
            return true;
    return false;
}

TEST(Publisher, EachBrokerFaultIsToldByItsCause)
{
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return dir.filePath(name).toStdString(); };
    // A certificate authority, the broker's certificate from it, and another authority.
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 ";
    ASSERT_EQ(std::system(("cd " + dir.path().toStdString() + " && openssl req -x509" + ec
                           + "-keyout ca.key -out ca.pem -subj /CN=rdx-test-ca 2>/dev/null && openssl req" + ec
                           + "-keyout broker.key -out broker.csr -subj /CN=127.0.0.1 2>/dev/null && "
                             "printf 'subjectAltName=IP:127.0.0.1' >san && openssl x509 -req -in broker.csr -CA ca.pem "
                             "-CAkey ca.key -CAcreateserial -days 2 -extfile san -out broker.pem 2>/dev/null && "
                             "openssl req -x509"
                           + ec
                           + "-keyout other.key -out other.pem -subj /CN=other 2>/dev/null && "
                             "mosquitto_passwd -c -b passwords logger secret 2>/dev/null")
                              .c_str()),
              0);
    Broker locked("allow_anonymous false\npassword_file " + at("passwords") + "\n");
    Broker tls("allow_anonymous true\ncafile " + at("ca.pem") + "\ncertfile " + at("broker.pem") + "\nkeyfile "
               + at("broker.key") + "\n");
    struct Case {
        const char* what;
        QString host;
        int port;
        QString user, password, ca;
        QString brief, words;
    };
    const Case cases[] = {
        {"nothing listens",
         "127.0.0.1",
         probe(0),
         {},
         {},
         {},
         "connection refused",
         "nothing takes connections on port"},
        {"unknown host", "broker.invalid", 1883, {}, {}, {}, "unknown host", "\"broker.invalid\" is not known"},
        {"no password", "127.0.0.1", locked.port, {}, {}, {}, "password needed", "without a user name and password"},
        {"wrong password",
         "127.0.0.1",
         locked.port,
         "logger",
         "wrong",
         {},
         "password refused",
         "user \"logger\" connect"},
        {"right password", "127.0.0.1", locked.port, "logger", "secret", {}, {}, {}},
        {"another authority",
         "127.0.0.1",
         tls.port,
         {},
         {},
         dir.filePath("other.pem"),
         "certificate check failed",
         "failed the check against " + dir.filePath("other.pem")},
        {"its authority", "127.0.0.1", tls.port, {}, {}, dir.filePath("ca.pem"), {}, {}},
        {"plain to a TLS port", "127.0.0.1", tls.port, {}, {}, {}, "no MQTT answer", "a TLS port needs ca_file"},
    };
    rdxmon::SharedState s = values();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BrokerConfig conf = config(c.port, "faults");
        conf.host = c.host, conf.user = c.user, conf.password = c.password.toUtf8(), conf.caFile = c.ca;
        Publisher p(s, conf);
        std::vector<State> told;
        QObject::connect(&p, &Publisher::stateChanged, [&](State state) { told.push_back(state); });
        p.start();
        ASSERT_TRUE(settled(p, 8000));
        EXPECT_EQ(p.fault().brief, c.brief) << p.fault().message.toStdString();
        EXPECT_TRUE(p.fault().message.contains(c.words)) << p.fault().message.toStdString();
        EXPECT_EQ(p.statusText(), c.brief.isEmpty() ? "connected" : "retrying (" + c.brief + ')');
        p.stop();
        EXPECT_EQ(told.front(), State::Connecting);
    }
}

TEST(Publisher, KeepsTheValuesOfAnOutageInOrderAndCountsWhatItsBoundDropped)
{
    // A broker that keeps the subscriber's session over its own restart, so
    // the subscriber sees everything the publisher delivers once it is back.
    QTemporaryDir store;
    Broker broker("allow_anonymous true\npersistence true\npersistence_location " + store.path().toStdString()
                  + "/\nmax_queued_messages 0\n");
    {
        Subscriber(broker.port, "rdx512/kept/01/1", true);
    }
    broker.stop();

    rdxmon::SharedState s = values();
    s.gInit.Speed = "2400";  // the smallest bound: 20 min of six values a reply at 2400 bit/s
    Publisher p(s, config(broker.port, "kept"));
    std::vector<bool> full;
    QObject::connect(&p, &Publisher::bufferFull, [&](bool f) { full.push_back(f); });
    p.start();  // six "no reading" messages
    const int capacity = p.bufferCapacity(), replies = capacity / 3 + 100;
    EXPECT_EQ(capacity, offlineCapacity(2400));
    EXPECT_GE(p.bufferSeconds(), kOfflineSeconds - 1);
    for (int i = 0; i < replies; ++i)  // channels 1 to 3 each time
        s.gPvValue[0] = float(i), p.replyTaken(0, kTime.addMSecs(i));
    EXPECT_EQ(p.droppedValues(), 6 + 3 * replies - capacity);
    EXPECT_EQ(full, std::vector<bool>{true});
    EXPECT_TRUE(p.statusText().endsWith(QString(", %1 values dropped").arg(6 + 3 * replies - capacity)));

    ASSERT_TRUE(broker.start());
    Subscriber sub(broker.port, "rdx512/kept/01/1", true, true);
    std::vector<int> got;
    for (auto m = sub.next(5000); m; m = sub.next(1000))
        if (m->to_string().find("\"value\":null") == std::string::npos)
            got.push_back(std::atoi(m->to_string().c_str() + 9));
    ASSERT_GT(got.size(), 2u);
    // Everything kept, in order, from the first value of the outage on; then
    // the latest, sent again.
    const int kept = (capacity - 6) / 3 + ((capacity - 6) % 3 > 0);
    ASSERT_EQ(int(got.size()), kept + 1);
    for (int i = 0; i < kept; ++i)
        ASSERT_EQ(got[i], i);
    EXPECT_EQ(got.back(), replies - 1);
    EXPECT_EQ(full, (std::vector<bool>{true, false}));
    p.stop();
}

TEST(Publisher, AnOfflineBufferKeptOnDiskOutlivesTheProgram)
{
    QTemporaryDir store, buffer;
    Broker broker("allow_anonymous true\npersistence true\npersistence_location " + store.path().toStdString() + "/\n");
    {
        Subscriber(broker.port, "rdx512/disk/01/1", true);
    }
    broker.stop();
    rdxmon::SharedState s = values();
    BrokerConfig conf = config(broker.port, "disk");
    conf.bufferFolder = buffer.path();
    for (int run = 0; run < 2; ++run) {  // two runs of the program while the broker is away
        Publisher p(s, conf);
        p.start();
        s.gPvValue[0] = float(run + 1), p.replyTaken(0, kTime);
    }
    ASSERT_TRUE(broker.start());
    Publisher p(s, conf);
    p.start();
    Subscriber sub(broker.port, "rdx512/disk/01/1", true, true);
    std::string got;
    for (auto m = sub.next(5000); m; m = sub.next(1000))
        got += m->to_string().substr(0, 14) + ' ';
    EXPECT_EQ(got, "{\"value\":null, {\"value\":1,\"na {\"value\":null, {\"value\":2,\"na {\"value\":null, ");
}
