// The link object's settings, opening and closing, buffers and errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes_support.h"

namespace {

using rdxtest::Rig;
using ::testing::ElementsAre;

const char kCannotOpen[] = "Communications port cannot be opened.(通信ポートをオープン出来ません！)";

// The number of the LinkError the call throws, 0 when it throws none.
template <typename F>
int errorOf(F&& call)
{
    try {
        call();
    } catch (const rdx::LinkError& e) {
        return e.number();
    }
    return 0;
}

// Collects what the notifier shows, and restores the default afterwards.
struct Messages {
    Messages()
    {
        rdx::setMessageNotifier([this](const std::string& text, const std::string& title) {
            shown.push_back(title + "|" + text);
        });
    }
    ~Messages() { rdx::setMessageNotifier({}); }
    std::vector<std::string> shown;
};

TEST(LinkObject, ConstructionDefaultsAndFirstOpen)
{
    Rig rig;
    EXPECT_THAT(rig.control->calls, ElementsAre("setInputLen(0)", "setRThreshold(4)"));
    rdx::rdx5Comm3& link = *rig.link;
    EXPECT_EQ(link.BaudRate(), "9600");
    EXPECT_EQ(link.DataBit(), "7");
    EXPECT_EQ(link.Pality(), "EVEN");
    EXPECT_EQ(link.StopBit(), "1");
    EXPECT_FALSE(link.BSuccessFlag());
    EXPECT_EQ(link.OutputBuffer(), "");
    EXPECT_EQ(link.RecvError(), "");

    rig.control->calls.clear();
    EXPECT_TRUE(link.PortOpen());
    EXPECT_THAT(rig.control->calls, ElementsAre("setCommPort(1)", "setSettings(9600,E,7,1)", "setHandshaking(0)",
                                                "setPortOpen(true)", "ctsHolding"));
    EXPECT_TRUE(rig.control->open);
    EXPECT_EQ(link.CommID(), 42);
}

TEST(LinkObject, StoredTextsComeBackAsPut)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    link.RecvError("oops");
    link.OutputBuffer("text\r\n");
    link.BSuccessFlag(true);
    EXPECT_EQ(link.RecvError(), "oops");
    EXPECT_EQ(link.OutputBuffer(), "text\r\n");
    EXPECT_TRUE(link.BSuccessFlag());
    EXPECT_TRUE(rig.control->written.empty());  // OutputBuffer put writes nothing

    // Flow get reads the control.
    rig.control->handshake = 3;
    EXPECT_EQ(link.Flow(), "BOTH");
    rig.control->handshake = 7;
    EXPECT_EQ(link.Flow(), "");

    // InputBuffer takes everything waiting before the first exchange.
    rig.control->feed("abc");
    EXPECT_EQ(link.inbcount(), 3);
    EXPECT_EQ(link.InputBuffer(), "abc");
    EXPECT_EQ(link.InputBuffer(), "");
}

TEST(LinkObject, SettingsTextsAreConvertedAtOpen)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    link.Pality("Even");
    link.Port("com2");  // converts the stored "COM1"
    link.BaudRate("19200");
    link.DataBit("8");
    link.StopBit("2");
    link.Flow("RTS/CTS");
    rig.control->calls.clear();
    EXPECT_TRUE(link.PortOpen());
    EXPECT_THAT(rig.control->calls, ElementsAre("setCommPort(2)", "setSettings(19200,E,8,2)", "setHandshaking(2)",
                                                "setPortOpen(true)", "ctsHolding"));

    link.Pality("odd");
    link.Pality("none");
    link.Flow("XON/XOFF");
    EXPECT_TRUE(link.PortOpen());
    EXPECT_EQ(rig.control->settings, "19200,N,8,2");
    EXPECT_EQ(rig.control->handshake, 1);
}

