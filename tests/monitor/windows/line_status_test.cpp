// The main window's side of a lost line, stale recorders and a port that
// cannot be opened.
#include <gtest/gtest.h>

#include <optional>

#include <QLabel>
#include <QTemporaryDir>

#include "support/FakeLink.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

namespace rdxmon {
namespace {

// A link answering by address, able to lose its device and refuse to open.
class FailingLink : public rdxtest::FakeLink {
public:
    FailingLink() { byAddress = true; }
    std::string RWcomm(const std::string& StrAddr, const std::string& ChData, const std::int16_t& Inttry,
                       const std::string& Mode) override
    {
        if (gone)
            throw rdx::LinkError(rdx::kErrDeviceIo, "Serial line lost on COM1");
        return rdxtest::FakeLink::RWcomm(StrAddr, ChData, Inttry, Mode);
    }
    bool PortOpen() override
    {
        if (openError)
            throw *openError;
        return !gone;
    }
    bool gone = false;
    std::optional<rdx::LinkError> openError;
};

class LineStatusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        state.programFolder = dir.path();
        state.gLink = &link;
        state.gInit.RecCount = QStringLiteral("14");
        state.gChTotal = QStringLiteral("84");
        for (int s = 0; s < kSlotCount; ++s)
            state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
        for (int s = 1; s <= 14; ++s)
            link.replies[QString::number(s).rightJustified(2, QLatin1Char('0')).toStdString()] =
                rdxtest::replyWithValues({"1", "2", "3", "4", "5", "6"});
    }
    // Complete exchanges (two ticks each, and one for the line to settle)
    // until every recorder was asked n times.
    void rounds(MainDisp& w, int n)
    {
        for (int i = 0; i < n * 14 * 3; ++i)
            w.pollCycle().tick();
    }

    QTemporaryDir dir;
    SharedState state;
    FailingLink link;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
};

TEST_F(LineStatusTest, StaleRecordersAreGreyedWithTheTimeOfTheirLastReply)
{
    MainDisp w(state, services);
    w.DVsele1_Click();
    const QColor normal = w.lblPv[0]->palette().color(QPalette::WindowText);
    rounds(w, 1);
    link.replies.erase("02");  // recorder 02 (page 0) falls silent
    link.replies.erase("13");  // and 13 (page 1)
    rounds(w, 3);
    for (int i = 6; i < 12; ++i) {
        EXPECT_EQ(w.lblPv[i]->palette().color(QPalette::WindowText), QColor(Qt::gray)) << i;
        EXPECT_EQ(w.lblPv[i]->toolTip(), QStringLiteral("No reply since 2024-03-07 09:05:00")) << i;
    }
    EXPECT_EQ(w.lblPv[0]->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(w.lblPv[0]->toolTip().isEmpty());

    // Page 1 shows recorder 13 greyed, 14 not; back on page 0 the same.
    w.DVsele2_Click();
    EXPECT_EQ(w.lblPv[0]->palette().color(QPalette::WindowText), QColor(Qt::gray));
    EXPECT_EQ(w.lblPv[6]->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(w.lblPv[6]->toolTip().isEmpty());
    w.DVsele1_Click();
    EXPECT_FALSE(w.lblPv[11]->toolTip().isEmpty());

    // Recorder 02 answers again: back to normal.
    link.replies["02"] = rdxtest::replyWithValues({"7", "2", "3", "4", "5", "6"});
    rounds(w, 1);
    EXPECT_EQ(w.lblPv[6]->text(), QStringLiteral("7.0"));
    EXPECT_EQ(w.lblPv[6]->palette().color(QPalette::WindowText), normal);
    EXPECT_TRUE(w.lblPv[6]->toolTip().isEmpty());
}

TEST_F(LineStatusTest, LostLineIsShownUntilThePortIsBackWithoutMessages)
{
    MainDisp w(state, services);
    w.DVsele1_Click();
    rounds(w, 1);
    EXPECT_TRUE(w.lblLine->isHidden());
    link.gone = true;
    w.pollCycle().tick();
    EXPECT_FALSE(w.lblLine->isHidden());
    EXPECT_EQ(w.lblLine->text(), kLineLostMessage);

    // The first reopen comes with the next tick and finds the port back.
    link.gone = false;
    w.pollCycle().tick();
    EXPECT_TRUE(w.lblLine->isHidden());

    // Lost again and still away: the notice stays, no recorder is asked.
    link.gone = true;
    w.pollCycle().tick();
    const std::size_t polled = link.answered.size();
    for (int i = 0; i < 20; ++i)
        w.pollCycle().tick();
    EXPECT_FALSE(w.lblLine->isHidden());
    EXPECT_EQ(link.answered.size(), polled);
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(LineStatusTest, PortProblemIsToldPlainly)
{
    link.openError = rdx::LinkError(rdx::kErrPortOpen, "open failed", rdx::kErrPermission,
                                    "No permission to open the serial device /dev/ttyUSB0 for COM1 (Permission "
                                    "denied).");
    MainDisp w(state, services);
    w.Communicate();
    EXPECT_EQ(state.gPortOpened, QStringLiteral("False"));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("No permission to use the serial device /dev/ttyUSB0.")))
        << messages.shown[0].toStdString();
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("dialout")));
    EXPECT_FALSE(w.commtimer.isActive());
    w.hide();
}

}  // namespace
}  // namespace rdxmon
