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
    const std::tuple<float, int, const char*> cases[]
        = {// value, decimals (-1: none), text
           {5.f, -1, "5.0"},      {-3.25f, -1, "-3.3"}, {1234567.f, -1, "1234567.0"},   {99.96f, -1, "100.0"},
           {12.345f, 2, "12.35"}, {2.675f, 2, "2.68"},  {-2.675f, 2, "-2.68"},          {0.5f, 0, "1."},
           {0.05f, 3, "0.050"},   {9.999f, 2, "10.00"}, {7.f, 15, "7.000000000000000"}, {-0.04f, -1, "0.0"},
           {-0.f, 2, "0.00"},     {-0.4f, 0, "0."}};
    for (const auto& [value, decimals, text] : cases)
        EXPECT_EQ(formatPv(value, decimals < 0 ? std::nullopt : std::optional<int>(decimals)), text) << text;
}

TEST(ReplyTimeOut, FollowsTheLineSpeedAndNeverGoesBelowASecond)
{
    // Eight lines of 40 characters, 10 bits each, one and a half times over.
    const std::pair<int, int> cases[]
        = {{19200, 1000}, {9600, 1000}, {4800, 1000}, {2400, 2000}, {1200, 4000}, {0, 1000}};
    for (const auto& [baud, ms] : cases)
        EXPECT_EQ(replyTimeOutMs(baud), ms) << baud;
    EXPECT_EQ(replyLineMs(2400, 6), 1334);
}

TEST(PortProblem, NamesTheDeviceOrTheRefusedTextAndTheRemedy)
{
    const std::tuple<int, std::string, QString, QString> cases[]
        = {// cause, its description, message start, brief
           {rdx::kErrPermission, "No permission to open the serial device /dev/ttyUSB0 for COM1 (Permission denied).",
            "No permission to use the serial device /dev/ttyUSB0.\nAdd the user to the \"dialout\" group",
            "no permission"},
           // The link's reason on the lines after the first.
           {rdx::kErrPermission,
            "No permission to open the serial device /dev/ttyUSB0 for COM1 (Permission denied).\n"
            "/dev/ttyUSB0 belongs to the user root and the group uucp (crw-rw----). Add ...",
            "No permission to use the serial device /dev/ttyUSB0.\n/dev/ttyUSB0 belongs to the user root and the group "
            "uucp (crw-rw----). Add ...\nThen start the program again.",
            "no permission"},
           {rdx::kErrNoDevice, "Cannot open COM3 (/dev/ttyS2): No such file", "No such serial device /dev/ttyS2.\n",
            "no such device"},
           {rdx::kErrDeviceBusy,
            "COM1 (/opt/rdx mon/COM1) is in use by another program.\nIt is held by minicom (process 7).",
            "The serial device /opt/rdx mon/COM1 is in use by another program.\nIt is held by minicom (process 7).\n"
            "Close that program",
            "in use"},
           {rdx::kErrNoDevice, "Invalid port number 9", "No such serial device for the chosen port.", "no such device"},
           {rdx::kErrNotSerial,
            "COM3 (/dev/null) is not a serial device: a character device that is no terminal "
            "(reached through /opt/rdx/COM3)",
            "The serial port COM3 leads to /dev/null, which is not a serial device.\n", "not a serial device"},
           {rdx::kErrBaudText, "2400、4800、9600、19200",
            "The line speed \"1920\" in the communication settings is not one the serial port accepts: "
            "2400, 4800, 9600 or 19200 bit/s.\n",
            "speed 1920 refused"},
           {rdx::kErrPortText, "COM1～COM8", "The port \"COM3\" in the communication settings is not one",
            "port COM3 refused"},
           {rdx::kErrFlowText, "None, Xon/Xoff", "", ""}};  // nothing worth telling
    for (const auto& [cause, description, start, brief] : cases) {
        const rdx::LinkError error(rdx::kErrPortOpen, "failed", cause, description);
        const PortProblem p = portProblem(error, "COM3", "1920");
        EXPECT_TRUE(start.isEmpty() ? p.message.isEmpty() : p.message.startsWith(start)) << p.message.toStdString();
        EXPECT_EQ(p.brief, brief);
        // The service's log names no window and no program to start again.
        const QString logged = portProblem(error, "COM3", "1920", Wording::Service).message;
        EXPECT_EQ(logged.section(u'\n', 0, 0), p.message.section(u'\n', 0, 0));
        for (const char* windowOnly :
             {"Setting, Communication setting", "start the program again", "start this program again"})
            EXPECT_FALSE(logged.contains(QLatin1String(windowOnly), Qt::CaseInsensitive)) << logged.toStdString();
        EXPECT_TRUE(logged.isEmpty() || logged.contains(QLatin1String("restart the service"))) << logged.toStdString();
    }
}

}  // namespace
}  // namespace rdxmon
