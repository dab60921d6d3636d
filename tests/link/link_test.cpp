// The link object on a fake line: the recorder exchange, the reply-line
// functions, the settings, opening and closing.
#include <gtest/gtest.h>

#include <functional>

#include "support/FakeLine.h"

namespace {

using Rig = rdxtest::LineRig;
using Op = rdxtest::LineOp;
const std::string ESC = "\x1b";

// The number of the LinkError the call throws (and of its cause), 0 for none.
int errorOf(const std::function<void()>& call, int* cause = nullptr)
{
    try {
        call();
    } catch (const rdx::LinkError& e) {
        if (cause)
            *cause = e.causeNumber();
        return e.number();
    }
    return 0;
}

// n distinguishable reply lines.
std::string lines(int n, int first = 0)
{
    std::string text;
    for (int i = first; i < first + n; ++i)
        text += "L" + std::to_string(i) + " +000012.34-02\r\n";
    return text;
}

std::string step(Rig& rig, const std::string& addr = "05", const std::string& channels = "06")
{
    return rig.link->RWcomm(addr, channels, 1, "N");
}

TEST(Exchange, WireBytesOfOneExchange)
{
    Rig rig;
    EXPECT_EQ(step(rig), "");
    const std::vector<std::string> request{"\x1bO 05\r\n", "TS0\r\n", "\x1bT\r\nFM0,01,06\r\n"};
    EXPECT_EQ(rig.line->written, request);
    EXPECT_EQ(rig.link->OutputBuffer(), request[2]);

    // A close command between the steps changes nothing; a reply completed
    // by a call with another address closes that address.
    rig.link->Send_Close("07");
    rig.line->put(lines(8));
    EXPECT_EQ(step(rig, "09"), lines(8));
    EXPECT_EQ(rig.line->written.at(3),
              "\x1b"
              "C 07\r\n");
    EXPECT_EQ(rig.line->written.at(4),
              "\x1b"
              "C 09\r\n");
    EXPECT_EQ(rig.link->OutputBuffer(),
              "\x1b"
              "C 09\r\n");
    // Every character was taken one at a time.
    EXPECT_EQ(rig.line->calls[Op::Input], static_cast<int>(lines(8).size()));
}

TEST(Exchange, ReplyFraming)
{
    struct Framing {
        const char* name;
        std::string channels;
        std::multimap<std::int64_t, std::string> arrivals;  // tick -> bytes
        std::string result, left;
    };
    const std::string r = lines(8);
    const std::vector<Framing> cases{
        {"eight lines", "06", {{0, r}}, r, ""},
        {"a ninth line stays for the next reply", "06", {{0, lines(9)}}, r, lines(1, 8)},
        {"seven lines: ESC, the lines read are dropped", "06", {{0, lines(7)}}, ESC, ""},
        {"nothing: ESC", "06", {}, ESC, ""},
        {"pieces, the last one at 999",
         "06",
         {{0, r.substr(0, 10)}, {200, r.substr(10, 50)}, {500, r.substr(60, r.size() - 61)}, {999, "\n"}},
         r,
         ""},
        {"the last line after the deadline", "06", {{0, lines(7)}, {1200, lines(1, 7)}}, ESC, lines(1, 7)},
        {"a bare CR LF is no line", "00", {{0, "\r\nAB\r\nCD\r\n"}}, "\r\nAB\r\nCD\r\n", ""},
        {"no number: two lines", "abc", {{0, "X1\r\nX2\r\nX3\r\n"}}, "X1\r\nX2\r\n", "X3\r\n"},
        {"blanks before the number", " 1x", {{0, lines(4)}}, lines(3), lines(1, 3)},
        {"a negative count: two lines", "-3", {{0, "A1\r\nA2\r\nA3\r\n"}}, "A1\r\nA2\r\n", "A3\r\n"},
    };
    for (const Framing& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        step(rig, "05", c.channels);
        rig.line->due = c.arrivals;
        std::string result;
        for (int call = 0; call < 30 && result.empty(); ++call, rig.ticks->time += 50)
            result = step(rig, "05", c.channels);
        EXPECT_EQ(result, c.result);
        rig.ticks->time += 1000;
        rig.line->arrive();
        EXPECT_EQ(rig.line->waiting(), c.left);
        EXPECT_EQ(rig.line->written.size(), result == ESC ? 3u : 4u);
    }
}

TEST(Exchange, DeadlineOnASixtyFourBitClock)
{
    for (std::int64_t start : {std::int64_t{0}, (std::int64_t{1} << 31) - 500, (std::int64_t{1} << 32) - 500}) {
        SCOPED_TRACE(start);
        Rig rig;
        rig.ticks->time = start;
        step(rig);
        for (std::int64_t waited : {1, 999})
            EXPECT_EQ((rig.ticks->time = start + waited, step(rig)), "") << waited;
        rig.ticks->time = start + 1000;
        EXPECT_EQ(step(rig), ESC);
        EXPECT_EQ(step(rig), "");  // and asks again
        EXPECT_EQ(rig.line->written.size(), 6u);
    }
    // An exchange left awaiting its reply for weeks still ends.
    Rig rig;
    step(rig);
    rig.ticks->time = 3'000'000'000;
    EXPECT_EQ(step(rig), ESC);
}

TEST(Exchange, ControlErrorsPassUnchangedAndKeepTheState)
{
    Rig rig;
    rig.line->fails[Op::Output] = rdx::kErrNotOpen;
    EXPECT_EQ(errorOf([&] { step(rig); }), rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { rig.link->Send_Close("01"); }), rdx::kErrNotOpen);
    rig.line->fails = {};
    EXPECT_EQ(step(rig), "");  // still idle: the request is written
    rig.line->fails[Op::InBufferCount] = rdx::kErrDeviceIo;
    EXPECT_EQ(errorOf([&] { step(rig); }), rdx::kErrDeviceIo);
    rig.line->fails = {}, rig.line->put(lines(8));
    EXPECT_EQ(step(rig), lines(8));  // still awaiting the reply
}

