// Logging as the operator drives it, with a fake clock, dialogs and boxes:
// START and the grid, the rows, resume, a file that cannot be written, one
// that went away, a full disk, and the controls with a real sampling timer
// behind an open box.
#include <cerrno>
#include <cstring>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "logging/CsvFormat.h"
#include "logging/LogSchedule.h"
#include "logging/LoggingControls.h"
#include "names/ChannelNames.h"
#include "support/FakeServices.h"
#include "support/FileSizeLimit.h"

namespace rdxmon {
namespace {

struct FakeView : LoggingView {
    void setRunEnabled(bool enabled) override { runEnabled = enabled; }
    void setRunning(bool on) override { runEnabled = !on; }
    QString cycleCaption() const override { return caption; }
    bool minutesSelected() const override { return minutes; }
    bool defaultFileSelected() const override { return defaultFile; }
    bool runEnabled = false, minutes = false, defaultFile = true;
    QString caption = QStringLiteral("1");
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}
// The data rows of a log without CR LF, and their times.
QByteArrayList rows(const QString& path)
{
    QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), bytes.count('\n'));
    return bytes.chopped(2).replace("\r\n", "\n").split('\n').mid(2);
}
QByteArrayList stamps(const QString& path)
{
    QByteArrayList out;
    for (const QByteArray& row : rows(path))
        out << row.mid(1, row.indexOf('"', 1) - 1);
    return out;
}

// Puts a folder where the log file is, so that it cannot be written, and back.
bool blockFile(const QString& path, bool blocked)
{
    return blocked ? QFile::rename(path, path + ".away") && QDir().mkdir(path)
                   : QDir().rmdir(path) && QFile::rename(path + ".away", path);
}

class LogControllerTest : public testing::Test {
protected:
    LogControllerTest()
    {
        state.programFolder = dir.path();
        state.gChannel = defaultChannelTable();
        state.gPvValue = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f};
        using rdxmon::PvState;
        state.gPvState = {PvState::Current, PvState::Current, PvState::Stale,
                          PvState::Current, PvState::Current, PvState::Current};
    }
    // Ticks every step ms for the given time, then shows the boxes asked for.
    void run(qint64 ms, qint64 step = 200)
    {
        for (qint64 t = 0; t < ms; t += step) {
            clock.advanceMs(step);
            controller.tick();
        }
        QApplication::processEvents();
    }

    QTemporaryDir dir;
    SharedState state;
    rdxtest::FakeClock clock;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    Services services{clock, messages, dialogs};
    FakeView view;
    rdxtest::FakeNamesHost host;
    LogController controller{state, services, view, host, {}};
};

