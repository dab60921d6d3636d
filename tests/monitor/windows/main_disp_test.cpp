// The main window: creation from the settings, pages, value display through
// the polling cycle, the communication panel and the exit command.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "startup/Lenient.h"
#include "startup/SettingsFile.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"
#include "windows/Opuning.h"
#include "windows/QtServices.h"
#include "windows/UpDown.h"

namespace rdxmon {
namespace {

using rdxtest::FakeLink;

class MainDispTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        state.programFolder = dir.path();
        link.byAddress = true;
        state.gLink = &link;
    }
    // A window for n recorders, as start-up makes it.
    std::unique_ptr<MainDisp> make(int recorders) {
        state.gInit.RecCount = QString::number(recorders).rightJustified(2, QLatin1Char(' '));
        state.gChTotal = QString::number(recorders * 6);
        for (int s = 0; s < kSlotCount; ++s) state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
        return std::make_unique<MainDisp>(state, services);
    }
    QByteArray settingsFile() const {
        QFile file(dir.filePath(kInitFileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    SharedState state;
    FakeLink link;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
};

int visibleFrames(const MainDisp& w) {
    int n = 0;
    for (QFrame* f : w.frmM) n += f->isVisibleTo(&w) ? 1 : 0;
    return n;
}

TEST_F(MainDispTest, CreationFromSettings) {
    state.gInit.Speed = QStringLiteral("4800");
    state.gInit.Port = QStringLiteral("COM3");
    state.gInit.LogInterval = 15;
    state.gInit.LogUnit = 1;
    state.gInit.LogNameMode = 1;
    auto w = make(12);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("RDX-512 monitor"));
    EXPECT_EQ(w->Combo2->currentText(), QStringLiteral("4800"));
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("COM3"));
    EXPECT_EQ(w->Combo1->count(), 8);
    EXPECT_EQ(w->lblCh->text(), QStringLiteral("12"));
    EXPECT_EQ(w->lblLogitv->text(), QStringLiteral("15"));
    EXPECT_TRUE(w->optTime2->isChecked());
    EXPECT_TRUE(w->optName2->isChecked());
    EXPECT_TRUE(w->cmdRUN->isEnabled());
    EXPECT_EQ(w->lblMsg->text(), QStringLiteral("Logging is stopped now."));
    EXPECT_EQ(w->lblMsg->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(w->commtimer.isActive());
    EXPECT_FALSE(w->tmrLogitv.isActive());
    EXPECT_EQ(w->commtimer.interval(), 50);
    EXPECT_EQ(w->tmrLogitv.interval(), 200);
    EXPECT_TRUE(w->frmCommInit->isHidden());
    EXPECT_EQ(w->frmCommInit->title(), QStringLiteral("Communication port selection"));
    EXPECT_EQ(visibleFrames(*w), 72);
    for (QLabel* heading : w->Label1) {
        EXPECT_EQ(heading->text(), QStringLiteral("No.    Name                                        PV"));
        EXPECT_FALSE(heading->isHidden());
    }
    EXPECT_TRUE(w->DVsele1->isHidden() && w->DVsele2->isHidden() && w->DVsele3->isHidden());
    EXPECT_EQ(w->size(), QSize(913, 615));
    EXPECT_EQ(w->helpFile(), dir.path() + QStringLiteral("/RDXMON-1.qch"));

    // The menus, captions and separators in order.
    QStringList captions;
    for (QAction* menu : w->menuBar()->actions()) {
        captions << menu->text();
        for (QAction* entry : menu->menu()->actions()) captions << (entry->isSeparator() ? "-" : entry->text());
    }
    EXPECT_EQ(captions, (QStringList{"File(&F)", "Logging file name setting(&L)", "-", "Printer selection(&S)",
                                     "Printout(&P)", "-", "eXit(&X)", "Setting(&S)", "chaNnel name register(&N)",
                                     "-", "Communication setting(&C)", "Recorder address setting(&R)", "Help(&H)",
                                     "Help(&H)", "-", "Version information(&V)"}));
}

TEST_F(MainDispTest, FewAndManyRecorders) {
    auto one = make(1);
    EXPECT_EQ(visibleFrames(*one), 6);
    EXPECT_TRUE(one->Label1[1]->isHidden());
    EXPECT_TRUE(one->Label1[2]->isHidden());
    EXPECT_EQ(one->size(), QSize(470, 257));
    one->show();
    // Every visible control lies inside the small window.
    const QRect client = one->centralWidget()->rect();
    for (QWidget* child : one->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden()) {
            EXPECT_TRUE(client.contains(child->geometry())) << child->metaObject()->className();
        }
    }
    one->hide();

    auto many = make(31);
    EXPECT_FALSE(many->DVsele1->isHidden() || many->DVsele2->isHidden() || many->DVsele3->isHidden());
    many->DVsele3_Click();
    EXPECT_EQ(many->page(), 2);
    EXPECT_EQ(visibleFrames(*many), 42);
    EXPECT_FALSE(many->Label1[1]->isHidden());
    EXPECT_TRUE(many->Label1[2]->isHidden());
    EXPECT_EQ(many->cmdMLog[0]->text(), QStringLiteral("25-1"));
    EXPECT_EQ(many->cmdMLog[41]->text(), QStringLiteral("31-6"));
}

TEST_F(MainDispTest, PageSwitchShowsNamesValuesAndColours) {
    state.gChannel[72].Name = QStringLiteral("Boiler inlet      ");
    state.gChannel[73].LogSel = 0;
    state.gPvValue[72] = 12.34f;
    state.gPvValue[79] = -3.0f;
    auto w = make(13);
    w->DVsele2_Click();
    EXPECT_EQ(w->page(), 1);
    EXPECT_EQ(visibleFrames(*w), 6);
    EXPECT_EQ(w->cmdMLog[0]->text(), QStringLiteral("13-1"));
    EXPECT_EQ(w->cmdMLog[5]->text(), QStringLiteral("13-6"));
    EXPECT_EQ(w->lblDevname[0]->text(), QStringLiteral("Boiler inlet      "));
    EXPECT_EQ(w->lblPv[0]->text(), QStringLiteral("12.3"));
    EXPECT_EQ(w->lblPv[1]->text(), QStringLiteral("0.0"));
    EXPECT_EQ(w->cmdMLog[0]->palette().color(QPalette::Button), QColor(128, 255, 128));
    EXPECT_NE(w->cmdMLog[1]->palette().color(QPalette::Button), QColor(128, 255, 128));
    EXPECT_TRUE(w->Label1[1]->isHidden());

    w->DVsele1_Click();
    EXPECT_EQ(w->page(), 0);
    EXPECT_EQ(visibleFrames(*w), 72);
    EXPECT_EQ(w->cmdMLog[71]->text(), QStringLiteral("12-6"));
    EXPECT_EQ(w->lblDevname[0]->text(), state.gChannel[0].Name);

    // A channel button toggles its channel's selection, stores the table
    // and repaints the button.
    ASSERT_EQ(state.gChannel[7].LogSel, 1);
    int saved = 0;
    w->onSaveNames = [&] { ++saved; return true; };
    QTest::mouseClick(w->cmdMLog[7], Qt::LeftButton);
    EXPECT_EQ(state.gChannel[7].LogSel, 0);
    EXPECT_EQ(saved, 1);
}

TEST_F(MainDispTest, CommunicateRunsTheStartupPassAndPollingDrivesLabels) {
    link.replies["01"] = rdxtest::replyWithValues({"12.346 -02", "5", "S", "-0.04", "7.5    -00", "abc"});
    link.replies["02"] = rdxtest::replyWithValues({"1", "2", "3", "4", "5", "6"});
    // Recorder 03 is silent.
    auto w = make(3);
    Opuning splash;
    splash.show();
    w->setSplash(&splash);
    int namesLoaded = 0;
    w->onNameLoad = [&] { ++namesLoaded; };

    w->Communicate();
    EXPECT_EQ(state.gStartDone, 1);
    EXPECT_EQ(state.gPortOpened, QStringLiteral("True"));
    EXPECT_TRUE(w->commtimer.isActive());
    EXPECT_EQ(namesLoaded, 1);
    EXPECT_TRUE(splash.isHidden());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(splash.prgWait->maximum(), 3);
    EXPECT_EQ(splash.prgWait->value(), 2);
    EXPECT_EQ((std::vector<std::string>{link.answered.begin(), link.answered.begin() + 3}),
              (std::vector<std::string>{"01", "02", "03"}));

    EXPECT_EQ(w->lblPv[0]->text(), QStringLiteral("12.35"));
    EXPECT_EQ(w->lblPv[1]->text(), QStringLiteral("5.0"));
    EXPECT_EQ(w->lblPv[2]->text(), QString());
    EXPECT_EQ(w->lblPv[3]->text(), QStringLiteral("0.0"));
    EXPECT_EQ(w->lblPv[4]->text(), QStringLiteral("8."));
    EXPECT_EQ(w->lblPv[5]->text(), QStringLiteral("0.0"));
    EXPECT_EQ(w->lblPv[11]->text(), QStringLiteral("6.0"));
    EXPECT_FLOAT_EQ(state.gPvValue[6], 1.0f);

    // Polling goes on: a new value appears on the next pass.
    link.replies["02"] = rdxtest::replyWithValues({"41.5", "2", "3", "4", "5", "6"});
    QTRY_COMPARE_WITH_TIMEOUT(w->lblPv[6]->text(), QStringLiteral("41.5"), 5000);
    w->commtimer.stop();
}

TEST_F(MainDispTest, PortNotOpenedShowsTheWindowWithoutPolling) {
    link.portOpenResult = false;
    auto w = make(2);
    w->Communicate();
    EXPECT_EQ(state.gPortOpened, QStringLiteral("False"));
    EXPECT_FALSE(w->commtimer.isActive());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(link.answered.empty());
    w->hide();
}

TEST_F(MainDispTest, CommunicationPanelStoresTheChoice) {
    auto w = make(1);  // defaults in memory: count " 1"
    w->mnuComPort->trigger();
    EXPECT_FALSE(w->frmCommInit->isHidden());
    w->cmdCommOK_Click();
    EXPECT_TRUE(w->frmCommInit->isHidden());
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0],
              QStringLiteral("If communication settings have been changed, close monitor software and restart."));
    QByteArray bytes = settingsFile();
    ASSERT_EQ(bytes.size(), 20);
    EXPECT_EQ(bytes.left(10), QByteArray("COM19600" "01"));

    // Port, speed and a count of 12 stepped up with the up-down.
    w->Combo1->setCurrentText(QStringLiteral("COM2"));
    w->Combo2->setCurrentText(QStringLiteral("2400"));
    for (int i = 0; i < 11; ++i) w->updCh->stepUp();
    EXPECT_EQ(w->lblCh->text(), QStringLiteral("12"));
    w->cmdCommOK_Click();
    bytes = settingsFile();
    EXPECT_EQ(bytes.left(10), QByteArray("COM22400" "12"));
    // The running program keeps the count it started with.
    EXPECT_EQ(lenientInt(state.gChTotal), 6);

    // The up-down stops at its limits.
    for (int i = 0; i < 40; ++i) w->updCh->stepUp();
    EXPECT_EQ(w->lblCh->text(), QStringLiteral("31"));

    // A folder that cannot be written: told, the panel stays open.
    state.programFolder = dir.filePath(QStringLiteral("missing/folder"));
    w->mnuComPort_Click();
    w->cmdCommOK_Click();
    EXPECT_FALSE(w->frmCommInit->isHidden());
    EXPECT_TRUE(messages.shown.last().contains(QStringLiteral("could not be saved")));
}

