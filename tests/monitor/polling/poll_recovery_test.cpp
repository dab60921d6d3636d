// The polling cycle with a lost line and with recorders that stop answering.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "polling/PollCycle.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

using rdxtest::FakeLink;
using rdxtest::replyOf;

class RecordingView : public PvView {
public:
    int shownPage() const override { return 0; }
    void setPvCaption(int labelIndex, const QString& text) override { captions[labelIndex] = text; }
    void setProgress(int) override {}
    void setSlotStale(int slot, bool stale, const QDateTime& lastReply) override
    {
        staleEvents.emplace_back(slot, stale, lastReply);
    }
    void setLineLost(bool lost) override { lineEvents.push_back(lost); }

    std::map<int, QString> captions;
    std::vector<std::tuple<int, bool, QDateTime>> staleEvents;
    std::vector<bool> lineEvents;
};

class PollRecoveryTest : public ::testing::Test {
protected:
    PollRecoveryTest()
    {
        state.gLink = &link;
        state.gInit.RecCount = "3";
        for (int k = 0; k < kSlotCount; ++k)
            state.gDevAddr[k] = static_cast<std::int16_t>(k + 1);
    }
    // One exchange step, ticks 50 ms apart: the ticks between two exchanges
    // only wait for a quiet line; while the line is lost every tick counts.
    void tick()
    {
        const long before = rwCalls();
        for (int i = 0; i < 2; ++i) {
            ms += 50;
            cycle.tick();
            if (rwCalls() != before || cycle.lineWatch().lost())
                break;
        }
    }
    long rwCalls() const
    {
        return std::count_if(link.calls.begin(), link.calls.end(),
                             [](const std::string& c) { return c.rfind("RWcomm", 0) == 0; });
    }

    qint64 ms = 0;
    FakeLink link;
    SharedState state;
    RecordingView view;
    rdxtest::FakeClock clock;
    PollCycle cycle{state, view, &clock, [this] { return ms; }};
};

TEST_F(PollRecoveryTest, LostLineStopsPollingRetriesAndResumesAtTheSameSlot)
{
    link.queueText(replyOf(1.0));
    link.queueError(rdx::kErrDeviceIo);  // slot 1: the adapter is pulled
    tick();
    tick();
    const qint64 lostAt = ms;
    EXPECT_EQ(view.lineEvents, std::vector<bool>{true});
    EXPECT_EQ(cycle.pollIndex(), 1);
    EXPECT_EQ(state.gStartDone, 1);  // the start-up pass does not wait for the line
    EXPECT_EQ(rwCalls(), 2);

    std::vector<qint64> attempts;
    int failuresLeft = 2;
    link.portOpenHook = [&] {
        attempts.push_back(ms);
        if (failuresLeft-- > 0)
            throw rdx::LinkError(rdx::kErrPortOpen, "gone", rdx::kErrNoDevice, "Cannot open COM1");
        return true;
    };
    while (view.lineEvents.size() < 2 && ms < lostAt + 10'000)
        tick();
    EXPECT_EQ(attempts, (std::vector<qint64>{lostAt + 50, lostAt + 2050, lostAt + 4050}));
    EXPECT_EQ(rwCalls(), 2);  // no exchange while the line was away
    EXPECT_EQ(view.lineEvents, (std::vector<bool>{true, false}));
    EXPECT_FLOAT_EQ(state.gPvValue[0], 1.0f);  // values kept meanwhile

    link.queueText(replyOf(20.0));
    tick();
    EXPECT_EQ(link.rwAddresses.back(), "02");
    EXPECT_FLOAT_EQ(state.gPvValue[6], 20.0f);
    EXPECT_EQ(cycle.pollIndex(), 2);

    // The line may be lost again later, and is reported again.
    link.queueError(rdx::kErrNotOpen);
    tick();
    EXPECT_EQ(view.lineEvents, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(cycle.pollIndex(), 2);
}

TEST_F(PollRecoveryTest, SlotsGoStaleAfterThreeMissesAndRecoverWithAReply)
{
    const QDateTime first = clock.current;
    link.queueText(replyOf(1.0));             // slot 0 answers at 09:05:00
    link.queueEsc();                          // slot 1 silent
    link.queueError(rdx::kErrSettingsRefused);  // slot 2: an error of the link counts as a miss
    for (int i = 0; i < 3; ++i)
        tick();
    for (int round = 0; round < 2; ++round) {
        clock.advanceMs(1000);
        link.queueEsc();
        link.queueEsc();
        link.queueEsc();
        for (int i = 0; i < 3; ++i)
            tick();
    }
    // Slot 0 has missed two polls only; slots 1 and 2 three.
    EXPECT_FALSE(cycle.slotStale(0));
    EXPECT_TRUE(cycle.slotStale(1));
    EXPECT_TRUE(cycle.slotStale(2));
    ASSERT_EQ(view.staleEvents.size(), 2u);
    EXPECT_EQ(view.staleEvents[0], std::make_tuple(1, true, QDateTime()));
    EXPECT_EQ(staleToolTip(std::get<2>(view.staleEvents[0])), "No reply yet");

    link.queueEsc();  // slot 0's third miss
    link.queueText(replyOf(5.0));  // slot 1 answers again
    tick();
    tick();
    ASSERT_EQ(view.staleEvents.size(), 4u);
    EXPECT_EQ(view.staleEvents[2], std::make_tuple(0, true, first));
    EXPECT_EQ(staleToolTip(cycle.lastReply(0)), "No reply since 2024-03-07 09:05:00");
    EXPECT_EQ(view.staleEvents[3], std::make_tuple(1, false, clock.current));
    EXPECT_FALSE(cycle.slotStale(1));
    EXPECT_EQ(cycle.lastReply(1), clock.current);
    EXPECT_FLOAT_EQ(state.gPvValue[0], 1.0f);  // a stale slot keeps its values

    // Further misses of a stale slot are not reported again; an empty result
    // (exchange under way) is no miss.
    link.queueEsc();
    tick();
    link.queueText("");
    tick();
    EXPECT_EQ(view.staleEvents.size(), 4u);
    EXPECT_FALSE(cycle.slotStale(-1));
    EXPECT_FALSE(cycle.lastReply(31).isValid());
}

TEST_F(PollRecoveryTest, EveryRecorderGoesStaleWhileTheLineIsAway)
{
    state.gInit.RecCount = "2";
    link.queueText(replyOf(1.0));
    link.queueText(replyOf(2.0));
    link.queueError(rdx::kErrDeviceIo);
    for (int i = 0; i < 3; ++i)
        tick();
    ASSERT_TRUE(cycle.lineWatch().lost());
    link.portOpenHook = [] { return false; };
    while (cycle.lineWatch().attempts() < 3)
        tick();
    // Slot 0 missed the failed exchange and three reopen attempts, slot 1
    // the three attempts.
    EXPECT_TRUE(cycle.slotStale(0));
    EXPECT_TRUE(cycle.slotStale(1));
    EXPECT_EQ(view.staleEvents.size(), 2u);
    EXPECT_TRUE(view.captions.count(0) == 1 && view.captions[0] == "1.0");
}

}  // namespace
}  // namespace rdxmon
