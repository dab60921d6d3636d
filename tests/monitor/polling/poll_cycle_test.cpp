// The polling cycle (exchange steps, outcomes taken) over the real link
// object and the fake serial line, with recorders answering on it.
// One clock for everything: the link's ticks, the cycle's quiet-line and
// reopen timing, and the recorders' answers; the link's waits move it on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "polling/PollCycle.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"
#include "support/FakeLine.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

// Recorders on the fake line: each answers the data request to its address
// with its reply, some with a fault besides.
class Recorders {
public:
    // What a faulty recorder does besides its reply.
    enum class Fault {
        None,
        Chatter,  // a stray line 30 and 70 ms after its reply
        ExtraLine,  // one line more, right behind the reply
        Late,  // the whole reply 200 ms after the link's time-out (tailMs past 1200: that late)
        StrayBefore,  // noise ending in CR LF between the request and the reply
        NoiseAfter,  // a burst of noise ending in CR LF 30 ms after the reply
    };
    struct Recorder {
        std::string reply;
        qint64 tailMs = 100;  // the lines after the first arrive this long after the request
        Fault fault = Fault::None;
    };
    std::map<std::string, Recorder> byAddress;
    // Characters sent at 1 ms each and handed over this many together, as a
    // UART FIFO or a USB adapter does (0: each piece arrives whole at once).
    int burst = 0;

    // Answers what is written on the line from now on.
    void listenOn(rdxtest::FakeLine& line)
    {
        line.onOutput = [this, &line](const std::string& text) { written(line, text); };
    }

private:
    void written(rdxtest::FakeLine& line, const std::string& text)
    {
        if (text.rfind("\x1bO ", 0) == 0)
            address_ = text.substr(3, text.size() - 5);
        const auto it = byAddress.find(address_);
        if (text.find("FM0,01,") == std::string::npos || it == byAddress.end())
            return;
        const Recorder& r = it->second;
        const qint64 ms = line.ticks->time;
        std::vector<std::pair<qint64, std::string>> pieces;  // sent at, text
        const std::size_t first = r.reply.find("\r\n") + 2;
        const qint64 start = ms + (r.fault == Fault::Late ? std::max<qint64>(r.tailMs, 1200) : 100);
        const qint64 tail = r.fault == Fault::Late ? start : ms + r.tailMs;
        if (r.fault == Fault::StrayBefore)
            pieces.emplace_back(ms + 50, "zz\r\n");
        pieces.emplace_back(start, r.reply.substr(0, first));
        pieces.emplace_back(tail, r.reply.substr(first));
        // In bursts the extra line comes as the next delivery after the
        // reply's last one, as an adapter that flushes at a line's end hands it.
        if (r.fault == Fault::ExtraLine)
            pieces.emplace_back(tail + (burst ? static_cast<qint64>(r.reply.size()) : 0), "X02     extra line\r\n");
        if (r.fault == Fault::NoiseAfter)
            pieces.emplace_back(tail + 30, "#%&\r\n");
        if (r.fault == Fault::Chatter)
            pieces.emplace_back(tail + 30, "xx\r\n"), pieces.emplace_back(tail + 70, "xx\r\n");
        // Pieces sent at the same time follow each other on the line.
        std::map<qint64, std::string> sent;
        for (auto& [at, text] : pieces)
            sent[at] += text;
        for (const auto& [at, text] : sent) {
            if (burst == 0) {
                line.putAt(at, text);
                continue;
            }
            const auto n = static_cast<qint64>(text.size());
            for (qint64 i = 0; i < n; i += burst)
                line.putAt(at + std::min<qint64>(n, i + burst) - 1, text.substr(std::size_t(i), std::size_t(burst)));
        }
    }
    std::string address_;
};

class View : public PvView {
public:
    int shownPage() const override { return page; }
    void setPvCaption(int label, const QString& text) override { captions[label] = text; }
    void setProgress(int value) override { progress.push_back(value); }
    void setSlotStale(int slot, bool on, const QDateTime&) override { stale.emplace_back(slot, on); }
    void setLineLost(bool lost) override { lineLost.push_back(lost); }
    void setNoAnswer(bool none) override { noAnswer.push_back(none); }

    int page = 0;
    std::map<int, QString> captions;
    std::vector<int> progress;
    std::vector<std::pair<int, bool>> stale;
    std::vector<bool> lineLost, noAnswer;
};

