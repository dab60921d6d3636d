// The simulated recorder's reply lines, read the way the link and the
// monitor read them.
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

#include "ReplyFormat.h"
#include "rdx5Comm3.h"

namespace {

// Positions count from 1, as in the reply's description.
char at(const std::string& line, std::size_t position) { return line.at(position - 1); }

double numberFrom16(const std::string& line) { return std::strtod(line.c_str() + 15, nullptr); }

TEST(ReplyFormat, LinesAreFramedForTheLink) {
    rdxsim::ReplyGenerator generator;
    rdx::rdx5Comm3 link;
    const auto lines = generator.reply(5, 6, 123456, 0, 7);
    ASSERT_EQ(lines.size(), 8u);
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 15u);
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        EXPECT_EQ(line[line.size() - 3], rdxsim::checkCharacter(line.substr(0, line.size() - 3)));
        EXPECT_EQ(line.substr(1, 2), "05");
    }
    EXPECT_EQ(lines[0], rdxsim::buildLine('I', 5, '!', 0, "RDX-512 No.05   70/01/01"));
    EXPECT_EQ(link.isDataNum(lines[0]), 3);
    EXPECT_EQ(link.GetNData(lines[0], 2), "No.05   ");
    // Status line: sequence number, time of day, channels asked for.
    EXPECT_EQ(link.GetNData(lines[1], 1), "00000007");
    EXPECT_EQ(link.GetNData(lines[1], 2), "00:00:00");
    EXPECT_EQ(link.GetNData(lines[1], 3), "CH=06   ");
    EXPECT_EQ(link.GetNData(generator.reply(5, 6, 0, 45296000, 1)[1], 2), "12:34:56");
    for (int c = 1; c <= 6; ++c) {
        const std::string& line = lines[1 + c];
        EXPECT_EQ(link.isDataNum(line), 5) << line;
        EXPECT_EQ(at(line, 4), ' ');
        EXPECT_EQ(line.size(), 31u);
    }
    EXPECT_EQ(generator.reply(1, 0, 0, 0, 1).size(), 2u);
    EXPECT_EQ(generator.reply(1, 12, 0, 0, 1).size(), 14u);
}

TEST(ReplyFormat, ChannelLinePositionsCarryTheValue) {
    rdxsim::ReplyGenerator generator({.seed = 3, .skipChannel = 6, .skipEvery = 5});
    bool sawNegative = false;
    for (int address : {1, 5, 10, 13}) {
        for (std::int64_t t = 0; t < 1'200'000; t += 37'000) {
            const auto lines = generator.reply(address, 6, t, 0, 1);
            for (int c = 1; c <= 6; ++c) {
                const std::string& line = lines[1 + c];
                SCOPED_TRACE(line);
                const bool skip = c == 6 && address % 5 == 0;
                EXPECT_EQ(at(line, 1), skip ? 'S' : 'N');
                if (skip) continue;
                const rdxsim::ChannelProfile p = rdxsim::channelProfile(c);
                const double v = generator.value(address, c, t, 1);
                EXPECT_LE(std::fabs(v - p.center), p.amplitude + p.noise);
                EXPECT_NEAR(numberFrom16(line), v, p.decimals < 0 ? 0.006 : 0.51 * std::pow(10, -p.decimals));
                if (p.decimals >= 0) {
                    EXPECT_EQ(at(line, 23), '-');
                    EXPECT_EQ(line.substr(23, 2), "0" + std::to_string(p.decimals));
                    EXPECT_NE(at(line, 22), ' ');  // right-aligned in 16..22
                } else {
                    EXPECT_NE(at(line, 23), '-');
                    EXPECT_NE(at(line, 16), ' ');  // left-aligned from 16
                }
                sawNegative |= v < 0;
            }
        }
    }
    EXPECT_TRUE(sawNegative);
    rdxsim::ReplyGenerator none({.seed = 3, .skipChannel = 6, .skipEvery = 0});
    EXPECT_FALSE(none.skipped(5, 6));
}

TEST(ReplyFormat, ValuesMoveAndRepeatForTheSameSeed) {
    rdxsim::ReplyGenerator a({.seed = 9}), b({.seed = 9}), c({.seed = 10});
    EXPECT_EQ(a.reply(2, 6, 5000, 0, 4), b.reply(2, 6, 5000, 0, 4));
    EXPECT_NE(a.reply(2, 6, 5000, 0, 4), c.reply(2, 6, 5000, 0, 4));
    // A minute later the slow waves have moved.
    EXPECT_GT(std::fabs(a.value(2, 1, 65000, 5) - a.value(2, 1, 5000, 4)), 0.2);
    // The noise changes from reply to reply at the same moment.
    EXPECT_NE(a.value(2, 3, 5000, 4), a.value(2, 3, 5000, 5));
}

}  // namespace
