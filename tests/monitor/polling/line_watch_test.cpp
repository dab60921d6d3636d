#include <gtest/gtest.h>

#include <vector>

#include "polling/LineWatch.h"
#include "polling/PollCycle.h"
#include "rdx5Comm3.h"
#include "support/FakeLink.h"

namespace rdxmon {
namespace {

using rdxtest::FakeLink;

const char kCannotOpen[] = "Communications port cannot be opened.";

TEST(LineWatch, LosesTheLineOnceRetriesEveryTwoSecondsAndComesBack)
{
    qint64 ms = 10'000;
    RecoveringFlag flag;
    LineWatch watch([&] { return ms; });
    watch.setRecoveringFlag(&flag);

    // Errors that do not mean the device has gone leave the line alone.
    for (int number : {rdx::kErrPortOpen, rdx::kErrSettingsRefused, rdx::kErrDeviceBusy, rdx::kErrOverflow, 0})
        EXPECT_FALSE(watch.linkFailed(number)) << number;
    EXPECT_FALSE(watch.lost());
    EXPECT_EQ(watch.next(), LineWatch::Step::Poll);

    EXPECT_TRUE(watch.linkFailed(rdx::kErrDeviceIo));
    EXPECT_FALSE(watch.linkFailed(rdx::kErrNotOpen));  // already lost: reported once
    EXPECT_FALSE(watch.linkFailed(rdx::kErrNoDevice));
    EXPECT_TRUE(watch.lost());
    EXPECT_TRUE(flag.raised());
    EXPECT_EQ(watch.next(), LineWatch::Step::Reopen);  // the first attempt at once

    FakeLink link;
    std::vector<qint64> attempts;
    int failuresLeft = 2;
    link.portOpenHook = [&] {
        attempts.push_back(ms);
        if (failuresLeft-- > 0)
            throw rdx::LinkError(rdx::kErrPortOpen, "gone", rdx::kErrNoDevice, "Cannot open COM1");
        return true;
    };
    // Ticks every 50 ms; a reopen whenever one is due.
    for (ms = 10'050; ms <= 16'000 && watch.lost(); ms += 50) {
        if (watch.next() == LineWatch::Step::Reopen)
            watch.tryReopen(link);
    }
    EXPECT_EQ(attempts, (std::vector<qint64>{10'050, 12'050, 14'050}));
    EXPECT_EQ(watch.attempts(), 3);
    EXPECT_FALSE(watch.lost());
    EXPECT_FALSE(flag.raised());
    EXPECT_EQ(watch.next(), LineWatch::Step::Poll);
    EXPECT_EQ(link.calls, (std::vector<std::string>{"PortOpen", "PortOpen", "PortOpen", "SendBufClear",
                                                    "RecvBufClear"}));

    // A port without CTS or a failing buffer clear is not back either.
    ASSERT_TRUE(watch.linkFailed(rdx::kErrNoDevice));
    EXPECT_EQ(watch.attempts(), 0);
    link.portOpenHook = [] { return false; };
    EXPECT_FALSE(watch.tryReopen(link));
    EXPECT_EQ(watch.next(), LineWatch::Step::Wait);
    ms += 1999;
    EXPECT_EQ(watch.next(), LineWatch::Step::Wait);
    ms += 1;
    EXPECT_EQ(watch.next(), LineWatch::Step::Reopen);
    link.portOpenHook = {};
    link.failMember("RecvBufClear", rdx::kErrDeviceIo);
    EXPECT_FALSE(watch.tryReopen(link));
    EXPECT_TRUE(watch.lost());
}

TEST(LineWatch, LinkMessagesAreSilentWhileRecovering)
{
    RecoveringFlag flag;
    std::vector<QString> shown;
    LinkMessageGate gate(flag, [&](const QString& text, const QString& title) { shown.push_back(title + "|" + text); });

    LinkMessageGate::notify(kCannotOpen, "RDX500Comm3", &gate);
    LinkMessageGate::notify(kCannotOpen, "RDX500Comm3", nullptr);  // no gate: nothing happens
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], QStringLiteral("RDX500Comm3|") + kCannotOpen);

    // The library shows its box from inside PortOpen when CTS is low: during
    // reopen attempts that box stays away, afterwards it shows again.
    qint64 ms = 0;
    LineWatch watch([&] { return ms; });
    watch.setRecoveringFlag(&flag);
    FakeLink link;
    link.portOpenHook = [&] {
        LinkMessageGate::notify(kCannotOpen, "RDX500Comm3", &gate);
        return false;
    };
    ASSERT_TRUE(watch.linkFailed(rdx::kErrDeviceIo));
    for (int attempt = 0; attempt < 3; ++attempt, ms += LineWatch::kRetryMs)
        EXPECT_FALSE(watch.tryReopen(link));
    EXPECT_EQ(shown.size(), 1u);

    link.portOpenHook = {};
    ASSERT_TRUE(watch.tryReopen(link));
    EXPECT_FALSE(flag.raised());
    LinkMessageGate::notify(kCannotOpen, "RDX500Comm3", &gate);
    EXPECT_EQ(shown.size(), 2u);
}

TEST(PortProblemMessage, NamesTheDeviceAndTheRemedy)
{
    const auto openError = [](int cause, const std::string& text) {
        return rdx::LinkError(rdx::kErrPortOpen, "open failed", cause, text);
    };

    const QString permission = portProblemMessage(openError(
        rdx::kErrPermission, "No permission to open the serial device /dev/ttyUSB0 for COM1 (Permission denied). "
                             "Add the user to the \"dialout\" group (sudo adduser $USER dialout), then log out "
                             "and log in again."));
    EXPECT_EQ(permission,
              "No permission to use the serial device /dev/ttyUSB0.\n"
              "Add the user to the \"dialout\" group (sudo adduser $USER dialout), log out and log in again, "
              "then start the program again.");

    const QString missing =
        portProblemMessage(openError(rdx::kErrNoDevice, "Cannot open COM3 (/dev/ttyS2): No such file or directory"));
    EXPECT_TRUE(missing.startsWith("No such serial device /dev/ttyS2.\n")) << missing.toStdString();

    const QString busy = portProblemMessage(
        openError(rdx::kErrDeviceBusy, "COM1 (/opt/rdx mon/COM1) is in use by another program: Device busy"));
    EXPECT_TRUE(busy.startsWith("The serial device /opt/rdx mon/COM1 is in use by another program.\n"))
        << busy.toStdString();

    // The error itself may be the reason (no 30019 around it).
    EXPECT_TRUE(portProblemMessage(rdx::LinkError(rdx::kErrNoDevice, "Cannot open COM2 (/dev/ttyS1): gone"))
                    .startsWith("No such serial device /dev/ttyS1."));
    // A description without a path still gives a message.
    EXPECT_TRUE(portProblemMessage(openError(rdx::kErrNoDevice, "Invalid port number 9"))
                    .startsWith("No such serial device for the chosen port."));

    // Nothing worth telling: a refused settings text, no cause at all.
    EXPECT_TRUE(portProblemMessage(openError(rdx::kErrBaudText, "2400, 4800, 9600, 19200")).isEmpty());
    EXPECT_TRUE(portProblemMessage(rdx::LinkError(rdx::kErrPortOpen, "open failed")).isEmpty());
}

TEST(PortProblemMessage, ConnectLinkPassesTheReasonOn)
{
    FakeLink link;
    SharedState state;
    state.gLink = &link;
    link.portOpenHook = []() -> bool {
        throw rdx::LinkError(rdx::kErrPortOpen, "open failed", rdx::kErrPermission,
                             "No permission to open the serial device /dev/ttyS0 for COM1 (Permission denied).");
    };
    const ConnectResult result = connectLink(state);
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(state.gPortOpened, "False");
    EXPECT_TRUE(result.problem.startsWith("No permission to use the serial device /dev/ttyS0.")) << result.problem.toStdString();
    EXPECT_EQ(link.calls.back(), "RecvBufClear");  // the connecting step went on

    link.portOpenHook = [] { return false; };  // CTS low: the library told the operator
    EXPECT_TRUE(connectLink(state).problem.isEmpty());
}

}  // namespace
}  // namespace rdxmon
