// The binder between the main window's logging controls and the logic.
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "logging/LoggingControls.h"
#include "logging_support.h"
#include "names/ChannelNames.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

TEST(LoggingControls, DriveTheControlsAndTheLog)
{
    QTemporaryDir dir;
    SharedState state;
    state.programFolder = dir.path();
    state.gChannel = defaultChannelTable();
    rdxtest::FakeClock clock;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    Services services{clock, messages, dialogs};
    rdxtest::FakeNamesHost host;
    int saved = 0;

    QWidget window;
    QWidget timeGroup(&window), nameGroup(&window);
    QLabel lblLogitv(&window), lblMsg(&window);
    QWidget updLogtitv(&window);
    QRadioButton optTime1(&timeGroup), optTime2(&timeGroup), optName1(&nameGroup), optName2(&nameGroup);
    QPushButton cmdRUN(&window), cmdStop(&window);
    QTimer tmrLogitv;
    QAction mnuLogName(&window);
    LoggingWidgets widgets{&lblLogitv, &updLogtitv, &optTime1, &optTime2, &optName1, &optName2,
                           &cmdRUN,    &cmdStop,    &lblMsg,   &tmrLogitv, &mnuLogName, {}};
    std::vector<std::unique_ptr<QPushButton>> buttons;
    for (auto& button : widgets.cmdMLog) {
        buttons.push_back(std::make_unique<QPushButton>(&window));
        button = buttons.back().get();
    }
    LoggingControls controls(widgets, state, services, host, [&saved] { return ++saved > 0; });
    window.show();

    InitRecord settings;
    settings.LogInterval = 1;
    settings.LogUnit = 1;
    settings.LogNameMode = 1;
    controls.restoreAndResume(settings);
    EXPECT_EQ(lblLogitv.text(), QStringLiteral("1"));
    EXPECT_TRUE(optTime2.isChecked());
    EXPECT_TRUE(optName2.isChecked());
    EXPECT_TRUE(cmdRUN.isEnabled());
    EXPECT_FALSE(tmrLogitv.isActive());
    EXPECT_EQ(lblMsg.text(), QStringLiteral("Logging is stopped now."));

    optTime1.setChecked(true);
    QTest::mouseClick(&cmdRUN, Qt::LeftButton);
    EXPECT_TRUE(tmrLogitv.isActive());
    EXPECT_EQ(tmrLogitv.interval(), 200);
    for (QWidget* locked : {static_cast<QWidget*>(&updLogtitv), static_cast<QWidget*>(&cmdRUN),
                            static_cast<QWidget*>(&optTime1), static_cast<QWidget*>(&optName2)})
        EXPECT_FALSE(locked->isEnabled());
    EXPECT_FALSE(mnuLogName.isEnabled());
    EXPECT_EQ(lblMsg.text(), QStringLiteral("It is being logged now."));
    EXPECT_TRUE(lblMsg.styleSheet().contains(QStringLiteral("rgb(0, 255, 0)")));

    // The timer drives the tick: a row once the clock has reached the due second.
    clock.advanceMs(1000);
    QFile log(controls.controller().heldName());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    QByteArray content;
    for (QDeadlineTimer deadline(3000); !deadline.hasExpired() && content.count('\n') < 3;) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        content += log.readAll();
    }
    EXPECT_EQ(content.count('\n'), 3);

    QTest::mouseClick(widgets.cmdMLog[3], Qt::LeftButton);
    EXPECT_EQ(state.gChannel[3].LogSel, 0);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(host.logdispPages, std::vector<int>{0});
    controls.Logdisp(0);
    EXPECT_TRUE(widgets.cmdMLog[3]->styleSheet().isEmpty());
    EXPECT_TRUE(widgets.cmdMLog[0]->styleSheet().contains(QStringLiteral("rgb(128, 255, 128)")));

    InitRecord atExit;
    controls.storeForExit(atExit);
    EXPECT_EQ(atExit.LogActive, 1);
    EXPECT_EQ(atExit.LogUnit, 0);
    EXPECT_EQ(atExit.LogNameMode, 1);
    EXPECT_EQ(atExit.LogInterval, 1);
    EXPECT_FALSE(tmrLogitv.isActive());

    QTest::mouseClick(&cmdStop, Qt::LeftButton);
    EXPECT_TRUE(cmdRUN.isEnabled());
    EXPECT_TRUE(mnuLogName.isEnabled());
    EXPECT_EQ(lblMsg.text(), QStringLiteral("Logging is stopped now."));
    EXPECT_TRUE(lblMsg.styleSheet().contains(QStringLiteral("rgb(255, 255, 255)")));
    EXPECT_EQ(state.gInit.LogActive, 0);
}

}  // namespace
}  // namespace rdxmon
