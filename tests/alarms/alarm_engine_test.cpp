// The alarm engine: the state model as a table of readings and operator
// actions, the communication alarm, acknowledging all, limits turned off.
#include <gtest/gtest.h>

#include <vector>

#include "AlarmEngine.h"
#include "support/FakeServices.h"

namespace rdxalarm {
namespace {

using S = AlarmState;
constexpr S N = S::Normal, AU = S::ActiveUnacknowledged, AA = S::ActiveAcknowledged, RU = S::ReturnedUnacknowledged;

struct Recorder : AlarmSink {
    void alarmChanged(const AlarmEvent& e) override { events.push_back(e); }
    std::vector<AlarmEvent> events;
};

struct Fixture {
    Fixture()
    {
        values.gRecTotal = 2;
        engine.addSink(&sink);
    }
    // A reading of channel 0 at second t (stale: its recorder's poll missed).
    void read(double t, float value, bool stale = false)
    {
        clock.current = start.addMSecs(static_cast<qint64>(t * 1000));
        values.gPvValue[0] = value;
        values.gPvState[0] = stale ? rdxmon::PvState::Stale : rdxmon::PvState::Current;
        engine.replyTaken(0, clock.current);
    }
    rdxtest::FakeClock clock;
    const QDateTime start = clock.current;
    rdxmon::SharedState values;
    AlarmEngine engine{values, clock};
    Recorder sink;
};

// One step: a reading at second t, or an acknowledgement (ack), then the state.
struct Step {
    double t;
    float value;
    S expected;
    bool stale = false;
    bool ack = false;
};
struct Case {
    const char* what;
    AlarmLimit limit;
    LimitSetting setting;
    std::vector<Step> steps;
};

TEST(AlarmEngine, FollowsTheStateModel)
{
    const LimitSetting high{true, 30, 2, 0}, delayed{true, 30, 0, 5}, low{true, 15, 2, 0};
    const Case cases[] = {
        {"raised, acknowledged, back to normal",
         AlarmLimit::High,
         high,
         {{0, 29.9f, N}, {1, 30.5f, AU}, {2, 0, AA, false, true}, {3, 27.5f, N}}},
        {"returned inside the deadband only",
         AlarmLimit::High,
         high,
         {{0, 31, AU}, {1, 29, AU}, {2, 28.01f, AU}, {3, 28, RU}, {4, 0, N, false, true}}},
        {"returned, beyond again before acknowledged", AlarmLimit::High, high, {{0, 31, AU}, {1, 20, RU}, {2, 31, AU}}},
        {"at the set point is not beyond", AlarmLimit::High, {true, 30.1, 0, 0}, {{0, 30.1f, N}, {1, 30.2f, AU}}},
        {"on-delay: counted from the first reading beyond, restarted inside",
         AlarmLimit::High,
         delayed,
         {{0, 31, N}, {4, 29, N}, {5, 31, N}, {9.9, 31, N}, {10, 31, AU}}},
        {"stale values neither raise nor return",
         AlarmLimit::High,
         high,
         {{0, 40, N, true}, {1, 31, AU}, {2, 10, AU, true}, {3, 10, RU}}},
        {"a stale gap does not restart the on-delay",
         AlarmLimit::High,
         delayed,
         {{0, 31, N}, {3, 10, N, true}, {5, 31, AU}}},
        {"low limit and its deadband",
         AlarmLimit::Low,
         low,
         {{0, 14, AU}, {1, 16.5f, AU}, {2, 0, AA, false, true}, {3, 17, N}}},
        {"acknowledging a normal alarm does nothing", AlarmLimit::Low, low, {{0, 20, N}, {1, 0, N, false, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        AlarmSettings settings;
        settings.at(0, c.limit) = c.setting;
        f.engine.setSettings(settings);
        for (const Step& s : c.steps) {
            SCOPED_TRACE(s.t);
            if (s.ack)
                f.engine.acknowledge(AlarmId::of(0, c.limit), QStringLiteral("alice"));
            else
                f.read(s.t, s.value, s.stale);
            EXPECT_EQ(f.engine.limitState(0, c.limit), s.expected);
        }
        // Every transition was told, from the state before it.
        S before = N;
        for (const AlarmEvent& e : f.sink.events) {
            EXPECT_EQ(e.from, before);
            before = e.to;
        }
        EXPECT_EQ(before, f.engine.limitState(0, c.limit));
    }
}

TEST(AlarmEngine, CommunicationAlarmAndAcknowledgingAll)
{
    Fixture f;
    AlarmSettings settings;
    settings.communicationTimeout = 10;
    settings.at(0, AlarmLimit::HighHigh) = {true, 50, 0, 0};
    f.engine.setSettings(settings);
    f.read(5, 60);
    f.clock.current = f.start.addMSecs(9999);
    f.engine.pollMissed(1, f.clock.current, rdxmon::MissReason::NoReply);
    EXPECT_EQ(f.engine.communicationState(1), N);
    f.clock.current = f.start.addSecs(10);
    f.engine.checkTime();
    EXPECT_EQ(f.engine.communicationState(1), AU);
    EXPECT_EQ(f.engine.communicationState(0), N);  // it answered at 5

    // Newest first; both acknowledged, each told with the user.
    const auto present = f.engine.present();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_TRUE(present[0].id == AlarmId::communicationOf(1));
    EXPECT_EQ(f.engine.acknowledgeAll(QStringLiteral("bob")), 2);
    EXPECT_EQ(f.engine.limitState(0, AlarmLimit::HighHigh), AA);
    EXPECT_EQ(f.engine.communicationState(1), AA);
    EXPECT_EQ(f.sink.events.back().user, QStringLiteral("bob"));
    EXPECT_EQ(f.engine.acknowledgeAll(QStringLiteral("bob")), 0);

    // A reply returns it; the limit turned off goes back to normal.
    f.engine.replyTaken(1, f.clock.current);
    EXPECT_EQ(f.engine.communicationState(1), N);
    f.engine.setSettings(AlarmSettings{});
    EXPECT_EQ(f.engine.limitState(0, AlarmLimit::HighHigh), N);
    EXPECT_EQ(f.sink.events.back().to, N);
    EXPECT_TRUE(f.engine.present().empty());
}

TEST(AlarmEngine, WithNoOneToAcknowledgeAReturnedAlarmGoesNormal)
{
    Fixture f;
    f.engine.acknowledgeOnReturn(QStringLiteral("rdx512-logd"));
    AlarmSettings settings;
    settings.at(0, AlarmLimit::High) = {true, 30, 0, 0};
    f.engine.setSettings(settings);
    f.read(0, 31);
    f.read(1, 29);
    ASSERT_EQ(f.sink.events.size(), 3u);
    EXPECT_EQ(f.sink.events[1].to, RU);
    EXPECT_EQ(f.sink.events[2].to, N);
    EXPECT_EQ(f.sink.events[2].user, QStringLiteral("rdx512-logd"));
}

}  // namespace
}  // namespace rdxalarm