// Counts each slot's polls: read, missed (of them, incomplete), dropped as
// garbled.
struct Counts : PollListener {
    std::map<int, int> read, missed, garbled, incomplete;
    void replyTaken(int slot, const QDateTime&) override { ++read[slot]; }
    void pollMissed(int slot, const QDateTime&, MissReason why) override
    {
        ++(why == MissReason::Garbled ? garbled : missed)[slot];
        if (why == MissReason::Incomplete)
            ++incomplete[slot];
    }
};

// Six channels carrying first .. first + 5.
std::string replyOf(int first)
{
    std::vector<std::string> values;
    for (int c = 0; c < 6; ++c)
        values.push_back(std::to_string(first + c));
    return rdxtest::replyWithValues(values);
}

class PollCycleTest : public ::testing::Test {
protected:
    PollCycleTest()
    {
        freshLine();
        cycle.addListener(&counts);
    }
    // A new line, link and state: three recorders at addresses 1, 2, 3.
    void freshLine()
    {
        exchange.reset();
        link.reset();
        auto control = std::make_unique<rdxtest::FakeLine>(ticks);
        line = control.get();
        link = std::make_unique<rdx::rdx5Comm3>(std::move(control), ticks);
        recorders = Recorders();
        recorders.listenOn(*line);
        state = SharedState();
        state.gLink = link.get();
        for (int s = 0; s < kSlotCount; ++s)
            state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
        state.gRecTotal = 3;
        counts = Counts();
    }
    void answer(int slot, int first, qint64 tailMs = 100, Recorders::Fault fault = Recorders::Fault::None)
    {
        recorders.byAddress[format00(state.gDevAddr[slot]).toStdString()] = {replyOf(first), tailMs, fault};
    }
    void silence(int slot) { recorders.byAddress.erase(format00(state.gDevAddr[slot]).toStdString()); }
    void connect()
    {
        exchange = std::make_unique<PollExchange>(link.get(), linkSettings(state), [this] { return ms; });
        ASSERT_TRUE(connectLink(*link, linkSettings(state)).opened);
    }
    // Steps as the polling thread makes them for the time given, each
    // outcome taken. After each, every current value must be its own
    // recorder's (slot s carries 10 (s + 1) .. 10 (s + 1) + 5).
    void run(qint64 forMs)
    {
        for (const std::int64_t end = ms + forMs; ms < end;) {
            ms += exchange->nextStepInMs(50);
            if (const auto outcome = exchange->step())
                cycle.take(*outcome);
            for (int k = 0; checkOwn && k < state.gRecTotal * 6; ++k) {
                if (isCurrent(state.gPvState[k])) {
                    ASSERT_FLOAT_EQ(state.gPvValue[k], 10.f * (k / 6 + 1) + k % 6) << "channel " << k << " at " << ms;
                }
            }
        }
    }
    std::vector<float> values(int slot) const
    {
        return {state.gPvValue.begin() + slot * 6, state.gPvValue.begin() + slot * 6 + 6};
    }
    static std::vector<float> own(float v) { return {v, v + 1, v + 2, v + 3, v + 4, v + 5}; }

    std::shared_ptr<rdxtest::FakeTicks> ticks = std::make_shared<rdxtest::FakeTicks>();
    std::int64_t& ms = ticks->time;
    rdxtest::FakeLine* line = nullptr;
    Recorders recorders;
    std::unique_ptr<rdx::rdx5Comm3> link;
    SharedState state;
    View view;
    rdxtest::FakeClock clock;
    std::unique_ptr<PollExchange> exchange;
    PollCycle cycle{state, view, &clock};
    Counts counts;
    bool checkOwn = false;  // the recorders answer with the values own() gives
};

TEST_F(PollCycleTest, ConnectsAndCyclesThroughTheRecordersWithTheirOwnValues)
{
    // At 2400 bit/s the reply time-out is 2 s: recorder 01's 1.5 s reply is
    // in time.
    state.gInit.Speed = "2400";
    state.gDevAddr[1] = 17;
    answer(0, 10, 1500), answer(1, 20), answer(2, 30);
    connect();
    EXPECT_EQ(line->allWritten(),
              "\x1b"
              "C 01\r\n\x1b"
              "C 17\r\n\x1b"
              "C 03\r\n");
    run(3000);
    EXPECT_EQ(state.gStartDone, 1);
    EXPECT_EQ(view.progress, (std::vector<int>{0, 1, 2}));
    for (int s = 0; s < 3; ++s)
        EXPECT_EQ(values(s), own(10 * (s + 1))) << s;
    EXPECT_EQ(view.captions[6], "20.0");
    EXPECT_TRUE(view.stale.empty());
}

