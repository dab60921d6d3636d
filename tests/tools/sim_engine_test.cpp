// The simulator's behaviour on the line, against an injected clock: who
// answers, the fault modes' bytes and the pacing of the output.
#include <algorithm>
#include <gtest/gtest.h>

#include "Simulator.h"

namespace {

const std::string kRequest5 = "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n";

std::string requestFor(const std::string& address) {
    return "\x1bO " + address + "\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n";
}

rdxsim::SimConfig config(const std::string& extraOption = {}, const std::string& list = "5") {
    std::vector<std::string> args = {"--addresses", "1-12"};
    if (!extraOption.empty()) args.insert(args.end(), {extraOption, list});
    return rdxsim::parseCommandLine(args);
}

// Everything the simulator sends from startUs on, taken every millisecond.
struct Sent {
    std::string bytes;
    std::int64_t firstUs = -1, lastUs = -1;
};
Sent run(rdxsim::Simulator& sim, std::int64_t startUs, std::int64_t untilUs) {
    Sent sent;
    for (std::int64_t t = startUs; t <= untilUs; t += 1000) {
        const std::string out = sim.transmit(t);
        if (out.empty()) continue;
        if (sent.firstUs < 0) sent.firstUs = t;
        sent.lastUs = t;
        sent.bytes += out;
    }
    return sent;
}

std::size_t lineEnds(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
    return n;
}

TEST(Simulator, AnswersOnlyTheRecorderOpenedAndPacesTheReply) {
    rdxsim::Simulator sim(config());
    const auto requests = sim.receive(kRequest5, 0);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].describe(), "data 06");
    const Sent reply = run(sim, 0, 2'000'000);
    EXPECT_EQ(lineEnds(reply.bytes), 8u);
    EXPECT_EQ(reply.bytes, [] {
        std::string all;
        for (const auto& l : rdxsim::ReplyGenerator().reply(5, 6, 30, 30, 1)) all += l;
        return all;
    }());
    // The request takes 27 characters of 1042 us on the line, the recorder
    // turns round in 2 ms, then every character takes 1042 us again.
    const std::int64_t start = 27 * 1042 + 2000;
    EXPECT_EQ(reply.firstUs, (start + 1042 + 999) / 1000 * 1000);
    EXPECT_EQ(reply.lastUs, (start + std::int64_t(reply.bytes.size()) * 1042 + 999) / 1000 * 1000);

    // An address not on the line, or not opened, gets nothing.
    sim.receive(requestFor("40"), 3'000'000);
    EXPECT_TRUE(run(sim, 3'000'000, 5'000'000).bytes.empty());
    sim.receive("\x1bO 03\r\n\x1b" "C 03\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n", 6'000'000);
    EXPECT_TRUE(run(sim, 6'000'000, 8'000'000).bytes.empty());
    // The same recorder again: its sequence number has moved on.
    sim.receive(requestFor("5"), 9'000'000);
    EXPECT_NE(run(sim, 9'000'000, 10'000'000).bytes.find("00000002"), std::string::npos);
}

