// The alarms on the windows: the marks on the main window's value labels,
// the alarm list and its acknowledging, the limits window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "AlarmSettingsWindow.h"
#include "AlarmView.h"
#include "names/ChannelNames.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

namespace rdxalarm {
namespace {

using S = AlarmState;

struct States : AlarmStates {
    AlarmState limitState(int, AlarmLimit l) const override { return limits[static_cast<int>(l)]; }
    AlarmState communicationState(int) const override { return comm; }
    std::array<S, kLimitCount> limits{};
    S comm = S::Normal;
};

TEST(AlarmMarks, TheMostPressingAlarmShows)
{
    struct Case {
        std::array<S, kLimitCount> limits;  // HH, H, L, LL
        S comm;
        const char* symbol;
        S colour;
    } cases[] = {
        {{}, S::Normal, "", S::Normal},
        {{S::Normal, S::ActiveUnacknowledged}, S::Normal, "▲", S::ActiveUnacknowledged},
        {{S::ActiveAcknowledged, S::ActiveUnacknowledged}, S::Normal, "▲", S::ActiveUnacknowledged},
        {{S::ActiveUnacknowledged, S::ActiveUnacknowledged}, S::Normal, "▲▲", S::ActiveUnacknowledged},
        {{S::Normal, S::Normal, S::Normal, S::ActiveAcknowledged}, S::Normal, "▼▼", S::ActiveAcknowledged},
        {{S::Normal, S::Normal, S::ReturnedUnacknowledged}, S::Normal, "▽", S::ReturnedUnacknowledged},
        {{S::Normal, S::ReturnedUnacknowledged}, S::ActiveUnacknowledged, "!", S::ActiveUnacknowledged},
    };
    for (const Case& c : cases) {
        States states;
        states.limits = c.limits;
        states.comm = c.comm;
        const rdxmon::ValueMark mark = channelMark(states, 7);
        EXPECT_EQ(mark.symbol, QString::fromUtf8(c.symbol));
        if (!mark.symbol.isEmpty()) {
            EXPECT_EQ(mark.background, stateColour(c.colour));
        }
    }
}

class AlarmWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        state.programFolder = dir.path();
        state.gChannel = rdxmon::defaultChannelTable();
        state.gInit.RecCount = QStringLiteral("13");
        state.gRecTotal = 13;
        state.gChTotal = QStringLiteral("78");
        AlarmSettings settings;
        settings.at(0, AlarmLimit::High) = {true, 30, 0, 0};
        settings.at(1, AlarmLimit::Low) = {true, 5, 0, 0};
        engine.setSettings(settings);
        engine.addSink(&journal);
    }
    // A reply of slot 0 with channel 1 and 2 at these values, through the window.
    void reply(float v1, float v2)
    {
        clock.advanceMs(1000);
        state.gPvLine[0][2]
            = "N01 02  C01    " + QString::number(v1, 'f', 1).rightJustified(7).toStdString() + "-01OK 5\r\n";
        state.gPvLine[0][3]
            = "N01 03  C02    " + QString::number(v2, 'f', 1).rightJustified(7).toStdString() + "-01OK 5\r\n";
        window.Pvdispset(0);
        engine.replyTaken(0, clock.now());
    }

    QTemporaryDir dir;
    rdxmon::SharedState state;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    rdxmon::Services services{clock, messages, dialogs};
    rdxmon::MainDisp window{state, services};
    QMenu view;
    AlarmEngine engine{state, clock};
    AlarmJournal journal{dir.path()};
    AlarmView alarms{window, &view, state, engine, journal, messages, false};
};

