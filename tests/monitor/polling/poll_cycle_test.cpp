#include <gtest/gtest.h>

#include <algorithm>

#include <map>

#include "polling/PollCycle.h"
#include "support/FakeLink.h"

namespace rdxmon {
namespace {

using rdxtest::channelLine;
using rdxtest::FakeLink;
using rdxtest::reply;
using rdxtest::replyOf;

class FakeView : public PvView {
public:
    int shownPage() const override { return page; }
    void setPvCaption(int labelIndex, const QString& text) override
    {
        captions[labelIndex] = text;
        ++captionCalls;
    }
    void setProgress(int value) override { progress.push_back(value); }

    int page = 0;
    std::map<int, QString> captions;
    int captionCalls = 0;
    std::vector<int> progress;
};

class PollCycleTest : public ::testing::Test {
protected:
    PollCycleTest()
    {
        state.gLink = &link;
        for (int k = 0; k < kSlotCount; ++k)
            state.gDevAddr[k] = static_cast<std::int16_t>(k + 1);
    }
    void recorders(const char* count) { state.gInit.RecCount = count; }
    // One exchange step: the ticks between two exchanges only wait for a
    // quiet line, so tick until the cycle has called RWcomm (at most three).
    void step()
    {
        const auto exchanges = [this] {
            return std::count_if(link.calls.begin(), link.calls.end(),
                                 [](const std::string& c) { return c.rfind("RWcomm", 0) == 0; });
        };
        const auto before = exchanges();
        for (int i = 0; i < 3 && exchanges() == before; ++i)
            cycle.tick();
    }