TEST_F(LogControllerTest, GridStartsWhenTheFileIsMade)
{
    // START at 09:05:00; the notice about the existing file is open for two minutes.
    const QString path = QDir(dir.path()).filePath(QStringLiteral("plant.csv"));
    ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    clock.set(9, 5, 0, 300);
    view.defaultFile = false;
    view.caption = QStringLiteral("30");
    dialogs.answers = {path};
    messages.whileShown = [this] { clock.advanceMs(120'000); };
    controller.startLogging();
    messages.whileShown = nullptr;
    EXPECT_EQ(state.gNextLogTime, secondsOfDay(QTime(9, 7, 30)));
    run(60'000);
    EXPECT_EQ(stamps(path), (QByteArrayList{"9:7:30 AM", "9:8:0 AM"}));
}

TEST_F(LogControllerTest, RowsFollowTheClockTheSelectionAndTheReadings)
{
    clock.set(10, 0, 0);
    controller.startLogging();
    const QString first = controller.heldName();
    run(1000);
    controller.toggleChannel(1);
    state.gPvState[2] = rdxmon::PvState::Current;
    run(1000);
    clock.set(10, 0, 4, 100);  // the window thread was held past 10:00:03
    controller.tick();
    clock.set(11, 30, 0, 500);  // the machine slept
    run(1000);
    EXPECT_EQ(rows(first),
              (QByteArrayList{"\"10:0:1 AM\",0.5,1.5,,3.5,4.5,5.5", "\"10:0:2 AM\",0.5,,2.5,3.5,4.5,5.5",
                              "\"10:0:4 AM\",0.5,,2.5,3.5,4.5,5.5", "\"11:30:0 AM\",0.5,,2.5,3.5,4.5,5.5",
                              "\"11:30:1 AM\",0.5,,2.5,3.5,4.5,5.5"}));
    controller.stopLogging();
    controller.startLogging();  // a second run within the minute gets its own file
    EXPECT_NE(controller.heldName(), first);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LogControllerTest, ResumeCancelledLeavesStartUsable)
{
    state.gInit.LogActive = 1;
    view.defaultFile = false;
    controller.resumeAtStartup();
    EXPECT_FALSE(controller.running());
    EXPECT_EQ(messages.shown, QStringList{kLoggingStoppedMessage});
    EXPECT_EQ(state.gInit.LogActive, 0);
    controller.optName1Click();
    EXPECT_TRUE(view.runEnabled);
}

TEST_F(LogControllerTest, RowsWaitWhileTheFileCannotBeWrittenForADayThenTheOldestGo)
{
    view.caption = QStringLiteral("60");
    view.minutes = true;
    clock.set(0, 0, 0);
    controller.startLogging();
    const QString path = controller.heldName();
    ASSERT_TRUE(blockFile(path, true));
    run(4 * 3600'000LL, 3600'000);  // 01:00 to 04:00 wait, also the first: the log's file is not at its path
    EXPECT_EQ(messages.shown, QStringList{kLogWriteFailedMessage + "\n" + path + ": " + std::strerror(EISDIR)});
    const QString note = controller.unwrittenRowsNote();
    EXPECT_TRUE(note.startsWith(QStringLiteral("4 rows")) && note.endsWith(std::strerror(EISDIR) + QString(".")))
        << note.toStdString();
    ASSERT_TRUE(blockFile(path, false));
    run(1000);
    EXPECT_TRUE(controller.unwrittenRowsNote().isEmpty());
    EXPECT_EQ(stamps(path), (QByteArrayList{"1:0:0 AM", "2:0:0 AM", "3:0:0 AM", "4:0:0 AM"}));

    // 27 hours more: a day of rows waits, the three oldest are dropped.
    ASSERT_TRUE(blockFile(path, true));
    run(27 * 3600'000LL, 3600'000);
    EXPECT_EQ(controller.unwrittenRows(), 24);
    ASSERT_EQ(messages.shown.size(), 3);  // cannot be written (again); rows are being dropped
    EXPECT_TRUE(messages.shown[2].contains(QStringLiteral("the rows of the last 24 hours wait")));
    ASSERT_TRUE(blockFile(path, false));
    controller.stopLogging();
    EXPECT_TRUE(messages.shown.back().startsWith(QStringLiteral("3 rows were dropped")));
    const QByteArrayList written = stamps(path);
    EXPECT_EQ(written.size(), 4 + 24);
    EXPECT_EQ(written.mid(4, 2), (QByteArrayList{"8:0:0 AM", "9:0:0 AM"}));

    // The bytes bound, on the file alone.
    LogFile file;
    const QString small = QDir(dir.path()).filePath(QStringLiteral("small.csv"));
    ASSERT_TRUE(file.create(small, "date\r\nnames\r\n") && blockFile(small, true));
    file.setLimits(100, 10);
    for (const char* row : {"a,1\r\n", "b,2\r\n", "c,3\r\n"})
        EXPECT_FALSE(file.append(row));
    EXPECT_EQ(file.droppedRows(), 1);
    ASSERT_TRUE(blockFile(small, false) && file.flush());
    EXPECT_EQ(rows(small), (QByteArrayList{"b,2", "c,3"}));
}

TEST_F(LogControllerTest, AtThirtyOneRecordersTheBytesBoundHoldsLessThanADayAndTheNoticeSaysHowMuch)
{
    state.gChTotal = QStringLiteral("186");
    state.gPvValue.fill(1234.567f);
    state.gPvState.fill(rdxmon::PvState::Current);
    clock.set(0, 0, 0);
    controller.startLogging();
    ASSERT_TRUE(blockFile(controller.heldName(), true));
    const qint64 rowBytes
        = csvRowBytes(QTime(10, 10, 1), state.gChannel, state.gPvValue, state.gPvState, kChannelCount).size();
    const qint64 hours = kMaxUnwrittenBytes / rowBytes / 3600;  // 11 for these rows
    for (int s = 0; s < 24 * 3600 && controller.droppedRows() == 0; ++s) {
        clock.advanceMs(1000);
        controller.tick();
    }
    QApplication::processEvents();
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[1].contains(QStringLiteral("the rows of the last %1 hours ").arg(hours)))
        << messages.shown[1].toStdString();
    ASSERT_TRUE(blockFile(controller.heldName(), false));
}

TEST_F(LogControllerTest, ALogFileThatWentIsMadeAgainWithItsHeaderAndTheStatusAloneTellsIt)
{
    clock.set(10, 0, 0);
    controller.startLogging();
    const QString path = controller.heldName();
    const QByteArray header = readAll(path);
    run(1000);
    const auto replaceWith = [&](const QByteArray& bytes) {
        QFile file(path + ".new");
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
            && (file.close(), QFile::remove(path) && QFile::rename(path + ".new", path));
    };
    const struct {
        const char* what;
        std::function<bool()> done;
        QByteArray start;
        const char* event;
    } cases[] = {
        {"deleted", [&] { return QFile::remove(path); }, header, "made again"},
        {"moved away", [&] { return QFile::rename(path, path + ".old"); }, header, "made again"},
        {"emptied", [&] { return QFile(path).resize(0); }, header, "made again"},
        {"an empty file in its place", [&] { return replaceWith({}); }, header, "made again"},
        {"another file in its place", [&] { return replaceWith("kept\r\nas it is\r\n"); }, "kept\r\nas it is\r\n",
         "took its place"},
    };
    for (int second = 2; const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.done());
        run(1000);
        const QByteArray row = "\"10:0:" + QByteArray::number(second++) + " AM\",0.5,1.5,,3.5,4.5,5.5\r\n";
        EXPECT_EQ(readAll(path), c.start + row);
        EXPECT_EQ(controller.unwrittenRows(), 0);
        EXPECT_TRUE(controller.writeState().event.contains(QLatin1String(c.event)))
            << controller.writeState().event.toStdString();
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(LogControllerTest, AFullDiskCutsNoRowAndAStartItFailsLeavesNoFile)
{
    clock.set(10, 0, 0);
    {
        rdxtest::FileSizeLimit full(100);  // less than the header
        controller.startLogging();
    }
    EXPECT_FALSE(controller.running());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{});
    EXPECT_EQ(messages.shown,
              QStringList{kLogWriteFailedMessage + "\n" + controller.heldName() + ": " + std::strerror(EFBIG)});

    messages.shown.clear();
    controller.startLogging();
    const QString path = controller.heldName();
    {
        rdxtest::FileSizeLimit full(QFileInfo(path).size() + 50);  // a row and a half
        run(3000);
        EXPECT_EQ(stamps(path), QByteArrayList{"10:0:1 AM"});
        EXPECT_EQ(controller.writeState().waiting, 2);
        EXPECT_EQ(controller.writeState().reason, std::strerror(EFBIG));
    }
    run(1000);
    EXPECT_EQ(stamps(path), (QByteArrayList{"10:0:1 AM", "10:0:2 AM", "10:0:3 AM", "10:0:4 AM"}));
    EXPECT_EQ(controller.writeState().resumedAt, QTime(10, 0, 3, 200));  // the first tick after the limit
    EXPECT_EQ(messages.shown, QStringList{kLogWriteFailedMessage + "\n" + path + ": " + std::strerror(EFBIG)});
}

TEST_F(LogControllerTest, ControlsTakeRowsWhileTheFailureBoxIsOpen)
{
    QWidget window, timeGroup(&window), nameGroup(&window);
    QLabel lblLogitv(&window), lblMsg(&window);
    QRadioButton optTime1(&timeGroup), optTime2(&timeGroup), optName1(&nameGroup), optName2(&nameGroup);
    QPushButton cmdRUN(&window), cmdStop(&window);
    QTimer tmrLogitv;
    QAction mnuLogName(&window);
    LoggingControls controls({&lblLogitv,
                              &window,
                              &optTime1,
                              &optTime2,
                              &optName1,
                              &optName2,
                              &cmdRUN,
                              &cmdStop,
                              &lblMsg,
                              &tmrLogitv,
                              &mnuLogName,
                              {}},
                             state, services, host, {});
    // Cycle 0 "Sec" in the settings: the label shows the 1 that logging uses.
    InitRecord settings;
    settings.LogInterval = 0, settings.LogNameMode = settings.LogActive = 1;
    state.gInit = settings;
    controls.restoreAndResume(settings);
    EXPECT_EQ(lblLogitv.text(), QStringLiteral("1"));
    ASSERT_TRUE(tmrLogitv.isActive());

    // The file cannot be written. The box stays open for five seconds of a
    // clock that runs on by itself, 20 times quicker, like the timer.
    const QString path = controls.controller().heldName();
    ASSERT_TRUE(blockFile(path, true));
    tmrLogitv.setInterval(10);
    int waitingWhenClosed = 0;
    QString captionWhenClosed;
    messages.whileShown = [&] {
        const QDateTime until = clock.now().addSecs(5);
        QEventLoop box;
        QTimer time;
        QObject::connect(&time, &QTimer::timeout, [&] {
            if (clock.advanceMs(100); clock.now() >= until)
                box.quit();
        });
        time.start(5);
        QTimer::singleShot(3000, &box, &QEventLoop::quit);
        box.exec();
        waitingWhenClosed = controls.controller().unwrittenRows();
        captionWhenClosed = lblMsg.text();
    };
    for (QDeadlineTimer deadline(4000); messages.shown.isEmpty() && !deadline.hasExpired(); clock.advanceMs(100))
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(kLogWriteFailedMessage));
    EXPECT_GE(waitingWhenClosed, 4);
    EXPECT_EQ(captionWhenClosed, QStringLiteral("Rows wait to be written: %1").arg(waitingWhenClosed));

    // Writable again: every row taken reaches the file, and the caption says since when.
    ASSERT_TRUE(blockFile(path, false));
    for (QDeadlineTimer deadline(2000); controls.controller().unwrittenRows() > 0 && !deadline.hasExpired();)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_GE(rows(path).size(), waitingWhenClosed);
    EXPECT_TRUE(lblMsg.text().startsWith(kLoggingRunningMessage + QStringLiteral(" Resumed ")))
        << lblMsg.text().toStdString();
    InitRecord atExit;
    controls.storeForExit(atExit);
    EXPECT_EQ(atExit.LogActive, 1);
}

}  // namespace
}  // namespace rdxmon
