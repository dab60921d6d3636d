// The simulator: its reply lines (fields, check character), request parser
// and command line, and its behaviour on the line against an injected clock
// (who answers, the pacing, the fault modes' bytes).
#include <cmath>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

#include "ReplyFormat.h"
#include "RequestParser.h"
#include "Simulator.h"

namespace {

using rdxsim::Request;
using Kind = rdxsim::Request::Kind;

TEST(ReplyFormat, FieldPositionsAndCheckCharacter)
{
    const struct {
        char kind, width;
        int address, line;
        std::string data, expected;
    } lines[] = {
        {'I', '!', 5, 0, "RDX-512 No.05   26/12/06", "I05!00  RDX-512 No.05   26/12/061\r\n"},
        {'T', '!', 5, 1, "0000000121:25:14CH=06   ", "T05!01  0000000121:25:14CH=06   ]\r\n"},
        {'N', ' ', 5, 2, "C01       30.3-01OK ", "N05 02  C01       30.3-01OK 5\r\n"},
        {'N', ' ', 5, 5, "C04    56.67     OK ", "N05 05  C04    56.67     OK o\r\n"},
        {'S', ' ', 5, 7, "C06              ---", "S05 07  C06              ---_\r\n"},
        {'N', ' ', 31, 12, "C11      -23.7-01OK ", "N31 12  C11      -23.7-01OK I\r\n"},
    };
    for (const auto& l : lines)
        EXPECT_EQ(rdxsim::buildLine(l.kind, l.address, l.width, l.line, l.data), l.expected);
    // Generated replies: count + 2 lines; every value where the monitor reads it.
    rdxsim::ReplyGenerator generator({.seed = 3, .skipChannel = 6, .skipEvery = 5});
    EXPECT_TRUE(generator.reply(1, 0, 0, 0, 1).size() == 2 && generator.reply(1, 12, 0, 0, 1).size() == 14);
    EXPECT_EQ(generator.reply(5, 6, 0, 45296000, 7)[1].substr(8, 24), "0000000712:34:56CH=06   ");
    for (int address : {1, 5, 13}) {
        for (std::int64_t t = 0; t < 1'200'000; t += 97'000) {
            const auto reply = generator.reply(address, 6, t, 0, 1);
            for (int c = 1; c <= 6; ++c) {
                const std::string& line = reply[1 + c];
                SCOPED_TRACE(line);
                ASSERT_EQ(line.size(), 31u);
                EXPECT_EQ(line[line.size() - 3], rdxsim::checkCharacter(line.substr(0, 28)));
                if (c == 6 && address == 5) {
                    EXPECT_EQ(line.substr(0, 1) + line.substr(15, 13), "S" + std::string(10, ' ') + "---");
                    continue;
                }
                const rdxsim::ChannelProfile p = rdxsim::channelProfile(c);
                EXPECT_NEAR(std::strtod(line.c_str() + 15, nullptr), generator.value(address, c, t, 1),
                            p.decimals < 0 ? 0.006 : 0.51 * std::pow(10, -p.decimals));
                EXPECT_EQ(line.substr(22, 3) == "-0" + std::to_string(p.decimals), p.decimals >= 0);
                EXPECT_NE(line[p.decimals >= 0 ? 21 : 15], ' ');  // right-aligned to 22, or left from 16
            }
        }
    }
}

TEST(RequestParser, RequestsWhateverThePiecesAndTheNoise)
{
    const std::vector<Request> expected
        = {{Kind::Open, "05"}, {Kind::Ts0, ""}, {Kind::Data, "06"}, {Kind::Close, "05"}};
    const std::string exchange = "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n\x1b"
                                 "C 05\r\n";
    const struct {
        std::string text;
        std::vector<Request> requests;
    } cases[] = {
        {exchange, expected},
        {"#~q\x01\x1bO 05\r\nzz\r\n\r\nxxTS0\r\n\x1bT\r\nFM0,01,06\r\n\x1bQ 1\r\nFM0,01,07\r\njunk\x1b"
         "C 05\r\n",
         expected},  // a format line without ESC "T" asks nothing
        {"\x1bT\r\nnoise\r\nFM0,01,06\r\n", {}},  // an interrupted data request is dropped
        {"\x1bO 31\r\n\x1bT\r\nFM0,01,12\r\n", {{Kind::Open, "31"}, {Kind::Data, "12"}}},
    };
    for (const auto& c : cases) {
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            rdxsim::RequestParser parser;
            std::vector<Request> got = parser.feed(c.text.substr(0, cut));
            const std::vector<Request> rest = parser.feed(c.text.substr(cut));
            got.insert(got.end(), rest.begin(), rest.end());
            ASSERT_EQ(got, c.requests) << "cut at " << cut << " of case " << &c - cases;
        }
    }
    EXPECT_EQ(expected.back().describe(), "close 05");
    EXPECT_EQ(rdxsim::leadingNumber("  12x"), 12);
    EXPECT_EQ(rdxsim::leadingNumber("abc"), std::nullopt);
}