    FakeLink link;
    SharedState state;
    FakeView view;
    PollCycle cycle{state, view};
};

TEST_F(PollCycleTest, OneRecorderEndsTheStartUpPassAfterItsFirstReply)
{
    link.queueText("");
    link.queueText("");
    link.queueText(replyOf(1.0));
    step();
    step();
    EXPECT_EQ(state.gStartDone, 0);  // under way: nothing changes
    EXPECT_TRUE(view.progress.empty());
    EXPECT_EQ(cycle.pollIndex(), 0);
    step();
    EXPECT_EQ(state.gStartDone, 1);
    EXPECT_EQ(view.progress, std::vector<int>{0});
    EXPECT_EQ(cycle.pollIndex(), 0);
    EXPECT_EQ(link.rwAddresses.front(), "01");
    EXPECT_FLOAT_EQ(state.gPvValue[0], 1.0f);
    EXPECT_FLOAT_EQ(state.gPvValue[5], 6.0f);
    EXPECT_EQ(view.captions[0], "1.0");
    EXPECT_EQ(view.captions[5], "6.0");

    // After the pass the progress bar is left alone.
    link.queueText(replyOf(2.0));
    step();
    EXPECT_EQ(view.progress.size(), 1u);
    EXPECT_EQ(view.captions[0], "2.0");
}

TEST_F(PollCycleTest, EscEndsTheStartUpPassAndShowsEmptyLinesAsZero)
{
    link.queueEsc();
    step();
    EXPECT_EQ(state.gStartDone, 1);
    for (int label = 0; label < 6; ++label)
        EXPECT_EQ(view.captions[label], "0.0") << label;
}

TEST_F(PollCycleTest, CyclesThroughTheSlotsWithTheirAddresses)
{
    recorders("3");
    state.gDevAddr[1] = 32;
    for (int i = 0; i < 5; ++i)
        link.queueText(replyOf(10.0 * i));
    for (int i = 0; i < 5; ++i)
        step();
    EXPECT_EQ(link.rwAddresses, (std::vector<std::string>{"01", "32", "03", "01", "32"}));
    EXPECT_EQ(view.progress, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(state.gStartDone, 1);
    EXPECT_EQ(cycle.pollIndex(), 2);
    EXPECT_FLOAT_EQ(state.gPvValue[0], 30.0f);   // slot 0's second reply
    EXPECT_FLOAT_EQ(state.gPvValue[12], 20.0f);  // slot 2
    EXPECT_EQ(view.captions[6], "40.0");         // slot 1, channel 1
}

TEST_F(PollCycleTest, EmptyResultKeepsTheSlotAndEscKeepsItsOldLines)
{
    recorders("2");
    link.queueText(replyOf(7.0));
    link.queueText("");
    link.queueText("");
    step();
    step();
    step();
    EXPECT_EQ(cycle.pollIndex(), 1);
    EXPECT_EQ(link.rwAddresses, (std::vector<std::string>{"01", "02", "02"}));

    link.queueEsc();   // slot 1 silent
    link.queueEsc();   // slot 0 silent: its last reply stays
    step();
    step();
    EXPECT_EQ(state.gPvLine[0][2], channelLine('N', "7.0"));
    EXPECT_FLOAT_EQ(state.gPvValue[0], 7.0f);
    EXPECT_EQ(view.captions[0], "7.0");
    EXPECT_EQ(cycle.pollIndex(), 1);
}

TEST_F(PollCycleTest, NextRequestWaitsForAQuietLine)
{
    // What arrives after an exchange (the late rest of a reply given up on,
    // a line too many) is not the next recorder's reply: after every
    // exchange the line is cleared and the next request waits for a tick in
    // which nothing has arrived, a second at most.
    recorders("2");
    link.queueText("");
    link.queueText(replyOf(1.0));
    link.queueEsc();
    cycle.tick();
    cycle.tick();
    cycle.tick();  // settles
    link.inputWaiting = 3;
    cycle.tick();  // something came in: cleared, wait on
    link.inputWaiting = 0;
    cycle.tick();  // quiet: slot 1 begins
    const std::vector<std::string> expected{
        "RecvBufClear", "RWcomm(01,06,1,N)",                   // slot 0 begins
        "RWcomm(01,06,1,N)",                                   // under way: nothing cleared
        "RecvBufClear",                                        // after the reply
        "inbcount", "RecvBufClear",                            // still noise
        "inbcount", "RecvBufClear", "RWcomm(02,06,1,N)"};      // quiet
    EXPECT_EQ(link.calls, expected);

    // A line that never goes quiet holds the cycle for 20 ticks at most.
    link.inputWaiting = 5;
    int ticks = 0;
    while (link.rwAddresses.size() == 3 && ticks < 100) {
        cycle.tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 21);
}

TEST_F(PollCycleTest, ShowsOnlyTheSlotsOfThePageShown)
{
    recorders("31");
    view.page = 1;
    std::vector<std::string> lines = {channelLine('S', "5.0"), channelLine('N', "12.345", "-02"),
                                      channelLine('N', "12.4", "-00"), channelLine('N', "5"),
                                      channelLine('N', "0"), channelLine('N', "-3.25")};
    const std::string text = reply(lines) + "extra\r\n";
    state.gChannel[12 * 6 + 5].LogSel = 0;  // channel 13-6 not selected

    // Slot 0 (page 0) first: values stored, no label touched.
    link.queueText(reply(lines));
    step();
    EXPECT_EQ(view.captionCalls, 0);
    EXPECT_FLOAT_EQ(state.gPvValue[1], 12.345f);
    EXPECT_EQ(state.gPvValue[0], 0.0f);

    // Slot 12 is label 0 of page 1.
    for (int s = 1; s < 12; ++s)
        link.queueEsc();
    link.queueText(text);
    for (int s = 1; s <= 12; ++s)
        step();
    EXPECT_EQ(view.captions.at(0), "");        // "S": blank, selected or not
    EXPECT_EQ(view.captions.at(1), "12.35");
    EXPECT_EQ(view.captions.at(2), "12.");
    EXPECT_EQ(view.captions.at(3), "5.0");
    EXPECT_EQ(view.captions.at(4), "0.0");
    EXPECT_EQ(view.captions.count(5), 0u);     // not selected: label unchanged
    EXPECT_FLOAT_EQ(state.gPvValue[12 * 6 + 5], -3.25f);
    EXPECT_EQ(state.gRecvText, "extra\r\n");   // text after the eighth line is not used

    // Page 2 ends at slot 30: its last label is 41.
    view.page = 2;
    state.gPvLine[30][7] = channelLine('N', "1.5");
    cycle.Pvdispset(30);
    EXPECT_EQ(view.captions.at(41), "1.5");
}

TEST_F(PollCycleTest, LinkErrorsDoNotStopTheCycle)
{
    recorders("3");
    link.queueText(replyOf(1.0));
    link.queueError(rdx::kErrSettingsRefused);  // slot 1: the port refused something
    link.queueText(replyOf(3.0));
    EXPECT_NO_THROW(step());
    EXPECT_NO_THROW(step());
    EXPECT_NO_THROW(step());
    EXPECT_EQ(state.gStartDone, 1);  // the start-up pass still ends
    EXPECT_EQ(view.progress, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(link.rwAddresses, (std::vector<std::string>{"01", "02", "03"}));
    EXPECT_FLOAT_EQ(state.gPvValue[12], 3.0f);
    EXPECT_EQ(view.captions.at(6), "0.0");  // slot 1 never answered

    // A link that fails on every call (not for a lost device, see
    // poll_recovery_test) still moves from slot to slot.
    link.failMember("RWcomm", rdx::kErrWhileOpen);
    for (int i = 0; i < 4; ++i)
        EXPECT_NO_THROW(step());
    EXPECT_EQ(cycle.pollIndex(), 1);
    EXPECT_FLOAT_EQ(state.gPvValue[0], 1.0f);  // old values kept
}

TEST_F(PollCycleTest, UnreadableRecorderCountPollsOneSlot)
{
    recorders("xx");
    EXPECT_EQ(recorderCount(state.gInit), 1);
    recorders("99");
    EXPECT_EQ(recorderCount(state.gInit), 31);
    recorders("xx");
    link.queueEsc();
    link.queueEsc();
    step();
    step();
    EXPECT_EQ(link.rwAddresses, (std::vector<std::string>{"01", "01"}));
}

TEST(ConnectLink, SetsThePortOpensClearsAndClosesEveryRecorder)
{
    FakeLink link;
    SharedState state;
    state.gLink = &link;
    state.gInit.Port = "COM2";
    state.gInit.Speed = "1920";
    state.gInit.RecCount = "03";
    state.gDevAddr = {5, 12, 7, 9};
    EXPECT_TRUE(connectLink(state).opened);
    EXPECT_EQ(state.gPortOpened, "True");
    EXPECT_EQ(link.calls, (std::vector<std::string>{"Port(COM2)", "BaudRate(1920)", "DataBit(7)", "StopBit(1)",
                                                    "Flow(NONE)", "Pality(Even)", "RThreshold(4)", "PortOpen",
                                                    "SendBufClear", "RecvBufClear", "Send_Close(05)",
                                                    "Send_Close(12)", "Send_Close(07)"}));
}

TEST(ConnectLink, PortNotOpenedSendsNoCloseCommands)
{
    for (bool raise : {false, true}) {
        FakeLink link;
        SharedState state;
        state.gLink = &link;
        state.gPortOpened = "True";
        if (raise)
            link.failMember("PortOpen", rdx::kErrPortOpen);
        else
            link.portOpenResult = false;
        EXPECT_FALSE(connectLink(state).opened);
        EXPECT_EQ(state.gPortOpened, "False");
        const std::vector<std::string> tail(link.calls.end() - 3, link.calls.end());
        EXPECT_EQ(tail, (std::vector<std::string>{"PortOpen", "SendBufClear", "RecvBufClear"}));
    }
}

TEST(ConnectLink, OtherErrorsEndTheConnectingStep)
{
    FakeLink link;
    SharedState state;
    state.gLink = &link;
    link.failMember("SendBufClear", rdx::kErrNotOpen);
    try {
        connectLink(state);
        FAIL() << "the error did not reach the caller";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrNotOpen);
    }
    EXPECT_EQ(link.calls.back(), "SendBufClear");

    FakeLink failing;
    state.gLink = &failing;
    failing.failMember("PortOpen", rdx::kErrDeviceBusy);
    EXPECT_THROW(connectLink(state), rdx::LinkError);
}

}  // namespace
}  // namespace rdxmon