TEST(LinkObject, FlowTextIsStoredBeforeItIsRefused)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    const int number = errorOf([&] { link.Flow("None"); });
    EXPECT_EQ(number, rdx::kErrFlowText);
    EXPECT_EQ(rig.control->handshake, 0);
    EXPECT_EQ(errorOf([&] { link.PortOpen(); }), rdx::kErrPortOpen);
    EXPECT_FALSE(rig.control->open);
    link.Flow("NONE");
    EXPECT_TRUE(link.PortOpen());
}

TEST(LinkObject, PortPutConvertsTheTextStoredBeforeIt)
{
    for (const char* refused : {"COM9", "COM0", "COM10", "COMX"}) {
        Rig rig;
        rdx::rdx5Comm3& link = *rig.link;
        EXPECT_EQ(errorOf([&] { link.Port(refused); }), 0) << refused;
        EXPECT_EQ(rig.control->port, 1);
        EXPECT_EQ(errorOf([&] { link.PortOpen(); }), rdx::kErrPortOpen) << refused;
        EXPECT_EQ(errorOf([&] { link.Port("COM2"); }), rdx::kErrPortText);
        // Still the refused text: PortOpen keeps failing.
        EXPECT_EQ(errorOf([&] { link.PortOpen(); }), rdx::kErrPortOpen);
        EXPECT_EQ(link.Port(), "COM1");
        EXPECT_EQ(errorOf([&] { link.Port("COM2"); }), 0);
        EXPECT_TRUE(link.PortOpen());
        EXPECT_EQ(rig.control->port, 2);
    }
    {
        Rig rig;
        rig.link->Port("com4");
        EXPECT_EQ(rig.link->Port(), "COM1");
        EXPECT_TRUE(rig.link->PortOpen());
        EXPECT_EQ(rig.control->port, 1);  // the get replaced "com4"
    }
    {
        Rig rig;
        rig.link->Port("com4");
        EXPECT_TRUE(rig.link->PortOpen());
        EXPECT_EQ(rig.control->port, 4);
        // The control refuses a new port while open; the error passes unchanged
        // and nothing is stored.
        EXPECT_EQ(errorOf([&] { rig.link->Port("COM5"); }), rdx::kErrWhileOpen);
        rig.link->PortClose();
        EXPECT_TRUE(rig.link->PortOpen());
        EXPECT_EQ(rig.control->port, 4);
    }
}

TEST(LinkObject, FailuresWhileOpeningBecome30019AndLeaveThePortClosed)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    ASSERT_TRUE(link.PortOpen());
    link.BaudRate("1200");
    try {
        link.PortOpen();
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrPortOpen);
        EXPECT_EQ(e.description(), "通信コントロールの接続中に原因不明エラーが発生しました。");
    }
    EXPECT_FALSE(rig.control->open);

    link.BaudRate("9600");
    for (auto [setter, value] : std::initializer_list<std::pair<void (rdx::rdx5Comm3::*)(const std::string&), const char*>>{
             {&rdx::rdx5Comm3::Pality, "MARK"}, {&rdx::rdx5Comm3::DataBit, "6"}, {&rdx::rdx5Comm3::StopBit, "1.5"}}) {
        Rig other;
        (other.link.get()->*setter)(value);
        EXPECT_EQ(errorOf([&] { other.link->PortOpen(); }), rdx::kErrPortOpen) << value;
        EXPECT_FALSE(other.control->open);
    }

    // A missing or busy device is reported the same way.
    rig.control->failOn("setPortOpen(true)", rdx::kErrNoDevice);
    EXPECT_EQ(errorOf([&] { link.PortOpen(); }), rdx::kErrPortOpen);
    EXPECT_FALSE(rig.control->open);
}

TEST(LinkObject, PortWithoutCtsIsReportedAndClosed)
{
    Messages messages;
    Rig rig;
    rig.control->cts = false;
    EXPECT_FALSE(rig.link->PortOpen());
    EXPECT_THAT(messages.shown, ElementsAre(std::string("RDX500Comm3|") + kCannotOpen));
    EXPECT_FALSE(rig.control->open);
    EXPECT_EQ(rig.control->calls.back(), "setPortOpen(false)");
}