TEST(Simulator, FaultModes) {
    const std::size_t kFull = rdxsim::ReplyGenerator().reply(5, 6, 0, 0, 1).size();
    {
        rdxsim::Simulator sim(config("--silent"));
        sim.receive(kRequest5, 0);
        EXPECT_TRUE(run(sim, 0, 3'000'000).bytes.empty());
        sim.receive(requestFor("06"), 4'000'000);  // the others still answer
        EXPECT_EQ(lineEnds(run(sim, 4'000'000, 5'000'000).bytes), kFull);
    }
    {
        rdxsim::Simulator sim(config("--short"));
        sim.receive(kRequest5, 0);
        const std::string bytes = run(sim, 0, 2'000'000).bytes;
        EXPECT_EQ(lineEnds(bytes), kFull - 1);
        EXPECT_EQ(bytes.find("N05 07"), std::string::npos);  // the last channel is missing
    }
    {
        rdxsim::Simulator sim(config("--extra"));
        sim.receive(kRequest5, 0);
        const std::string bytes = run(sim, 0, 2'000'000).bytes;
        EXPECT_EQ(lineEnds(bytes), kFull + 1);
        EXPECT_EQ(bytes.substr(bytes.rfind("X05 08")), rdxsim::ReplyGenerator().extraLine(5, 8));
    }
    {
        rdxsim::Simulator sim(config("--garbage"));
        sim.receive(kRequest5, 0);
        const std::string bytes = run(sim, 0, 2'000'000).bytes;
        EXPECT_EQ(lineEnds(bytes), kFull);  // still eight lines
        EXPECT_NE(bytes.substr(0, 3), "I05");  // garbage comes first
        const auto clean = rdxsim::ReplyGenerator().reply(5, 6, 30, 30, 1);
        EXPECT_GE(bytes.size(), 256u + 3 + 2 * 2);
        // The channel lines arrive untouched at the end of the reply.
        std::string channels;
        for (std::size_t i = 2; i < clean.size(); ++i) channels += clean[i];
        EXPECT_EQ(bytes.substr(bytes.size() - channels.size()), channels);
    }
    {
        rdxsim::Simulator sim(config("--slow"));
        sim.receive(kRequest5, 0);
        const Sent early = run(sim, 0, 1'000'000);  // what reaches a 1000 ms time-out
        EXPECT_EQ(lineEnds(early.bytes), 1u);
        const Sent late = run(sim, 1'001'000, 3'000'000);
        EXPECT_EQ(lineEnds(late.bytes), kFull - 1);
        EXPECT_GE(late.firstUs, 1'200'000);
    }
    {
        rdxsim::Simulator sim(config("--noise"));
        sim.receive(kRequest5, 0);
        const std::string bytes = run(sim, 0, 2'000'000).bytes;
        const std::string tail = bytes.substr(bytes.rfind("\r\n") + 2);
        EXPECT_GE(tail.size(), 4u);  // a burst after the reply...
        EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](char c) { return c > ' ' && c < 127; }));
        EXPECT_EQ(lineEnds(bytes), kFull);  // ...that is no line
    }
}

TEST(Simulator, ResetDropsTheReplyUnderWay) {
    rdxsim::Simulator sim(config());
    sim.receive(kRequest5, 0);
    EXPECT_FALSE(run(sim, 0, 60'000).bytes.empty());
    sim.reset();
    EXPECT_FALSE(sim.nextTransmitUs());
    sim.receive("TS0\r\n\x1bT\r\nFM0,01,06\r\n", 2'000'000);  // no open since the reset
    EXPECT_TRUE(run(sim, 2'000'000, 3'000'000).bytes.empty());
}

TEST(Transmitter, PacingArithmetic) {
    EXPECT_EQ(rdxsim::characterTimeUs(9600), 1042);
    EXPECT_EQ(rdxsim::characterTimeUs(19200), 521);
    EXPECT_EQ(rdxsim::characterTimeUs(2400), 4167);
    rdxsim::Transmitter tx(9600);
    tx.queue("abc", 10'000);
    tx.queue("de", 0);  // behind "abc" whatever its own time
    EXPECT_EQ(tx.idleAtUs(), 10'000 + 5 * 1042);
    EXPECT_EQ(tx.nextDueUs(), 11'042);
    EXPECT_EQ(tx.take(11'041), "");
    EXPECT_EQ(tx.take(12'084), "ab");
    EXPECT_EQ(tx.take(20'000), "cde");
    EXPECT_TRUE(tx.idle());
    // After an idle line the next text starts at its own time.
    tx.queue("f", 50'000);
    EXPECT_EQ(tx.nextDueUs(), 51'042);
}

TEST(Transmitter, FifoDeliversInGroupsAndAtPauses) {
    const std::int64_t c = rdxsim::characterTimeUs(9600);
    EXPECT_FALSE(rdxsim::fifoReady(0, std::nullopt, 0, 9600, 4));
    EXPECT_FALSE(rdxsim::fifoReady(3, 1000 + c, 1000, 9600, 4));  // more follows at once
    EXPECT_TRUE(rdxsim::fifoReady(4, 1000 + c, 1000, 9600, 4));
    EXPECT_TRUE(rdxsim::fifoReady(1, std::nullopt, 1000, 9600, 4));   // the text has ended
    EXPECT_TRUE(rdxsim::fifoReady(2, 1000 + 5 * c, 1000, 9600, 4));  // the line pauses
    EXPECT_TRUE(rdxsim::fifoReady(1, 1000 + c, 1000, 9600, 1));
}

}  // namespace
