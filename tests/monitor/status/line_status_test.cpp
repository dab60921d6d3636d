// The line status: each recorder's state and counts from the polls, the
// recorders answering, the cycle time and the status line's words for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "status/LineStatus.h"
#include "status/StatusLine.h"

namespace rdxmon {
namespace {

const QDateTime kT0(QDate(2024, 3, 7), QTime(10, 0, 0), Qt::UTC);

struct Case {
    const char* name;
    const char* polls;  // per poll of slot 0: 'r' reply, 'm' miss, 'g' garbled, 'i' incomplete
    LineStatus::State state;
    qint64 replies, timeOuts;
    int staleSinceSecond;  // -1: none
    const char* answered;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class RecorderStateTest : public ::testing::TestWithParam<Case> {};

TEST_P(RecorderStateTest, FollowsThePolls)
{
    const Case& c = GetParam();
    LineStatus status(2);
    int second = 0;
    for (const char* p = c.polls; *p; ++p, ++second) {
        const QDateTime at = kT0.addSecs(second);
        if (*p == 'r')
            status.replyTaken(0, at);
        else
            status.pollMissed(0, at,
                              *p == 'g'       ? MissReason::Garbled
                                  : *p == 'i' ? MissReason::Incomplete
                                              : MissReason::NoReply);
    }
    const LineStatus::Recorder& r = status.recorder(0);
    EXPECT_EQ(r.state, c.state);
    EXPECT_EQ(r.replies, c.replies);
    EXPECT_EQ(r.timeOuts, c.timeOuts);
    EXPECT_EQ(r.garbled, static_cast<qint64>(std::count(c.polls, c.polls + std::strlen(c.polls), 'g')));
    EXPECT_EQ(r.incomplete, static_cast<qint64>(std::count(c.polls, c.polls + std::strlen(c.polls), 'i')));
    EXPECT_EQ(answeredText(r), QString::fromLatin1(c.answered));
    EXPECT_EQ(r.staleSince, c.staleSinceSecond < 0 ? QDateTime() : kT0.addSecs(c.staleSinceSecond));
    EXPECT_EQ(status.answering(), c.state == LineStatus::State::Ok ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Polls, RecorderStateTest,
    ::testing::Values(Case{"not polled", "", LineStatus::State::NotPolled, 0, 0, -1, "-"},
                      Case{"never answered", "mmm", LineStatus::State::NoReply, 0, 3, -1, "0 %"},
                      Case{"answers", "rr", LineStatus::State::Ok, 2, 0, -1, "100 %"},
                      Case{"stale since the first miss", "rrmmm", LineStatus::State::Stale, 2, 3, 2, "40 %"},
                      Case{"back again", "rmmr", LineStatus::State::Ok, 2, 2, -1, "50 %"},
                      Case{"late first answer, then silent", "mrm", LineStatus::State::Stale, 1, 2, 2, "33 %"},
                      Case{"garbled after a reply", "rmg", LineStatus::State::Garbled, 1, 1, 1, "33 %"},
                      Case{"silent after garbled", "rgm", LineStatus::State::Stale, 1, 1, 1, "33 %"},
                      Case{"too slow from the start", "iii", LineStatus::State::Incomplete, 0, 3, -1, "0 %"},
                      Case{"too slow after replies", "rrim", LineStatus::State::Stale, 2, 2, 2, "50 %"},
                      Case{"answers one poll in four: the last 20 count",
                           "mmmmmmmmmmrrrrrrrrrrrrrrrrrrrrmmmrmmmrmmmrmmmrmmmr", LineStatus::State::Ok, 25, 25, -1,
                           "25 %"}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(LineStatusTest, CountsOnlyPolledRecordersAndTellsALostLine)
{
    LineStatus status(3);
    status.replyTaken(0, kT0);
    status.replyTaken(2, kT0);
    status.replyTaken(5, kT0);  // beyond the recorders polled this run
    status.pollMissed(1, kT0, MissReason::NoReply);
    EXPECT_EQ(answeringText(status), QStringLiteral("2 of 3 answering"));
    status.pollMissed(2, kT0, MissReason::Garbled);
    EXPECT_EQ(answeringText(status), QStringLiteral("1 of 3 answering, 1 garbled"));
    status.pollMissed(1, kT0, MissReason::Incomplete);
    EXPECT_EQ(answeringText(status), QStringLiteral("1 of 3 answering, 1 garbled, 1 incomplete"));
    status.lineLost(true);
    EXPECT_EQ(answeringText(status), QStringLiteral("Line lost"));
    status.lineLost(false);
    EXPECT_EQ(status.answering(), 1);
}

TEST(LineStatusTest, CycleTimeAndAgeOfTheLastReply)
{
    LineStatus status(1);
    EXPECT_EQ(cycleText(status.lastCycleMs()), QStringLiteral("Cycle -"));
    status.cycleEnded(0);  // the first cycle's length is not known
    EXPECT_EQ(status.lastCycleMs(), -1);
    status.cycleEnded(10'340);
    EXPECT_EQ(cycleText(status.lastCycleMs()), QStringLiteral("Cycle 10.3 s"));

    EXPECT_EQ(status.lastReplyAgeMs(0, kT0), -1);
    status.replyTaken(0, kT0);
    const struct {
        qint64 afterMs;
        const char* text;
    } ages[] = {{400, "0.4 s"}, {12'000, "12 s"}, {303'000, "5 min 3 s"}, {7'440'000, "2 h 4 min"}};
    for (const auto& a : ages) {
        SCOPED_TRACE(a.text);
        EXPECT_EQ(ageText(status.lastReplyAgeMs(0, kT0.addMSecs(a.afterMs))), QString::fromLatin1(a.text));
    }
}

}  // namespace
}  // namespace rdxmon
