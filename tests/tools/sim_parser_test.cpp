// The simulator's request parser and its command line.
#include <gtest/gtest.h>

#include "RequestParser.h"
#include "Simulator.h"

namespace {

using rdxsim::Request;
using Kind = rdxsim::Request::Kind;

const std::string kExchange =
    "\x1bO 05\r\nTS0\r\n\x1bT\r\nFM0,01,06\r\n\x1b" "C 05\r\n";
const std::vector<Request> kExpected = {
    {Kind::Open, "05"}, {Kind::Ts0, ""}, {Kind::Data, "06"}, {Kind::Close, "05"}};

TEST(RequestParser, SameRequestsWhateverThePieces) {
    for (std::size_t cut = 0; cut <= kExchange.size(); ++cut) {
        rdxsim::RequestParser parser;
        std::vector<Request> got = parser.feed(kExchange.substr(0, cut));
        const std::vector<Request> rest = parser.feed(kExchange.substr(cut));
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, kExpected) << "cut at " << cut;
    }
    rdxsim::RequestParser bytewise;
    std::vector<Request> got;
    for (char c : kExchange) {
        const auto r = bytewise.feed(std::string(1, c));
        got.insert(got.end(), r.begin(), r.end());
    }
    EXPECT_EQ(got, kExpected);
}

TEST(RequestParser, NoiseBetweenRequestsIsIgnored) {
    rdxsim::RequestParser parser;
    const auto got = parser.feed(
        "#~q\x01" "\x1bO 05\r\n" "zz\r\n" "\r\n" "xxTS0\r\n" "\x1bT\r\nFM0,01,06\r\n"
        "\x1bQ 1\r\n" "FM0,01,07\r\n"    // a format line without ESC "T" asks nothing
        "junk\x1b" "C 05\r\n");
    EXPECT_EQ(got, kExpected);
    EXPECT_EQ(got.back().describe(), "close 05");
    // A data request interrupted by another line is dropped.
    EXPECT_TRUE(parser.feed("\x1bT\r\nnoise\r\nFM0,01,06\r\n").empty());
}

TEST(RequestParser, LeadingNumber) {
    EXPECT_EQ(rdxsim::leadingNumber("05"), 5);
    EXPECT_EQ(rdxsim::leadingNumber("  12x"), 12);
    EXPECT_EQ(rdxsim::leadingNumber("abc"), std::nullopt);
    EXPECT_EQ(rdxsim::leadingNumber(""), std::nullopt);
}

TEST(SimCommandLine, OptionsAndAddressLists) {
    EXPECT_EQ(rdxsim::parseAddressList("1-3,7"), (std::set<int>{1, 2, 3, 7}));
    const rdxsim::SimConfig defaults = rdxsim::parseCommandLine({});
    EXPECT_EQ(defaults.addresses.size(), 31u);
    EXPECT_EQ(defaults.baud, 9600);
    EXPECT_EQ(defaults.portName, "COM1");

    const rdxsim::SimConfig c = rdxsim::parseCommandLine(
        {"--addresses", "1-12,15", "--baud", "19200", "--silent", "3", "--short", "4",
         "--extra", "5", "--garbage", "6", "--slow", "7", "--noise", "8,9",
         "--vanish-after", "0.5", "--return-after", "2", "--port-name", "COM3"});
    EXPECT_EQ(c.addresses.size(), 13u);
    EXPECT_TRUE(c.addresses.contains(15));
    EXPECT_EQ(c.baud, 19200);
    EXPECT_EQ(c.faults.silent, std::set<int>{3});
    EXPECT_EQ(c.faults.shortReply, std::set<int>{4});
    EXPECT_EQ(c.faults.extra, std::set<int>{5});
    EXPECT_EQ(c.faults.garbage, std::set<int>{6});
    EXPECT_EQ(c.faults.slow, std::set<int>{7});
    EXPECT_EQ(c.faults.noise, (std::set<int>{8, 9}));
    EXPECT_DOUBLE_EQ(c.vanishAfterS, 0.5);
    EXPECT_DOUBLE_EQ(c.returnAfterS, 2.0);
    EXPECT_EQ(c.portName, "COM3");

    // Bad input gets a message naming what is wrong.
    const auto message = [](std::vector<std::string> args) {
        try {
            rdxsim::parseCommandLine(args);
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_NE(message({"--addresses", "5-2"}).find("5-2"), std::string::npos);
    EXPECT_NE(message({"--addresses", "1-100"}).find("0 to 99"), std::string::npos);
    EXPECT_NE(message({"--baud", "fast"}).find("fast"), std::string::npos);
    EXPECT_NE(message({"--baud"}).find("value missing"), std::string::npos);
    EXPECT_NE(message({"--colour", "red"}).find("--colour"), std::string::npos);
    EXPECT_NE(message({"--port-name", "a/b"}).find("a/b"), std::string::npos);
}

}  // namespace