TEST_F(MainDispTest, ExitCommand) {
    auto w = make(2);
    int released = 0;
    w->onReleaseLink = [&] { ++released; };
    w->show();
    w->commtimer.start();
    w->tmrLogitv.start();

    // No: everything keeps running, nothing is written.
    messages.answer = false;
    EXPECT_FALSE(w->close());
    EXPECT_EQ(messages.asked, QStringList{QStringLiteral("Monitoring software will be closed. Is this OK?")});
    EXPECT_TRUE(w->commtimer.isActive());
    EXPECT_TRUE(w->tmrLogitv.isActive());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(settingsFile().isEmpty());

    // Yes: the logging controls and the logging state are stored.
    messages.answer = true;
    w->lblLogitv->setText(QStringLiteral("30"));
    w->optTime2->setChecked(true);
    w->optName2->setChecked(true);
    EXPECT_TRUE(w->mnuEnd_Click());
    EXPECT_TRUE(w->exiting());
    EXPECT_FALSE(w->commtimer.isActive());
    EXPECT_FALSE(w->tmrLogitv.isActive());
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(w->isVisible());
    const std::optional<InitRecord> stored = decodeInitRecord(settingsFile());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->LogInterval, 30);
    EXPECT_EQ(stored->LogUnit, 1);
    EXPECT_EQ(stored->LogNameMode, 1);
    EXPECT_EQ(stored->LogActive, 1);
}