TEST(ReplyLine, FieldsAndFieldCount)
{
    const std::string four = "ABC DEFG1111222233334\r\n";  // head 8, data 12, tail 3
    const std::string eight = "ABC!DEFG111111112222XYZ";
    struct Case {
        std::string line;
        std::int16_t n;
        std::string field;
        int count, error;
    };
    const std::vector<Case> cases{{"ABCDEFGHIJKLMN", 1, "", 0, 0},
                                  {"ABCDEFGHIJKLMN", 0, "", 0, 0},
                                  {four, 1, "1111", 3, 0},
                                  {four, 3, "3333", 3, 0},
                                  {four, 4, "", 3, 0},
                                  {four, 0, "111122223333", 3, 0},
                                  {eight, 1, "11111111", 0, 0},
                                  {eight, 2, "", 0, 0},
                                  {"ABCxDEFG1111222233334\r\n", 1, "", 0, 0},
                                  {"ABCxDEFG1111222233334\r\n", 0, "111122223333", 0, 0},
                                  {"ABC\"DEFG1111222233334\r\n", 2, "2222", 3, 0},
                                  {"ABC`DEFG111122223333XYZ", 1, "1111", 3, 0},
                                  {"ABCaDEFG111122223333XYZ", 1, "1111", 3, 0},
                                  {"ABCrDEFG111122223333XYZ", 1, "1111", 3, 0},
                                  {"ABC#DEFG1111111122222222XYZ", 2, "22222222", 2, 0},
                                  {four, -1, "", 3, rdx::kErrInvalidArgument},
                                  {four, 8191, "", 3, 0},
                                  {four, 8192, "", 3, rdx::kErrOverflow},
                                  {eight, 4096, "", 0, rdx::kErrOverflow}};
    Rig rig;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + " n=" + std::to_string(c.n));
        std::string field;
        EXPECT_EQ(errorOf([&] { field = rig.link->GetNData(c.line, c.n); }), c.error);
        EXPECT_EQ(field, c.field);
        EXPECT_EQ(rig.link->isDataNum(c.line), c.count);
    }
}