TEST(LinkObject, CNotifierReceivesTheMessage)
{
    std::vector<std::string> shown;
    RDX500Comm3_SetNotifier(
        [](const char* text, const char* title, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(std::string(title) + "|" + text);
        },
        &shown);
    Rig rig;
    rig.control->cts = false;
    EXPECT_FALSE(rig.link->PortOpen());
    RDX500Comm3_SetNotifier(nullptr, nullptr);
    EXPECT_THAT(shown, ElementsAre(std::string("RDX500Comm3|") + kCannotOpen));
    // The default writes to standard error and calls nothing of ours.
    EXPECT_FALSE(rig.link->PortOpen());
    EXPECT_EQ(shown.size(), 1u);
}

TEST(LinkObject, OpenOnAnOpenPortReopensWithTheCurrentSettings)
{
    Rig rig;
    ASSERT_TRUE(rig.link->PortOpen());
    rig.link->BaudRate("4800");
    rig.control->calls.clear();
    EXPECT_TRUE(rig.link->PortOpen());
    EXPECT_THAT(rig.control->calls, ElementsAre("setPortOpen(false)", "setCommPort(1)", "setSettings(4800,E,7,1)",
                                                "setHandshaking(0)", "setPortOpen(true)", "ctsHolding"));
    EXPECT_TRUE(rig.control->open);
}

TEST(LinkObject, PortCloseDrainsForABoundedTime)
{
    {
        Rig rig;  // closed: nothing at all
        rig.control->calls.clear();
        rig.link->PortClose();
        EXPECT_TRUE(rig.control->calls.empty());
    }
    {
        Rig rig;  // open, nothing pending: closes at once
        rig.link->PortOpen();
        rig.control->calls.clear();
        rig.link->PortClose();
        EXPECT_THAT(rig.control->calls, ElementsAre("outBufferCount", "setPortOpen(false)"));
    }
    {
        Rig rig;  // pending bytes that drain: the last command is written once more
        rig.link->PortOpen();
        rig.link->Send_Close("03");
        rig.control->outCount = -4;  // reports 3, 2, 1, 0
        rig.control->calls.clear();
        rig.link->PortClose();
        EXPECT_THAT(rig.control->calls,
                    ElementsAre("outBufferCount", "output(1B 43 20 30 33 0D 0A)", "outBufferCount", "outBufferCount",
                                "outBufferCount", "setPortOpen(false)"));
    }
    {
        Rig rig;  // a line that never lets the bytes out
        rig.link->PortOpen();
        rig.link->OutputBuffer("12345678901234567890");  // 20 characters
        rig.control->outCount = 76;
        rig.ticks->stepPerRead = 1;
        const std::uint32_t start = rig.ticks->time;
        rig.link->PortClose();
        // (76 + 20) bytes * 10 bits at 9600 bit/s = 100 ms, plus one second.
        const std::uint32_t spent = rig.ticks->time - start;
        EXPECT_GE(spent, 1100u);
        EXPECT_LE(spent, 1103u);
        EXPECT_FALSE(rig.control->open);
        EXPECT_EQ(rig.control->written.size(), 1u);
    }
    {
        Rig rig;  // the speed comes from the BaudRate text, 9600 when it is no number
        rig.link->PortOpen();
        rig.link->BaudRate("fast");
        rig.control->outCount = 960;
        rig.ticks->stepPerRead = 1;
        rig.link->PortClose();
        EXPECT_GE(rig.ticks->time, 2000u);
        EXPECT_LE(rig.ticks->time, 2003u);
    }
}

TEST(LinkObject, SizesOutsideSixteenBitsOverflow)
{
    Rig rig;
    rdx::rdx5Comm3& link = *rig.link;
    EXPECT_EQ(errorOf([&] { link.InputBufSize(40000); }), rdx::kErrOverflow);
    EXPECT_EQ(rig.control->inSize, 1024);
    EXPECT_EQ(link.InputBufSize(), 1024);
    EXPECT_EQ(errorOf([&] { link.OutputBufSize(-32769); }), rdx::kErrOverflow);
    EXPECT_EQ(link.OutputBufSize(), 512);
    EXPECT_EQ(errorOf([&] { link.RThreshold(32768); }), rdx::kErrOverflow);
    EXPECT_EQ(link.RThreshold(), 4);

    link.InputBufSize(32767);
    link.OutputBufSize(-32768);
    link.RThreshold(1);
    EXPECT_EQ(link.InputBufSize(), 32767);
    EXPECT_EQ(link.OutputBufSize(), -32768);
    EXPECT_EQ(link.RThreshold(), 1);
}

