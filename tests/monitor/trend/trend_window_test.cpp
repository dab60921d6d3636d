// The trend window: first picks from the page shown, picks and range kept in
// the INI file for the next window, names follow renames.
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "support/FakeServices.h"
#include "trend/TrendWindow.h"

namespace rdxmon {
namespace {

class TrendWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.programFolder = dir.path();
        state.gRecTotal = 15;  // 90 channels
        for (auto& c : state.gChannel) c.Name = QStringLiteral("x");
    }
    QTemporaryDir dir;
    SharedState state;
    TrendHistory history;
    rdxtest::FakeNamesHost host;
    rdxtest::FakeClock clock;
};

TEST_F(TrendWindowTest, FirstPicksAreTheSelectedChannelsOfThePageShownThenTheKeptOnes) {
    host.page = 1;
    state.gChannel[73].LogSel = 0;
    {
        TrendWindow first(state, history, host, clock);
        first.open();
        std::vector<int> expected;
        for (int k = 72; k < 90; ++k)
            if (k != 73) expected.push_back(k);
        EXPECT_EQ(first.picked(), expected);
        first.setPicked({2, 40});
        first.showRange(TrendWindow::kRanges[2]);
        first.close();
    }
    host.page = 0;
    TrendWindow second(state, history, host, clock);
    second.open();
    EXPECT_EQ(second.picked(), (std::vector<int>{2, 40}));
    EXPECT_EQ(second.spanMs(), TrendWindow::kRanges[2]);
    EXPECT_TRUE(QFile::exists(dir.filePath(kViewSettingsFile)));
}

TEST_F(TrendWindowTest, NamesFollowRenamesAtTheNextRefresh) {
    TrendWindow window(state, history, host, clock);
    window.open();
    state.gChannel[5].Name = QStringLiteral("Kiln top          ");
    window.refresh();
    EXPECT_EQ(window.channelList->topLevelItem(5)->text(1), QStringLiteral("Kiln top"));
}

}  // namespace
}  // namespace rdxmon