TEST_F(MainDispTest, StoreAndQuitAsksNothing) {
    auto w = make(1);
    w->commtimer.start();
    w->storeAndQuit();
    EXPECT_TRUE(messages.asked.isEmpty());
    EXPECT_FALSE(w->commtimer.isActive());
    const std::optional<InitRecord> stored = decodeInitRecord(settingsFile());
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->LogActive, 0);
    EXPECT_EQ(stored->LogInterval, 60);
}

TEST(QtServices, FilterTranslation) {
    EXPECT_EQ(translateFilter(QStringLiteral("*.CSV(CSV files)|*.CSV")), QStringLiteral("CSV files (*.CSV *.csv)"));
    EXPECT_EQ(translateFilter(QStringLiteral("Text|*.txt|All|*.*")), QStringLiteral("Text (*.txt *.TXT);;All (*.*)"));
}

TEST(UpDownControl, StepsFromItsBuddyCaption) {
    QLabel buddy(QStringLiteral("60"));
    UpDown updown;
    updown.setRange(1, 60);
    updown.setBuddy(&buddy);
    int signalled = 0;
    QObject::connect(&updown, &UpDown::valueChanged, [&](int) { ++signalled; });
    updown.stepUp();
    EXPECT_EQ(buddy.text(), QStringLiteral("60"));
    EXPECT_EQ(signalled, 0);
    updown.stepDown();
    EXPECT_EQ(buddy.text(), QStringLiteral("59"));
    buddy.setText(QStringLiteral("5"));  // set by the program
    QTest::mouseClick(updown.downButton(), Qt::LeftButton);
    EXPECT_EQ(buddy.text(), QStringLiteral("4"));
    EXPECT_EQ(updown.value(), 4);
    EXPECT_EQ(signalled, 2);
}

}  // namespace
}  // namespace rdxmon