TEST(LinkObject, BufferClearsAndControlErrorsPassThrough)
{
    Rig rig;
    rig.control->feed("xyz");
    rig.link->RecvBufClear();
    EXPECT_EQ(rig.link->inbcount(), 0);
    rig.control->calls.clear();
    rig.link->SendBufClear();
    EXPECT_THAT(rig.control->calls, ElementsAre("clearOutBuffer"));

    rig.control->failOn("inBufferCount", rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { rig.link->inbcount(); }), rdx::kErrNotOpen);
    rig.control->failOn("clearInBuffer", rdx::kErrNotOpen);
    EXPECT_EQ(errorOf([&] { rig.link->RecvBufClear(); }), rdx::kErrNotOpen);
    // A failure after the port opened (reading CTS) is not wrapped.
    rig.control->failOn("ctsHolding", rdx::kErrDeviceIo);
    EXPECT_EQ(errorOf([&] { rig.link->PortOpen(); }), rdx::kErrDeviceIo);
}

TEST(LinkErrors, DescriptionsOfTheLibrary)
{
    EXPECT_EQ(rdx::LinkError::describe(30001), "このプロパティにはCOM1～COM8までの値を代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30002),
              "このプロパティには 2400、4800、9600、19200 の何れかの値を代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30003), "このプロパティには None, Even or Odd を代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30004), "このプロパティには 7 or 8 を代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30005), "このプロパティには 1 or 2 を代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30006),
              "このプロパティには None, Xon/Xoff, RTS/CTS, RTSXonXoff 中の一つを代入して下さい。");
    EXPECT_EQ(rdx::LinkError::describe(30019), "通信コントロールの接続中に原因不明エラーが発生しました。");
    EXPECT_EQ(rdx::LinkError::describe(12345), "");
    for (int n : {8000, 8002, 8005, 8012, 8015, 8020, 8021})
        EXPECT_FALSE(rdx::LinkError::describe(n).empty()) << n;
    const rdx::LinkError e = rdx::LinkError::of(30006);
    EXPECT_EQ(e.number(), 30006);
    EXPECT_EQ(e.description(), rdx::LinkError::describe(30006));
    EXPECT_EQ(std::string(e.what()).rfind("30006: ", 0), 0u);
}

TEST(LinkObject, OpeningFailureCarriesTheFirstErrorAsItsCause)
{
    Rig rig;
    rig.control->failOn("setPortOpen(true)", rdx::kErrPermission);
    try {
        rig.link->PortOpen();
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.number(), rdx::kErrPortOpen);
        EXPECT_EQ(e.description(), rdx::LinkError::describe(rdx::kErrPortOpen));
        EXPECT_EQ(e.causeNumber(), rdx::kErrPermission);
        EXPECT_EQ(e.causeDescription(), "fake failure of setPortOpen(true)");
    }

    // A refused settings text is the cause when it comes first.
    rig.link->BaudRate("1200");
    try {
        rig.link->PortOpen();
        FAIL() << "no error";
    } catch (const rdx::LinkError& e) {
        EXPECT_EQ(e.causeNumber(), rdx::kErrBaudText);
        EXPECT_EQ(e.causeDescription(), rdx::LinkError::describe(rdx::kErrBaudText));
    }

    // Errors made without a cause say so.
    const rdx::LinkError plain = rdx::LinkError::of(rdx::kErrDeviceIo);
    EXPECT_EQ(plain.causeNumber(), 0);
    EXPECT_EQ(plain.causeDescription(), "");
}

}  // namespace