TEST(SimCommandLine, OptionsAndTheirErrors)
{
    const rdxsim::SimConfig c = rdxsim::parseCommandLine({"--addresses", "1-12,15", "--baud", "19200", "--noise", "8,9",
                                                          "--vanish-after", "0.5", "--port-name", "COM3"});
    EXPECT_TRUE(c.addresses.size() == 13 && c.addresses.contains(15) && c.baud == 19200 && c.portName == "COM3");
    EXPECT_TRUE(c.faults.noise == (std::set<int>{8, 9}) && c.vanishAfterS == 0.5);
    EXPECT_EQ(rdxsim::parseCommandLine({}).addresses.size(), 31u);

    const std::vector<std::pair<std::vector<std::string>, std::string>> bad
        = {{{"--addresses", "5-2"}, "5-2"}, {{"--addresses", "1-100"}, "0 to 99"}, {{"--baud", "fast"}, "fast"},
           {{"--baud"}, "value missing"},   {{"--colour", "red"}, "--colour"},     {{"--port-name", "a/b"}, "a/b"}};
    for (const auto& [args, named] : bad) {
        try {
            rdxsim::parseCommandLine(args);
            ADD_FAILURE() << "accepted " << args[0];
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
        }
    }
}

std::string requestFor(const std::string& address)
{
    return "\x1bO " + address + "\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n";
}

// Everything sent from startUs to untilUs, taken every millisecond.
struct Sent {
    std::string bytes;
    std::int64_t firstUs = -1, lastUs = -1;
};
Sent run(rdxsim::Simulator& sim, std::int64_t startUs, std::int64_t untilUs)
{
    Sent sent;
    for (std::int64_t t = startUs; t <= untilUs; t += 1000) {
        const std::string out = sim.transmit(t);
        if (out.empty())
            continue;
        sent.firstUs = sent.firstUs < 0 ? t : sent.firstUs;
        sent.lastUs = t;
        sent.bytes += out;
    }
    return sent;
}

