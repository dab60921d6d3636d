// The trend window: it opens with the first recorder's shown channels, then
// with the ones kept in the INI file; it offers only the channels the main
// window shows, ticks all or none of them, gives each line its own scale
// (the axis shows the chosen channel's) or one for all; names follow renames.
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "support/FakeServices.h"
#include "trend/TrendWindow.h"

namespace rdxmon {
namespace {

class TrendWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.programFolder = dir.path();
        state.gRecTotal = 15;  // 90 channels
        for (auto& c : state.gChannel)
            c.Name = QStringLiteral("x");
    }
    QTemporaryDir dir;
    SharedState state;
    TrendHistory history;
    rdxtest::FakeNamesHost host;
    rdxtest::FakeClock clock;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    Services services{clock, messages, dialogs};
};

TEST_F(TrendWindowTest, OpensWithTheFirstRecordersShownChannelsThenTheKeptOnesStillShown)
{
    host.page = 1;
    state.gChannel[73].LogSel = 0;
    {
        TrendWindow first(state, history, host, services);
        first.open();
        EXPECT_EQ(first.picked(), (std::vector<int>{72, 74, 75, 76, 77}));
        first.setPicked({2, 40, 41});
        first.showRange(TrendWindow::kRanges[2]);
        first.close();
    }
    state.gChannel[41].LogSel = 0;  // unselected in the main window meanwhile
    host.page = 0;
    TrendWindow second(state, history, host, services);
    second.open();
    EXPECT_EQ(second.picked(), (std::vector<int>{2, 40}));
    EXPECT_EQ(second.spanMs(), TrendWindow::kRanges[2]);
    EXPECT_TRUE(QFile::exists(dir.filePath(kViewSettingsFile)));
}

TEST_F(TrendWindowTest, OffersOnlyTheShownChannelsAndTicksAllOrNone)
{
    state.gChannel[5].LogSel = 0;
    TrendWindow window(state, history, host, services);
    window.open();
    EXPECT_EQ(window.offered().size(), 89u);
    EXPECT_TRUE(window.channelList->topLevelItem(5)->isHidden());
    window.cmdAll->click();
    EXPECT_EQ(window.picked(), window.offered());
    state.gChannel[6].LogSel = 0;  // the list follows at the next refresh
    window.refresh();
    EXPECT_EQ(window.picked().size(), 88u);
    window.cmdNone->click();
    EXPECT_TRUE(window.picked().empty());
}

TEST_F(TrendWindowTest, EachLineHasItsOwnScaleAndTheAxisShowsTheChosenChannels)
{
    const qint64 now = clock.now().toMSecsSinceEpoch();
    for (int i = 0; i < 60; ++i)
        history.addReply(0, now - 60'000 + i * 1000, {25.0f + i % 2, 0, 600.0f + i, 0, 0, 0}, 0x3f);
    TrendWindow window(state, history, host, services);
    window.resize(1000, 600);
    window.open();
    window.setPicked({0, 2});
    const auto& curves = window.plot->curves();
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_DOUBLE_EQ(curves[0].scale.hi, 26);  // 25 and 26: 25 to 26 in steps of 0.2
    EXPECT_DOUBLE_EQ(curves[1].scale.hi, 700);  // 600 to 659: 600 to 700 in steps of 20
    EXPECT_EQ(window.axisChannel(), 0);
    window.channelList->setCurrentItem(window.channelList->topLevelItem(2));
    EXPECT_EQ(window.axisChannel(), 2);
    EXPECT_DOUBLE_EQ(window.plot->axisScale().hi, 700);
    EXPECT_EQ(window.channelList->topLevelItem(2)->text(2), QStringLiteral("600 to 700"));
    window.setOneScale(true);  // 25 to 659 on one: 0 to 1000
    EXPECT_DOUBLE_EQ(window.plot->curves()[0].scale.hi, 1000);
}

TEST_F(TrendWindowTest, NamesFollowRenamesAtTheNextRefresh)
{
    TrendWindow window(state, history, host, services);
    window.open();
    state.gChannel[5].Name = QStringLiteral("Kiln top          ");
    window.refresh();
    EXPECT_EQ(window.channelList->topLevelItem(5)->text(1), QStringLiteral("Kiln top"));
}

TEST_F(TrendWindowTest, SavesThroughTheSaveDialogAndTellsAFailure)
{
    TrendWindow window(state, history, host, services);
    window.open();
    dialogs.answers = {dir.filePath("range.csv"), dir.filePath("gone/range.csv")};
    window.cmdSaveCsv->click();
    EXPECT_TRUE(QFile::exists(dir.filePath("range.csv")));
    EXPECT_TRUE(messages.shown.isEmpty());
    window.cmdSaveCsv->click();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains("gone/range.csv"));
    EXPECT_EQ(dialogs.calls.size(), 2u);
}

}  // namespace
}  // namespace rdxmon