TEST_F(AlarmWindowsTest, AChannelInAlarmIsMarkedOnEveryPageShowing)
{
    window.DVsele1_Click();
    reply(31.5f, 7);
    EXPECT_TRUE(window.lblPv[0]->text().contains(u"▲</span>&nbsp;31.5")) << window.lblPv[0]->text().toStdString();
    EXPECT_EQ(window.lblPv[0]->palette().color(QPalette::Window), stateColour(S::ActiveUnacknowledged));
    EXPECT_TRUE(window.lblPv[0]->toolTip().endsWith(QStringLiteral("\nHigh alarm: active unacknowledged")))
        << window.lblPv[0]->toolTip().toStdString();
    EXPECT_EQ(window.lblPv[1]->text(), QStringLiteral("7.0"));
    reply(32, 7);  // a new value keeps the mark
    EXPECT_TRUE(window.lblPv[0]->text().contains(u"▲</span>&nbsp;32.0"));
    window.DVsele2_Click();
    EXPECT_EQ(window.lblPv[0]->text(), QString());  // 13-1 has no alarm
    window.DVsele1_Click();
    EXPECT_TRUE(window.lblPv[0]->text().contains(u"▲</span>&nbsp;32.0"));
    engine.acknowledgeAll(QStringLiteral("alice"));
    EXPECT_EQ(window.lblPv[0]->palette().color(QPalette::Window), stateColour(S::ActiveAcknowledged));
    reply(20, 7);
    EXPECT_EQ(window.lblPv[0]->text(), QStringLiteral("20.0"));
    EXPECT_EQ(window.lblPv[0]->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(AlarmWindowsTest, TheListAcknowledgesTheSelectedOrAll)
{
    EXPECT_EQ(alarms.mnuAlarmList->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
    reply(31, 7);
    reply(31, 4);
    AlarmListWindow& list = *alarms.list();
    alarms.mnuAlarmList->trigger();
    ASSERT_EQ(list.list->topLevelItemCount(), 2);
    EXPECT_EQ(list.list->topLevelItem(0)->text(1), QStringLiteral("01-2"));  // newest first
    EXPECT_EQ(list.list->topLevelItem(0)->text(3), QStringLiteral("low"));
    EXPECT_EQ(list.list->topLevelItem(0)->text(4), QStringLiteral("4"));
    EXPECT_EQ(list.list->topLevelItem(1)->text(5), QStringLiteral("active unacknowledged"));

    list.list->topLevelItem(1)->setSelected(true);
    QTest::mouseClick(list.cmdAck, Qt::LeftButton);
    QCoreApplication::processEvents();  // the list is filled from the event loop
    EXPECT_EQ(engine.limitState(0, AlarmLimit::High), S::ActiveAcknowledged);
    EXPECT_EQ(engine.limitState(1, AlarmLimit::Low), S::ActiveUnacknowledged);
    EXPECT_TRUE(list.list->topLevelItem(1)->isSelected());  // kept through the refresh
    EXPECT_EQ(list.list->topLevelItem(1)->text(5), QStringLiteral("active acknowledged"));
    QTest::mouseClick(list.cmdAckAll, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(engine.limitState(1, AlarmLimit::Low), S::ActiveAcknowledged);
    EXPECT_FALSE(list.cmdAckAll->isEnabled());
    // Each acknowledgement in the journal with the user's name.
    EXPECT_EQ(journal.waiting(), 0);
    QFile file(journal.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count(("\"" + loginName() + "\"\n").toUtf8()), 2);
}

TEST_F(AlarmWindowsTest, TheLimitsWindowStoresWhatReads)
{
    AlarmSettings stored;
    AlarmSettingsWindow w(state, engine.settings(), messages, [&](const AlarmSettings& s) {
        stored = s;
        return true;
    });
    EXPECT_EQ(w.channels->count(), 78);
    EXPECT_TRUE(w.channels->item(0)->text().startsWith(u"●"));
    w.pick(6);
    w.rows[0].on->setChecked(true);
    w.rows[0].setPoint->setText(QStringLiteral("abc"));
    w.accept();
    EXPECT_EQ(w.result(), QDialog::Rejected);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("02-1 High-high (HH): the set point \"abc\" is not a number."));
    w.rows[0].setPoint->setText(QStringLiteral("-2.5"));
    w.rows[0].deadband->setText(QStringLiteral("0.25"));
    w.rows[0].delay->setValue(7);
    w.timeout->setValue(20);
    w.pick(0);
    w.accept();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_TRUE((stored.at(6, AlarmLimit::HighHigh) == LimitSetting{true, -2.5, 0.25, 7}));
    EXPECT_TRUE(stored.at(0, AlarmLimit::High).on);
    EXPECT_EQ(stored.communicationTimeout, 20);
}

}  // namespace
}  // namespace rdxalarm