TEST_F(PollCycleTest, AFaultyRecorderNeverPutsValuesUnderAnotherAndItsNeighboursAreRead)
{
    // Recorder 02 misbehaves between two healthy ones; the line hands over
    // characters at once or in bursts. Whether 02 is read at all, whether
    // its replies are dropped as garbled, and whether its time-outs came in
    // mid-reply (it is there, but too slow).
    using Fault = Recorders::Fault;
    struct Case {
        const char* name;
        Fault fault;
        qint64 tailMs;
        int burst;
        bool ownRead;
        bool garbled;
        bool incomplete;
        bool nextSilent = false;  // recorder 03 is dead
        // Recorder 03 is read (its polls lose no more than a tenth). A reply
        // that lands between 03's request and its answer every cycle costs
        // 03 every reply (dropped, never taken for 03's).
        bool nextRead = true;
    };
    const Case cases[] = {
        {"healthy", Fault::None, 100, 0, true, false, false},
        {"healthy, bursts of 16", Fault::None, 100, 16, true, false, false},
        {"tail after the time-out", Fault::None, 1200, 0, false, false, true},
        {"stray lines after the reply", Fault::Chatter, 100, 0, true, false, false},
        {"one line too many", Fault::ExtraLine, 100, 0, false, true, false},
        {"one line too many, bursts of 16", Fault::ExtraLine, 100, 16, false, true, false},
        {"whole reply after the time-out", Fault::Late, 100, 0, false, false, false},
        {"whole reply after the time-out, the next recorder dead", Fault::Late, 100, 0, false, false, false, true},
        {"a stalled reply between the next request and its answer", Fault::Late, 1600, 0, false, false, false, false,
         false},
        {"stray line before the reply", Fault::StrayBefore, 100, 16, false, true, false},
        {"noise after the reply", Fault::NoiseAfter, 100, 0, true, false, false},
        {"noise within the delivery gap", Fault::NoiseAfter, 100, 32, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freshLine();
        recorders.burst = c.burst;
        answer(0, 10), answer(1, 20, c.tailMs, c.fault), answer(2, 30);
        if (c.nextSilent)
            silence(2);
        checkOwn = true;
        connect();
        run(20000);
        if (HasFatalFailure())
            return;
        EXPECT_EQ(counts.read[2] > 0, !c.nextSilent && c.nextRead);
        for (int s : {0, 2}) {
            if (s == 2 && (c.nextSilent || !c.nextRead))
                continue;
            EXPECT_GE(counts.read[s], 5) << s;
            EXPECT_GE(counts.read[s], 9 * (counts.read[s] + counts.missed[s] + counts.garbled[s]) / 10) << s;
        }
        EXPECT_EQ(counts.read[1] > 0, c.ownRead);
        EXPECT_EQ(counts.garbled[1] > 0, c.garbled);
        EXPECT_EQ(counts.incomplete[1] > 0, c.incomplete);
        EXPECT_EQ(counts.incomplete[0] + counts.incomplete[2], 0);
    }
}

TEST_F(PollCycleTest, AnErrorInTheMiddleOfAnExchangeDoesNotMoveARecordersReply)
{
    answer(0, 10), answer(1, 20), answer(2, 30);
    connect();
    line->failOnce[rdxtest::LineOp::Input] = rdx::kErrSettingsRefused;  // while recorder 01's reply is read
    run(4000);
    EXPECT_EQ(values(0), own(10));
    EXPECT_EQ(values(1), own(20));
    EXPECT_EQ(values(2), own(30));
    // Recorder 01 missed once; no other recorder did.
    EXPECT_EQ(view.stale, (std::vector<std::pair<int, bool>>{{0, true}, {0, false}}));
}

TEST_F(PollCycleTest, OneMissMarksARecorderStaleAndAWholeSilentCycleIsTold)
{
    answer(0, 10), answer(1, 20);
    connect();
    run(1000);
    clock.advanceMs(5000);
    silence(1);
    run(2500);
    EXPECT_EQ(view.stale, (std::vector<std::pair<int, bool>>{{2, true}, {1, true}}));
    EXPECT_TRUE(cycle.slotStale(1));
    EXPECT_EQ(cycle.lastReply(1).toString("yyyy-MM-dd HH:mm:ss"), "2024-03-07 09:05:00");
    EXPECT_FALSE(cycle.lastReply(2).isValid());
    EXPECT_EQ(values(1), own(20));  // a stale recorder keeps its values, no longer current
    EXPECT_EQ(state.gPvState[6], PvState::Stale);
    EXPECT_TRUE(view.noAnswer.empty());

    silence(0);
    run(4000);
    EXPECT_EQ(view.noAnswer, std::vector<bool>{true});
    answer(1, 40);
    run(4000);
    EXPECT_EQ(view.noAnswer, (std::vector<bool>{true, false}));
    EXPECT_FALSE(cycle.slotStale(1));
    EXPECT_EQ(values(1), own(40));
}

TEST_F(PollCycleTest, ALostLineIsReopenedEveryTwoSecondsAndPollingResumes)
{
    RecoveringFlag flag;  // the link library's boxes stay away while it is raised
    std::vector<QString> shown;
    LinkMessageGate gate(flag, [&](const QString& text, const QString&) { shown.push_back(text); });
    answer(0, 10), answer(1, 20), answer(2, 30);
    connect();
    exchange->lineWatch().setRecoveringFlag(&flag);
    run(1000);
    line->gone = true;
    run(5000);
    LinkMessageGate::notify("cannot be opened", "RDX500Comm3", &gate);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(view.lineLost, std::vector<bool>{true});
    EXPECT_EQ(exchange->lineWatch().attempts(), 3);  // at once, 2 s and 4 s on
    for (int s = 0; s < 3; ++s)
        EXPECT_TRUE(cycle.slotStale(s)) << s;

    line->gone = false;
    answer(0, 40), answer(1, 50), answer(2, 60);
    run(5000);
    EXPECT_EQ(view.lineLost, (std::vector<bool>{true, false}));
    LinkMessageGate::notify("cannot be opened", "RDX500Comm3", &gate);
    EXPECT_EQ(shown.size(), 1u);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(values(s), own(40 + 10 * s)) << s;
        EXPECT_FALSE(cycle.slotStale(s)) << s;
    }
}

