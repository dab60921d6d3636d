// The polling thread against a scripted link: outcomes reach the thread that
// keeps the values in slot order, a lost line is reopened, the link's box is
// shown on that thread while the worker waits, and stop waits for the
// exchange under way and releases the link on the polling thread.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>

#include "polling/PollWorker.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

// Two RWcomm calls an exchange, counted over all slots: exchange failAt
// loses the line, exchange blockAt is read slowly (300 ms).
class ScriptLink : public rdxtest::FakeLink {
public:
    int failAt = -1, blockAt = -1;
    std::function<void()> onPortOpen;  // the library's box, on the polling thread
    std::atomic<bool> reading{false}, released{false}, calledAfterRelease{false};

    std::string RWcomm(const std::string& address, const std::string&, const std::int16_t&, const std::string&) override
    {
        calledAfterRelease = calledAfterRelease || released;
        if ((underWay_ = !underWay_))
            return {};
        const int n = exchanges_++;
        if (n == failAt)
            throw rdx::LinkError(rdx::kErrDeviceIo, "Serial line lost on COM1");
        if (n == blockAt) {
            reading = true;
            QThread::msleep(300);
            reading = false;
        }
        const auto it = replies.find(address);
        return it == replies.end() ? std::string(1, '\x1b') : it->second;
    }
    bool PortOpen() override
    {
        if (onPortOpen)
            onPortOpen();
        return true;
    }

private:
    bool underWay_ = false;
    int exchanges_ = 0;
};

// Everything the values side tells, with the thread it was told on.
class Trace : public PvView, public PollListener {
public:
    int shownPage() const override { return 0; }
    void setPvCaption(int, const QString&) override {}
    void setProgress(int) override {}
    void replyTaken(int slot, const QDateTime&) override { add("r" + std::to_string(slot)); }
    void pollMissed(int slot, const QDateTime&, MissReason) override { add("m" + std::to_string(slot)); }
    void cycleEnded(qint64) override { add("c"); }
    void lineLost(bool lost) override { add(lost ? "L" : "B"); }
    void add(const std::string& event)
    {
        events.push_back(event);
        offThread = offThread || QThread::currentThread() != QCoreApplication::instance()->thread();
    }
    std::vector<std::string> events;
    bool offThread = false;
};

class PollThreadTest : public ::testing::Test {
protected:
    PollThreadTest()
    {
        state.gLink = &link;
        state.gRecTotal = 3;
        for (int s = 0; s < kSlotCount; ++s)
            state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
        link.replies["01"] = link.replies["03"] = rdxtest::replyWithValues({"1", "2", "3", "4", "5", "6"});
        cycle.addListener(&trace);
    }
    void start()
    {
        polling.start([this](const ConnectResult& r) { connected = r.opened; });
    }

    ScriptLink link;
    SharedState state;
    Trace trace;
    rdxtest::FakeClock clock;
    PollCycle cycle{state, trace, &clock};
    PollingThread polling{state, cycle};
    bool connected = false;
};

TEST_F(PollThreadTest, OutcomesArriveInSlotOrderOnTheValuesThreadThroughALostLine)
{
    link.failAt = 3;  // recorder 01's second exchange
    bool boxOnValuesThread = false;
    link.onPortOpen = [&] {
        polling.callHere(
            [&] { boxOnValuesThread = QThread::currentThread() == QCoreApplication::instance()->thread(); });
    };
    start();
    // The lost line: every recorder's values stop being current at once.
    const std::vector<std::string> expected
        = {"r0", "m1", "r2", "c", "L", "m0", "m1", "m2", "B", "r0", "m1", "r2", "c"};
    EXPECT_TRUE(QTest::qWaitFor([&] { return trace.events.size() >= expected.size(); }, 5000));
    polling.stop();
    EXPECT_TRUE(connected);
    EXPECT_TRUE(boxOnValuesThread);
    ASSERT_GE(trace.events.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(trace.events.begin(), trace.events.begin() + expected.size()), expected);
    EXPECT_FALSE(trace.offThread);
    EXPECT_FLOAT_EQ(state.gPvValue[2 * 6 + 5], 6.f);
    EXPECT_TRUE(cycle.slotStale(1));
}

TEST_F(PollThreadTest, StopWaitsForTheExchangeUnderWayAndReleasesTheLinkOnThePollingThread)
{
    link.blockAt = 1;  // recorder 02's reply is being read
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.reading.load(); }, 5000));
    bool readingAtRelease = true;
    QThread* releasedOn = nullptr;
    polling.stop([&] {
        readingAtRelease = link.reading;
        releasedOn = QThread::currentThread();
        link.released = true;
    });
    EXPECT_FALSE(readingAtRelease);
    EXPECT_NE(releasedOn, nullptr);
    EXPECT_NE(releasedOn, QCoreApplication::instance()->thread());
    EXPECT_FALSE(polling.polling());
    QTest::qWait(100);  // nothing asks the link after its release
    EXPECT_FALSE(link.calledAfterRelease);
    EXPECT_EQ(trace.events, std::vector<std::string>{"r0"});  // the outcome under way is dropped
}

}  // namespace
}  // namespace rdxmon
