// Splitting a reply, the value label's text, the reply time-out for a line
// speed, and the words for a port that cannot be opened.
#include <gtest/gtest.h>

#include "polling/LineWatch.h"
#include "polling/PollCycle.h"
#include "polling/Reply.h"
#include "rdx5Comm3.h"

namespace rdxmon {
namespace {

TEST(SplitReply, TakesEightLinesAndLeavesTheRest)
{
    std::array<std::string, 9> lines;
    lines.fill("old");
    std::string text = "0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\nextra\r\nmore";
    splitReply(text, lines);
    EXPECT_EQ(lines[7], "7\r\n");
    EXPECT_EQ(lines[8], "old");
    EXPECT_EQ(text, "extra\r\nmore");
    text = "a\r\nb\rc\r\ntail";
    splitReply(text, lines);
    EXPECT_EQ(lines[1], "b\rc\r\n");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(text, "tail");
}

TEST(FormatPv, OneDecimalOrTheGivenDecimalsRoundedHalfAwayFromZero)
{
    const std::tuple<float, int, const char*> cases[] = {  // value, decimals (-1: none), text
        {5.f, -1, "5.0"},       {-3.25f, -1, "-3.3"}, {1234567.f, -1, "1234567.0"}, {99.96f, -1, "100.0"},
        {12.345f, 2, "12.35"},  {2.675f, 2, "2.68"},  {-2.675f, 2, "-2.68"},        {0.5f, 0, "1."},
        {0.05f, 3, "0.050"},    {9.999f, 2, "10.00"}, {7.f, 15, "7.000000000000000"}, {-0.04f, -1, "0.0"},
        {-0.f, 2, "0.00"},      {-0.4f, 0, "0."}};
    for (const auto& [value, decimals, text] : cases)
        EXPECT_EQ(formatPv(value, decimals < 0 ? std::nullopt : std::optional<int>(decimals)), text) << text;
}

TEST(ReplyTimeOut, FollowsTheLineSpeedAndNeverGoesBelowASecond)
{
    // Eight lines of 40 characters, 10 bits each, one and a half times over.
    const std::pair<int, int> cases[] = {{19200, 1000}, {9600, 1000}, {4800, 1000}, {2400, 2000}, {1200, 4000},
                                         {0, 1000}};
    for (const auto& [baud, ms] : cases)
        EXPECT_EQ(replyTimeOutMs(baud), ms) << baud;
    EXPECT_EQ(replyLineMs(2400, 6), 1334);
}

TEST(PortProblemMessage, NamesTheDeviceAndTheRemedy)
{
    const std::tuple<int, std::string, QString> cases[] = {  // cause, its description, the message's start
        {rdx::kErrPermission, "No permission to open the serial device /dev/ttyUSB0 for COM1 (Permission denied).",
         "No permission to use the serial device /dev/ttyUSB0.\nAdd the user to the \"dialout\" group"},
        {rdx::kErrNoDevice, "Cannot open COM3 (/dev/ttyS2): No such file", "No such serial device /dev/ttyS2.\n"},
        {rdx::kErrDeviceBusy, "COM1 (/opt/rdx mon/COM1) is in use: Device busy",
         "The serial device /opt/rdx mon/COM1 is in use by another program.\n"},
        {rdx::kErrNoDevice, "Invalid port number 9", "No such serial device for the chosen port."},
        {rdx::kErrBaudText, "2400, 4800, 9600, 19200", ""}};  // nothing worth telling
    for (const auto& [cause, description, start] : cases) {
        const QString text = portProblemMessage(rdx::LinkError(rdx::kErrPortOpen, "failed", cause, description));
        EXPECT_TRUE(start.isEmpty() ? text.isEmpty() : text.startsWith(start)) << text.toStdString();
    }
}

}  // namespace
}  // namespace rdxmon
