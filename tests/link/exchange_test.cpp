// The recorder exchange step, the close command and the reply-line functions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes_support.h"

namespace {

using rdxtest::hex;
using rdxtest::Rig;

const std::string ESC = "\x1b";
constexpr std::int16_t kTry = 1;
const std::string kMode = "N";

const char kOpen05[] = "1B 4F 20 30 35 0D 0A";
const char kTs0[] = "54 53 30 0D 0A";
const char kRequest06[] = "1B 54 0D 0A 46 4D 30 2C 30 31 2C 30 36 0D 0A";
const char kClose05[] = "1B 43 20 30 35 0D 0A";

// A reply of n lines, each distinguishable.
std::string replyLines(int n, int first = 0)
{
    std::string text;
    for (int i = first; i < first + n; ++i)
        text += "L" + std::to_string(i) + " +000012.34-02\r\n";
    return text;
}

std::string step(Rig& rig, const std::string& addr = "05", const std::string& channels = "06")
{
    return rig.link->RWcomm(addr, channels, kTry, kMode);
}

std::vector<std::string> writtenHex(const Rig& rig)
{
    std::vector<std::string> out;
    for (const auto& w : rig.control->written)
        out.push_back(hex(w));
    return out;
}

int countCalls(const Rig& rig, const std::string& prefix)
{
    return static_cast<int>(std::count_if(rig.control->calls.begin(), rig.control->calls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

TEST(Exchange, FirstCallWritesTheThreeCommandsInOrder)
{
    Rig rig;
    rig.control->calls.clear();
    EXPECT_EQ(step(rig), "");
    EXPECT_EQ(rig.control->calls,
              (std::vector<std::string>{std::string("output(") + kOpen05 + ")", std::string("output(") + kTs0 + ")",
                                        "setInputLen(1)", std::string("output(") + kRequest06 + ")"}));
    EXPECT_EQ(hex(rig.link->OutputBuffer()), kRequest06);
}

TEST(Exchange, CompleteReplyIsReturnedAndClosed)
{
    Rig rig;
    rig.link->TimeOut(1000);
    EXPECT_EQ(step(rig), "");
    // Nothing yet: empty text, without waiting on the port.
    EXPECT_EQ(step(rig), "");
    EXPECT_EQ(countCalls(rig, "waitForInput"), 0);

    rig.ticks->advance(300);
    rig.control->feed(replyLines(8));
    EXPECT_EQ(step(rig), replyLines(8));
    EXPECT_EQ(writtenHex(rig), (std::vector<std::string>{kOpen05, kTs0, kRequest06, kClose05}));
    EXPECT_EQ(hex(rig.link->OutputBuffer()), kClose05);
    // Every character was taken one at a time and nothing beyond the reply.
    EXPECT_EQ(countCalls(rig, "input"), static_cast<int>(replyLines(8).size()));
    // Back to idle: the next call starts a new exchange.
    rig.control->written.clear();
    EXPECT_EQ(step(rig, "07"), "");
    EXPECT_EQ(hex(rig.control->written.at(0)), "1B 4F 20 30 37 0D 0A");
}

TEST(Exchange, ReplyArrivingInPiecesIsCollectedWithinOneCallWithoutSpinning)
{
    Rig rig;
    rig.link->TimeOut(1000);
    step(rig);  // data request written at tick 0, deadline 1000
    const std::string reply = replyLines(8);
    rig.control->feed(reply.substr(0, 10));
    rig.control->feedAt(200, reply.substr(10, 50));
    rig.control->feedAt(500, reply.substr(60, reply.size() - 61));  // ends between CR and LF
    rig.control->feedAt(900, reply.substr(reply.size() - 1));
    rig.control->calls.clear();

    EXPECT_EQ(step(rig), reply);
    EXPECT_EQ(rig.ticks->time, 900u);
    // It slept on the port until the next piece, each time for the rest of the time-out.
    const std::vector<std::string> waits = [&] {
        std::vector<std::string> w;
        for (const auto& c : rig.control->calls)
            if (c.rfind("waitForInput", 0) == 0)
                w.push_back(c);
        return w;
    }();
    EXPECT_EQ(waits, (std::vector<std::string>{"waitForInput(1000)", "waitForInput(800)", "waitForInput(500)"}));
}

TEST(Exchange, NoAnswerGivesEscAtTheDeadlineAndThenStartsAgain)
{
    Rig rig;
    rig.link->TimeOut(1000);
    step(rig);
    rig.control->written.clear();
    for (std::uint32_t t : {1u, 500u, 999u}) {
        rig.ticks->time = t;
        EXPECT_EQ(step(rig), "") << "at tick " << t;
    }
    rig.ticks->time = 1000;
    EXPECT_EQ(step(rig), ESC);
    // No close command after a time-out; the next call writes the open command again.
    EXPECT_TRUE(rig.control->written.empty());
    EXPECT_EQ(step(rig), "");
    ASSERT_EQ(rig.control->written.size(), 3u);
    EXPECT_EQ(hex(rig.control->written[0]), kOpen05);
}

TEST(Exchange, DeadlineCountsFromTheDataRequest)
{
    Rig rig;
    rig.link->TimeOut(1000);
    rig.ticks->stepPerRead = 100;  // every reading of the clock takes 100 ms
    step(rig);                     // the three deadlines: 1000, 1100, 1200
    rig.ticks->stepPerRead = 0;
    rig.ticks->time = 1199;
    EXPECT_EQ(step(rig), "");
    rig.ticks->time = 1200;
    EXPECT_EQ(step(rig), ESC);
}

TEST(Exchange, ShortReplyGivesEscAndDropsTheLinesRead)
{
    Rig rig;
    rig.link->TimeOut(1000);
    step(rig);
    rig.control->feed(replyLines(7));
    rig.control->feedAt(600, "partial");
    rig.control->written.clear();
    EXPECT_EQ(step(rig), ESC);
    EXPECT_EQ(rig.ticks->time, 1000u);
    EXPECT_TRUE(rig.control->written.empty());
    EXPECT_EQ(rig.control->waiting(), "");
    // The next call starts a new exchange.
    EXPECT_EQ(step(rig), "");
    EXPECT_EQ(hex(rig.control->written.at(0)), kOpen05);
}

TEST(Exchange, ExtraLineIsLeftForTheNextReply)
{
    Rig rig;
    rig.link->TimeOut(1000);
    step(rig);
    rig.control->feed(replyLines(9));
    EXPECT_EQ(step(rig), replyLines(8));
    EXPECT_EQ(rig.control->waiting(), replyLines(1, 8));
    EXPECT_EQ(rig.link->inbcount(), static_cast<std::int16_t>(replyLines(1, 8).size()));

    // The left-over line is the first line of the next exchange's reply.
    step(rig);
    rig.control->feed(replyLines(7, 100));
    EXPECT_EQ(step(rig), replyLines(1, 8) + replyLines(7, 100));
}

TEST(Exchange, BareLineEndIsNotALineAndChannelCountIsReadLeniently)
{
    Rig rig;
    step(rig, "05", "00");  // "00": two lines
    rig.control->feed("\r\nAB\r\nCD\r\n");
    EXPECT_EQ(step(rig, "05", "00"), "\r\nAB\r\nCD\r\n");

    step(rig, "05", "abc");  // no number: two lines
    rig.control->feed("X1\r\nX2\r\nX3\r\n");
    EXPECT_EQ(step(rig, "05", "abc"), "X1\r\nX2\r\n");
    EXPECT_EQ(rig.control->waiting(), "X3\r\n");
    rig.control->clearInBuffer();

    step(rig, "05", " 1x");  // leading blanks skipped: three lines
    rig.control->feed(replyLines(4));
    EXPECT_EQ(step(rig, "05", " 1x"), replyLines(3));
}

TEST(Exchange, CloseCommandGoesToTheAddressOfTheCompletingCall)
{
    Rig rig;
    step(rig, "05");
    rig.control->feed(replyLines(8));
    rig.control->written.clear();
    EXPECT_EQ(step(rig, "09"), replyLines(8));
    EXPECT_EQ(writtenHex(rig), (std::vector<std::string>{"1B 43 20 30 39 0D 0A"}));
}

TEST(Exchange, SendCloseWritesAndLeavesTheStateAlone)
{
    Rig rig;
    rig.link->Send_Close("07");
    EXPECT_EQ(writtenHex(rig), (std::vector<std::string>{"1B 43 20 30 37 0D 0A"}));
    EXPECT_EQ(hex(rig.link->OutputBuffer()), "1B 43 20 30 37 0D 0A");
    // Idle before: the next step starts an exchange.
    EXPECT_EQ(step(rig), "");
    EXPECT_EQ(rig.control->written.size(), 4u);
    // Awaiting a reply: still awaiting after a close command.
    rig.link->Send_Close("07");
    rig.control->written.clear();
    EXPECT_EQ(step(rig), "");
    EXPECT_TRUE(rig.control->written.empty());
}

TEST(Exchange, DeadlineSurvivesTheTickCounterWrapping)
{
    Rig rig(0xFFFFFF00u);
    rig.link->TimeOut(1000);
    step(rig);  // deadline 0xFFFFFF00 + 1000 = 0x2E8 after the wrap
    rig.ticks->time = 0xFFFFFFFFu;
    EXPECT_EQ(step(rig), "");
    rig.ticks->time = 0x2E7;
    EXPECT_EQ(step(rig), "");
    rig.ticks->time = 0x2E8;
    EXPECT_EQ(step(rig), ESC);

    // A reply that needs a wait across the wrap still ends at the deadline.
    rig.ticks->time = 0xFFFFFF00u;
    step(rig);
    rig.control->feed("L0 incomplete");
    EXPECT_EQ(step(rig), ESC);
    EXPECT_EQ(rig.ticks->time, 0x2E8u);
}

TEST(Exchange, ControlErrorsPassUnchangedAndKeepTheState)
{
    Rig rig;
    // A failure during the writes leaves the exchange idle.
    rig.control->failOn("output", rdx::kErrNotOpen);
    try {
        step(rig);
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrNotOpen);
    }
    rig.control->clearFailures();
    rig.control->written.clear();
    EXPECT_EQ(step(rig), "");
    EXPECT_EQ(rig.control->written.size(), 3u);

    // A failure while awaiting the reply leaves it awaiting.
    rig.control->failOn("inBufferCount", rdx::kErrDeviceIo);
    EXPECT_THROW(step(rig), rdx::LinkError);
    rig.control->clearFailures();
    rig.control->feed(replyLines(8));
    EXPECT_EQ(step(rig), replyLines(8));

    // Send_Close passes the control's error on too.
    rig.control->failOn("output", rdx::kErrDeviceIo);
    try {
        rig.link->Send_Close("01");
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrDeviceIo);
    }
}

TEST(ReplyLine, FieldsAndFieldCount)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    EXPECT_EQ(link.GetNData("ABCDEFGHIJKLMN", 1), "");
    EXPECT_EQ(link.isDataNum("ABCDEFGHIJKLMN"), 0);

    // Head of 8 with the code " " at position 4, data area of 12, tail of 3.
    const std::string four = "ABC DEFG1111222233334\r\n";
    ASSERT_EQ(four.size(), 23u);
    EXPECT_EQ(link.GetNData(four, 1), "1111");
    EXPECT_EQ(link.GetNData(four, 2), "2222");
    EXPECT_EQ(link.GetNData(four, 3), "3333");
    EXPECT_EQ(link.GetNData(four, 4), "");
    EXPECT_EQ(link.GetNData(four, 0), "111122223333");
    EXPECT_EQ(link.isDataNum(four), 3);

    const std::string eight = "ABC!DEFG111111112222XYZ";  // data area of 12 characters
    EXPECT_EQ(link.isDataNum(eight), 0);
    EXPECT_EQ(link.GetNData(eight, 1), "11111111");
    EXPECT_EQ(link.GetNData(eight, 2), "");

    // Unknown width code: no fields, but n 0 still gives the data area.
    const std::string none = "ABCxDEFG1111222233334\r\n";
    EXPECT_EQ(link.isDataNum(none), 0);
    EXPECT_EQ(link.GetNData(none, 1), "");
    EXPECT_EQ(link.GetNData(none, 0), "111122223333");

    for (const char* code : {"\"", "`", "a", "r"})
        EXPECT_EQ(link.isDataNum(std::string("ABC") + code + "DEFG1111222233334\r\n"), 3) << code;
    EXPECT_EQ(link.isDataNum("ABC#DEFG1111111122222222XYZ"), 2);

    try {
        link.GetNData(four, -1);
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrInvalidArgument);
        EXPECT_EQ(e.description(), "Invalid procedure call or argument");
    }
    EXPECT_EQ(link.GetNData(four, 8191), "");  // 8191 * 4 = 32764 fits
    try {
        link.GetNData(four, 8192);  // 8192 * 4 = 32768
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrOverflow);
        EXPECT_EQ(e.description(), "Overflow");
    }
    try {
        link.GetNData(eight, 4096);  // 4096 * 8 = 32768
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrOverflow);
    }
}

}  // namespace