TEST_F(PollCycleTest, ChannelLinesGiveValuesAndLabelsAndNoReadingShowsNothing)
{
    // Channel 1 of slot 0, one reply after the other: the value field at
    // positions 16..25 -> value, reading, label on page 0.
    struct Case {
        const char* field;  // "": no reply yet; "S": skipped
        float value;
        bool read;
        const char* label;
    };
    const Case cases[] = {{"", 99.f, false, ""},
                          {"S", 0.f, false, ""},
                          {"12.346 -02", 12.346f, true, "12.35"},
                          {"7.5    -00", 7.5f, true, "8."},
                          {"      7-x ", 7.f, true, "7."},
                          {"1E2", 100.f, true, "100.0"},
                          {"----", 100.f, false, ""},
                          {"1E39", 100.f, false, ""},
                          {"abc", 100.f, false, ""},
                          {"", 100.f, false, ""}};  // no number: no reading, and no old value as a new one
    state.gPvValue[0] = 99.f;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        state.gPvLine[0][2] = *c.field ? rdxtest::replyWithValues({c.field}).substr(29) : "";
        cycle.Pvdispset(0);
        EXPECT_FLOAT_EQ(state.gPvValue[0], c.value);
        EXPECT_EQ(isCurrent(state.gPvState[0]), c.read);
        EXPECT_EQ(view.captions[0], c.label);
    }
    // Slots off the page shown and unselected channels get no label.
    state.gChannel[13 * 6].LogSel = 0;
    state.gPvLine[13][2] = state.gPvLine[12][2] = rdxtest::replyWithValues({"3"}).substr(29);
    view.captions.clear();
    cycle.Pvdispset(12), cycle.Pvdispset(13);
    EXPECT_TRUE(view.captions.empty());
    view.page = 1;
    cycle.Pvdispset(12), cycle.Pvdispset(13);
    EXPECT_EQ(view.captions[0], "3.0");
    EXPECT_EQ(view.captions.count(6), 0u);
    EXPECT_FLOAT_EQ(state.gPvValue[13 * 6], 3.f);
}

}  // namespace
}  // namespace rdxmon