TEST(LinkObject, SettingsTextsReachThePortAtOpen)
{
    struct Case {
        std::string port, baud, parity, data, stop, flow;
        std::int16_t portNumber, handshake;
        std::string settings;
    };
    const std::vector<Case> cases{{"", "", "", "", "", "", 1, 0, "9600,E,7,1"},  // a fresh object
                                  {"com2", "19200", "Even", "8", "2", "RTS/CTS", 2, 2, "19200,E,8,2"},
                                  {"COM8", "2400", "odd", "7", "1", "XON/XOFF", 8, 1, "2400,O,7,1"},
                                  {"COM3", "4800", "NONE", "8", "1", "BOTH", 3, 3, "4800,N,8,1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        Rig rig;
        rdx::rdx5Comm3& link = *rig.link;
        if (!c.port.empty()) {
            link.Port(c.port), link.BaudRate(c.baud), link.Pality(c.parity), link.DataBit(c.data);
            link.StopBit(c.stop), link.Flow(c.flow);
        }
        EXPECT_TRUE(link.PortOpen());
        EXPECT_EQ(rig.line->port, c.portNumber);
        EXPECT_EQ(rig.line->settings, c.settings);
        EXPECT_EQ(rig.line->handshake, c.handshake);
        // Opening an open port closes and reopens it with the present settings.
        link.BaudRate("4800");
        EXPECT_TRUE(link.PortOpen());
        EXPECT_EQ(rig.line->settings.substr(0, 5), "4800,");
        EXPECT_EQ(rig.line->calls[Op::Close], 1);
        rig.line->put("xyz"), link.RecvBufClear();
        EXPECT_EQ(rig.line->waiting(), "");
    }
}

TEST(LinkObject, PortPutConvertsTheTextStoredBeforeIt)
{
    for (const char* refused : {"COM9", "COM0", "COM10", "COMX"}) {
        SCOPED_TRACE(refused);
        Rig rig;
        rdx::rdx5Comm3& link = *rig.link;
        EXPECT_EQ(errorOf([&] { link.Port(refused); }), 0);
        EXPECT_EQ(errorOf([&] { link.PortOpen(); }), rdx::kErrPortOpen);
        EXPECT_EQ(errorOf([&] { link.Port("COM2"); }), rdx::kErrPortText);
        EXPECT_EQ(link.Port(), "COM1");  // the get replaces the refused text
        EXPECT_EQ(errorOf([&] { link.Port("COM2"); }), 0);
        EXPECT_TRUE(link.PortOpen());
        EXPECT_EQ(rig.line->port, 2);
        // The control refuses a new port while open; the error passes unchanged.
        EXPECT_EQ(errorOf([&] { link.Port("COM5"); }), rdx::kErrWhileOpen);
    }
}

TEST(LinkObject, EveryFailureWhileOpeningIs30019WithItsCauseAndClosesThePort)
{
    struct Case {
        const char* name;
        std::function<void(Rig&)> arrange;
        int cause;
    };
    const std::vector<Case> cases{
        {"port text", [](Rig& r) { r.link->Port("COM9"); }, rdx::kErrPortText},
        {"speed", [](Rig& r) { r.link->BaudRate("1200"); }, rdx::kErrBaudText},
        {"parity", [](Rig& r) { r.link->Pality("MARK"); }, rdx::kErrParityText},
        {"data bits", [](Rig& r) { r.link->DataBit("6"); }, rdx::kErrDataBitText},
        {"stop bits", [](Rig& r) { r.link->StopBit("1.5"); }, rdx::kErrStopBitText},
        {"flow, kept though refused", [](Rig& r) { EXPECT_ANY_THROW(r.link->Flow("None")); }, rdx::kErrFlowText},
        {"missing device", [](Rig& r) { r.line->fails[Op::Open] = rdx::kErrNoDevice; }, rdx::kErrNoDevice},
        {"settings refused", [](Rig& r) { r.line->fails[Op::SetSettings] = 8015; }, rdx::kErrSettingsRefused},
        {"CTS read", [](Rig& r) { r.line->fails[Op::Cts] = rdx::kErrDeviceIo; }, rdx::kErrDeviceIo},
        {"message", [](Rig& r) { r.line->ctsFrom = -1, rdx::setMessageNotifier([](auto&, auto&) { throw 7; }); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.arrange(rig);
        rig.line->open = true;  // opening an open port closes it first
        int cause = -1;
        EXPECT_EQ(errorOf([&] { rig.link->PortOpen(); }, &cause), rdx::kErrPortOpen);
        EXPECT_EQ(cause, c.cause);
        EXPECT_FALSE(rig.line->open);
        rdx::setMessageNotifier({});
    }
}

TEST(LinkObject, CtsIsSampledForTwoHundredMilliseconds)
{
    struct Case {
        std::int64_t ctsFrom;
        bool opened;
    };
    for (const Case& c : std::vector<Case>{{0, true}, {150, true}, {199, true}, {-1, false}, {250, false}}) {
        SCOPED_TRACE(c.ctsFrom);
        std::vector<std::string> shown;
        RDX500Comm3_SetNotifier(
            [](const char* text, const char* title, void* to) {
                static_cast<std::vector<std::string>*>(to)->push_back(std::string(title) + "|" + text);
            },
            &shown);
        Rig rig;
        rig.line->ctsFrom = c.ctsFrom;
        EXPECT_EQ(rig.link->PortOpen(), c.opened);
        RDX500Comm3_SetNotifier(nullptr, nullptr);
        EXPECT_EQ(rig.line->open, c.opened);
        EXPECT_LE(rig.ticks->time, 210);
        EXPECT_LE(rig.ticks->sleeps, 21);  // it sleeps between the samples
        const char* message = "RDX500Comm3|Communications port cannot be opened.(通信ポートをオープン出来ません！"
                              ")";
        EXPECT_EQ(shown, c.opened ? std::vector<std::string>{} : std::vector<std::string>{message});
    }
}

TEST(LinkObject, PortCloseAlwaysClosesAndDrainsForABoundedTime)
{
    Rig hungUp;  // closed all the same, then reported
    hungUp.link->PortOpen();
    hungUp.line->fails[Op::OutBufferCount] = rdx::kErrDeviceIo;
    EXPECT_EQ(errorOf([&] { hungUp.link->PortClose(); }), rdx::kErrDeviceIo);
    EXPECT_FALSE(hungUp.line->open);

    Rig rig;  // a line that never lets the bytes out
    rig.link->PortOpen();
    rig.link->OutputBuffer("12345678901234567890");
    rig.line->unsent = 76, rig.ticks->step = 1;
    rig.link->PortClose();
    // (76 + 20) bytes of 10 bits at 9600 bit/s are 100 ms, plus a second.
    EXPECT_GE(rig.ticks->time, 1100);
    EXPECT_LE(rig.ticks->time, 1150);
    EXPECT_LT(rig.line->calls[Op::OutBufferCount], 200);  // sleeps, does not spin
    EXPECT_FALSE(rig.line->open);
    EXPECT_EQ(rig.line->written, std::vector<std::string>{"12345678901234567890"});
}

TEST(LinkObject, SizesOutsideSixteenBitsOverflowAndKeepTheControlsValue)
{
    Rig rig;
    EXPECT_EQ(errorOf([&] { rig.link->InputBufSize(40000); }), rdx::kErrOverflow);
    EXPECT_EQ(rig.link->InputBufSize(), 1024);
    EXPECT_EQ(errorOf([&] { rig.link->OutputBufSize(-32769); }), rdx::kErrOverflow);
    EXPECT_EQ(errorOf([&] { rig.link->RThreshold(32768); }), rdx::kErrOverflow);
    EXPECT_EQ(rig.link->RThreshold(), 4);
}

}  // namespace
