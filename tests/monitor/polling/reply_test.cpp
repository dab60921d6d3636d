#include <gtest/gtest.h>

#include "polling/Reply.h"
#include "support/FakeLink.h"

namespace rdxmon {
namespace {

using rdxtest::channelLine;

TEST(SplitReply, TakesEightLinesAndLeavesTheRest)
{
    std::array<std::string, 9> lines;
    lines[8] = "untouched";
    std::string text;
    for (int i = 0; i < 8; ++i)
        text += "line" + std::to_string(i) + "\r\n";
    text += "extra\r\nmore";
    splitReply(text, lines);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(lines[i], "line" + std::to_string(i) + "\r\n");
    EXPECT_EQ(lines[8], "untouched");
    EXPECT_EQ(text, "extra\r\nmore");
}

TEST(SplitReply, FewerLinesLeaveEmptiesAndTheRemainder)
{
    std::array<std::string, 9> lines;
    lines.fill("old");
    std::string text = "a\r\nb\rc\r\ntail";
    splitReply(text, lines);
    EXPECT_EQ(lines[0], "a\r\n");
    EXPECT_EQ(lines[1], "b\rc\r\n");
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(lines[i], "") << i;
    EXPECT_EQ(lines[8], "old");
    EXPECT_EQ(text, "tail");
}

TEST(ChannelLine, ReadsStatusValueAndDecimals)
{
    const ChannelReading skipped = readChannelLine(channelLine('S', "123.4"));
    EXPECT_TRUE(skipped.skipped);
    EXPECT_EQ(skipped.value, 0.0f);

    const ChannelReading two = readChannelLine(channelLine('N', "12.345", "-02"));
    EXPECT_FALSE(two.skipped);
    EXPECT_FLOAT_EQ(two.value, 12.345f);  // the "-" at 23 ends the number
    EXPECT_EQ(two.decimals, 2);

    const ChannelReading none = readChannelLine(channelLine('N', "-3.25"));
    EXPECT_FLOAT_EQ(none.value, -3.25f);
    EXPECT_FALSE(none.decimals.has_value());

    EXPECT_EQ(readChannelLine(channelLine('N', "7", "-00")).decimals, 0);
    EXPECT_EQ(readChannelLine(channelLine('N', "7", "-99")).decimals, 15);
    EXPECT_EQ(readChannelLine(channelLine('N', "7", "-x ")).decimals, 0);

    // Short, empty and garbled lines read as 0.
    EXPECT_EQ(readChannelLine("").value, 0.0f);
    EXPECT_FALSE(readChannelLine("").skipped);
    EXPECT_EQ(readChannelLine("N short\r\n").value, 0.0f);
    EXPECT_FLOAT_EQ(readChannelLine("N              4.5").value, 4.5f);
    EXPECT_EQ(readChannelLine("N              garbage!!-02\r\n").value, 0.0f);
}

TEST(FormatPv, FollowsTheLabelFormats)
{
    EXPECT_EQ(formatPv(5.0f, std::nullopt), "5.0");
    EXPECT_EQ(formatPv(0.0f, std::nullopt), "0.0");
    EXPECT_EQ(formatPv(-3.25f, std::nullopt), "-3.3");
    EXPECT_EQ(formatPv(0.25f, std::nullopt), "0.3");
    EXPECT_EQ(formatPv(1234567.0f, std::nullopt), "1234567.0");
    EXPECT_EQ(formatPv(99.96f, std::nullopt), "100.0");

    EXPECT_EQ(formatPv(12.345f, 2), "12.35");   // half away from zero, as written
    EXPECT_EQ(formatPv(2.675f, 2), "2.68");
    EXPECT_EQ(formatPv(-2.675f, 2), "-2.68");
    EXPECT_EQ(formatPv(0.5f, 0), "1.");
    EXPECT_EQ(formatPv(12.4f, 0), "12.");
    EXPECT_EQ(formatPv(0.05f, 3), "0.050");
    EXPECT_EQ(formatPv(9.999f, 2), "10.00");

    // A value that rounds to zero has no minus sign.
    EXPECT_EQ(formatPv(-0.04f, std::nullopt), "0.0");
    EXPECT_EQ(formatPv(-0.0f, 2), "0.00");
    EXPECT_EQ(formatPv(-0.4f, 0), "0.");
}

}  // namespace
}  // namespace rdxmon