std::size_t lineEnds(const std::string& text)
{
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

TEST(Simulator, AnswersOnlyTheRecorderOpenedAtTheLineSpeed)
{
    rdxsim::Simulator sim(rdxsim::parseCommandLine({"--addresses", "1-12"}));
    sim.receive(requestFor("05"), 0);
    const Sent reply = run(sim, 0, 2'000'000);
    std::string expected;
    for (const auto& l : rdxsim::ReplyGenerator().reply(5, 6, 30, 30, 1))
        expected += l;
    EXPECT_EQ(reply.bytes, expected);
    // 27 request characters of 1042 us, 2 ms to turn round, then 1042 us a character.
    const std::int64_t start = 27 * 1042 + 2000;
    EXPECT_EQ(reply.firstUs, (start + 1042 + 999) / 1000 * 1000);
    EXPECT_EQ(reply.lastUs, (start + std::int64_t(reply.bytes.size()) * 1042 + 999) / 1000 * 1000);

    sim.receive(requestFor("40"), 3'000'000);  // not on the line
    EXPECT_TRUE(run(sim, 3'000'000, 5'000'000).bytes.empty());
    sim.receive("\x1bO 03\r\n\x1b"
                "C 03\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n",
                6'000'000);  // closed again
    EXPECT_TRUE(run(sim, 6'000'000, 8'000'000).bytes.empty());
    sim.receive(requestFor("5"), 9'000'000);
    EXPECT_NE(run(sim, 9'000'000, 10'000'000).bytes.find("00000002"), std::string::npos);  // its next reply
    sim.receive(requestFor("05"), 11'000'000);
    EXPECT_FALSE(run(sim, 11'000'000, 11'060'000).bytes.empty());
    sim.reset();  // the line went away: nothing more is sent
    EXPECT_FALSE(sim.nextTransmitUs());
}

TEST(Simulator, FaultModes)
{
    const std::size_t kFull = 8;
    const auto lines = rdxsim::ReplyGenerator().reply(5, 6, 30, 30, 1);
    std::string clean, channels;  // the healthy reply, its channel lines
    for (std::size_t i = 0; i < lines.size(); ++i)
        (i < 2 ? clean : channels) += lines[i];
    clean += channels;
    const struct {
        const char* option;
        std::int64_t untilUs;
        std::function<void(const std::string&)> check;
    } cases[] = {
        {"--silent", 3'000'000, [](const std::string& b) { EXPECT_TRUE(b.empty()); }},
        {"--short", 2'000'000,
         [&](const std::string& b) { EXPECT_EQ(b, clean.substr(0, clean.size() - lines.back().size())); }},
        {"--extra", 2'000'000,
         [&](const std::string& b) { EXPECT_EQ(b, clean + rdxsim::ReplyGenerator().extraLine(5, 8)); }},
        {"--garbage", 2'000'000,
         [&](const std::string& b) {  // before the reply and in lines 0 and 1
             EXPECT_TRUE(lineEnds(b) == kFull && b.substr(0, 3) != "I05" && b.ends_with(channels));
         }},
        {"--slow", 1'000'000, [&](const std::string& b) { EXPECT_EQ(b, lines[0]); }},
        {"--noise", 2'000'000,
         [&](const std::string& b) {  // a burst after the reply that is no line
             EXPECT_TRUE(b.starts_with(clean) && b.size() >= clean.size() + 4 && lineEnds(b) == kFull);
         }},
        {"--noise-line", 2'000'000,
         [&](const std::string& b) {  // the burst ends in CR LF
             EXPECT_TRUE(b.starts_with(clean) && b.ends_with("\r\n") && lineEnds(b) == kFull + 1);
         }},
        {"--stray", 2'000'000, [&](const std::string& b) { EXPECT_EQ(b, "zz\r\n" + clean); }},
        {"--late", 1'100'000, [](const std::string& b) { EXPECT_TRUE(b.empty()); }},
        {"--quits", 3'000'000, [](const std::string& b) { EXPECT_TRUE(b.empty()); }},  // after 0 s
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        rdxsim::Simulator sim(rdxsim::parseCommandLine({"--addresses", "1-12", c.option, "5", "--quit-after", "0"}));
        sim.receive(requestFor("05"), 0);
        c.check(run(sim, 0, c.untilUs).bytes);
        const Sent late = run(sim, c.untilUs + 1000, 3'900'000);
        if (std::string(c.option) == "--slow") {  // the rest after the pause
            EXPECT_EQ(lineEnds(late.bytes), kFull - 1);
            EXPECT_GE(late.firstUs, 1'200'000);
        }
        if (std::string(c.option) == "--late") {  // the whole reply after the pause
            EXPECT_EQ(late.bytes, clean);
            EXPECT_GE(late.firstUs, 1'200'000);
        }
        // What went out is told, as the recorder meant it (the quitter sent nothing).
        const std::vector<rdxsim::SentReply> sent = sim.takeSent();
        ASSERT_EQ(sent.size(), std::string(c.option) == "--quits" || std::string(c.option) == "--silent" ? 0u : 1u);
        if (!sent.empty()) {
            EXPECT_EQ(sent[0].fields.size(), 6u);
            EXPECT_EQ(sent[0].fields.back(), "S");  // channel 6 of every fifth recorder
            EXPECT_DOUBLE_EQ(std::stod(sent[0].fields[0]), std::stod(channels.substr(15, 7)));
        }
        sim.receive(requestFor("06"), 4'000'000);  // the others answer as ever
        EXPECT_EQ(run(sim, 4'000'000, 5'000'000).bytes.find("I06!00"), 0u);
    }
}

}  // namespace
