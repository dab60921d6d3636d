// Logging as the operator drives it: START and STOP, file naming, the
// options, resume, channel toggles, and the rows the tick writes, all with
// a fake clock, fake dialogs and fake message boxes.
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "logging/LogController.h"
#include "logging/LogSchedule.h"
#include "logging_support.h"
#include "names/ChannelNames.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

QList<QByteArray> csvLines(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.endsWith("\r\n"));
    bytes.chop(2);
    EXPECT_EQ(bytes.count('\r'), bytes.count('\n')) << "a line without CR LF";
    return bytes.replace("\r\n", "\n").split('\n');
}

// The seconds after midnight of a row's "h:m:s AM/PM" field.
int rowSeconds(const QByteArray& line)
{
    const QByteArray time = line.mid(1, line.indexOf('"', 1) - 1);
    const QList<QByteArray> parts = time.split(' ');
    const QList<QByteArray> hms = parts.at(0).split(':');
    const int hour = hms.at(0).toInt() % 12 + (parts.at(1) == "PM" ? 12 : 0);
    return (hour * 60 + hms.at(1).toInt()) * 60 + hms.at(2).toInt();
}

class LogControllerTest : public testing::Test {
protected:
    LogControllerTest()
    {
        state.programFolder = dir.path();
        state.gChTotal = QStringLiteral("6");
        state.gChannel = defaultChannelTable();
        for (int i = 0; i < 6; ++i)
            state.gPvValue[i] = static_cast<float>(i) + 0.5f;
    }
    QString file(const QString& name) const { return QDir(dir.path()).filePath(name); }
    // Ticks every 200 ms for the given time.
    void run(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += 200) {
            clock.advanceMs(200);
            controller.tick();
        }
    }

    QTemporaryDir dir;
    SharedState state;
    rdxtest::FakeClock clock;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    Services services{clock, messages, dialogs};
    test::FakeLoggingView view;
    rdxtest::FakeNamesHost host;
    int namesSaved = 0;
    LogController controller{state, services, view, host, [this] { return ++namesSaved > 0; }};
};

TEST_F(LogControllerTest, DefaultFileNamesAreUniqueWithinAMinute)
{
    clock.set(9, 5, 10);
    view.caption = QStringLiteral("30");
    controller.startLogging();
    EXPECT_TRUE(controller.running());
    EXPECT_TRUE(view.running);
    EXPECT_EQ(state.gInit.LogActive, 1);
    EXPECT_EQ(state.gNextLogTime, secondsOfDay(QTime(9, 5, 40)));
    EXPECT_EQ(controller.heldName(), file(QStringLiteral("240307_0905.csv")));
    EXPECT_EQ(csvLines(file(QStringLiteral("240307_0905.csv"))).size(), 2);

    run(30000);  // one row at 09:05:40
    controller.stopLogging();
    EXPECT_FALSE(view.running);
    EXPECT_TRUE(view.runEnabled);
    EXPECT_EQ(state.gInit.LogActive, 0);

    controller.startLogging();
    controller.stopLogging();
    controller.startLogging();
    EXPECT_EQ(controller.heldName(), file(QStringLiteral("240307_0905_3.csv")));
    EXPECT_TRUE(QFileInfo::exists(file(QStringLiteral("240307_0905_2.csv"))));
    const auto first = csvLines(file(QStringLiteral("240307_0905.csv")));
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(first[2], QByteArray("\"9:5:40 AM\",0.5,1.5,2.5,3.5,4.5,5.5"));
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(LogControllerTest, UserSelectedFileDialogAndHeldName)
{
    view.defaultFile = false;
    controller.startLogging();  // cancelled dialog
    EXPECT_FALSE(controller.running());
    EXPECT_EQ(messages.shown, QStringList{kLoggingStoppedMessage});
    EXPECT_TRUE(view.runEnabled);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].initialFolder, dir.path());
    EXPECT_EQ(dialogs.calls[0].filter, QStringLiteral("*.CSV(CSV files)|*.CSV"));
    EXPECT_EQ(dialogs.calls[0].defaultSuffix, QStringLiteral(".CSV"));
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.csv"), QStringLiteral("*.CSV")}).isEmpty());

    const QString chosen = file(QStringLiteral("plant.CSV"));
    QFile old(chosen);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old log\r\n");
    old.close();
    dialogs.answers = {chosen};
    controller.startLogging();
    EXPECT_TRUE(controller.running());
    EXPECT_EQ(messages.shown.back(), QStringLiteral(
        "There is a file of the same name. May I overwrite it? Or, input a file name again."));
    EXPECT_EQ(csvLines(chosen).size(), 2);

    // The chosen name is used again without a dialog.
    controller.stopLogging();
    controller.startLogging();
    EXPECT_TRUE(controller.running());
    EXPECT_EQ(dialogs.calls.size(), 2u);
    controller.stopLogging();

    // A name held from a default-named run is offered in the dialog.
    view.defaultFile = true;
    controller.startLogging();
    controller.stopLogging();
    const QString defaultName = controller.heldName();
    view.defaultFile = false;
    controller.startLogging();
    ASSERT_EQ(dialogs.calls.size(), 3u);
    EXPECT_EQ(dialogs.calls[2].proposedName, QFileInfo(defaultName).fileName());
    EXPECT_FALSE(controller.running());
    EXPECT_EQ(messages.shown.back(), kLoggingStoppedMessage);
    EXPECT_EQ(csvLines(defaultName).size(), 2);
}

TEST_F(LogControllerTest, ChooseLogFileFromTheMenu)
{
    view.defaultFile = false;
    controller.chooseLogFile();  // cancelled, nothing held
    EXPECT_FALSE(view.runEnabled);
    EXPECT_TRUE(messages.shown.empty());

    const QString chosen = file(QStringLiteral("x.CSV"));
    QFile existing(chosen);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    dialogs.answers = {chosen};
    controller.chooseLogFile();
    EXPECT_TRUE(view.runEnabled);
    EXPECT_EQ(messages.shown, QStringList{QStringLiteral(
        "There is a file of the same name. May I overwrite it?  Or, input a file name again.")});

    controller.startLogging();
    controller.chooseLogFile();  // ignored while logging runs
    EXPECT_EQ(dialogs.calls.size(), 2u);
}

TEST_F(LogControllerTest, ResumeAtStartup)
{
    controller.resumeAtStartup();
    EXPECT_TRUE(view.runEnabled);
    EXPECT_FALSE(controller.running());

    state.gInit.LogActive = 1;
    controller.resumeAtStartup();
    EXPECT_TRUE(controller.running());
    EXPECT_TRUE(dialogs.calls.empty());
    controller.stopLogging();

    // User mode: the dialog once, then logging starts with the chosen name.
    LogController userMode{state, services, view, host, {}};
    state.gInit.LogActive = 1;
    view.defaultFile = false;
    dialogs.answers = {file(QStringLiteral("resumed.csv"))};
    userMode.resumeAtStartup();
    EXPECT_TRUE(userMode.running());
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(csvLines(file(QStringLiteral("resumed.csv"))).size(), 2);

    // Cancelled: stopped, START enabled, LogActive stays 1.
    LogController cancelled{state, services, view, host, {}};
    view.runEnabled = false;
    cancelled.resumeAtStartup();
    EXPECT_FALSE(cancelled.running());
    EXPECT_TRUE(view.runEnabled);
    EXPECT_EQ(state.gInit.LogActive, 1);
    EXPECT_EQ(messages.shown.back(), kLoggingStoppedMessage);
}

TEST_F(LogControllerTest, StopWhileStoppedAndTheFileModeTable)
{
    state.gInit.LogActive = 1;
    controller.stopLogging();
    EXPECT_TRUE(view.runEnabled);
    EXPECT_EQ(state.gInit.LogActive, 0);
    EXPECT_TRUE(messages.shown.empty());

    struct Row {
        bool userSelect;
        bool nameHeld;
        int logActive;
        bool runEnabled;
        int logActiveAfter;
    };
    const Row table[] = {
        {true, true, 1, true, 0},   {true, true, 0, true, 0},    {true, false, 1, false, 1},
        {true, false, 0, true, 0},  {false, true, 1, false, 1},  {false, false, 0, true, 0},
    };
    for (const Row& row : table) {
        LogController c{state, services, view, host, {}};
        if (row.nameHeld) {
            dialogs.answers = {file(QStringLiteral("held.csv"))};
            c.chooseLogFile();
        }
        state.gInit.LogActive = static_cast<std::int16_t>(row.logActive);
        view.runEnabled = !row.runEnabled;
        row.userSelect ? c.optName1Click() : c.optName2Click();
        EXPECT_EQ(view.runEnabled, row.runEnabled) << row.userSelect << row.nameHeld << row.logActive;
        EXPECT_EQ(state.gInit.LogActive, row.logActiveAfter) << row.userSelect << row.nameHeld << row.logActive;
    }
}

TEST_F(LogControllerTest, ChannelTogglesWhileLogging)
{
    host.page = 2;
    controller.toggleChannel(5);
    EXPECT_EQ(state.gChannel[149].LogSel, 0);
    EXPECT_EQ(namesSaved, 1);
    EXPECT_EQ(host.logdispPages, std::vector<int>{2});
    controller.toggleChannel(42);  // no channel behind it
    EXPECT_EQ(namesSaved, 1);

    host.page = 0;
    clock.set(10, 0, 0);
    controller.startLogging();
    run(1000);
    controller.toggleChannel(1);
    controller.toggleChannel(5);
    run(1000);
    controller.toggleChannel(1);
    run(1000);
    const auto lines = csvLines(controller.heldName());
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], QByteArray("\"10:0:1 AM\",0.5,1.5,2.5,3.5,4.5,5.5"));
    EXPECT_EQ(lines[3], QByteArray("\"10:0:2 AM\",0.5,,2.5,3.5,4.5,"));
    EXPECT_EQ(lines[4], QByteArray("\"10:0:3 AM\",0.5,1.5,2.5,3.5,4.5,"));
    EXPECT_TRUE(lines[1].startsWith("\"CH Name\",\"Channel 01-1  ( 1)\",\"Channel 01-2  ( 2)\""));
}

TEST_F(LogControllerTest, MidnightWrapAndMissedSeconds)
{
    clock.set(23, 59, 30);
    view.caption = QStringLiteral("20");
    controller.startLogging();
    EXPECT_EQ(state.gNextLogTime, 86390);
    run(40000);  // to 00:00:10
    EXPECT_EQ(state.gNextLogTime, 30);

    // The window thread is busy from 00:00:29 to 00:00:33.
    clock.set(0, 0, 29);
    controller.tick();
    clock.set(0, 0, 33, 400);
    controller.tick();
    EXPECT_EQ(state.gNextLogTime, 50);
    run(17000);  // to 00:00:50.4
    const auto lines = csvLines(controller.heldName());
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[2].startsWith("\"11:59:50 PM\","));
    EXPECT_TRUE(lines[3].startsWith("\"12:0:10 AM\","));
    // The missed row is written at 00:00:33, stamped with its due second.
    EXPECT_TRUE(lines[4].startsWith("\"12:0:30 AM\","));
    EXPECT_TRUE(lines[5].startsWith("\"12:0:50 AM\","));

    // Held for more than a whole cycle: every missed due second gets its
    // row, and the grid goes on.
    clock.set(0, 1, 29);
    controller.tick();  // the row due at 00:01:10, late
    clock.set(0, 1, 55, 100);
    controller.tick();
    EXPECT_EQ(state.gNextLogTime, 130);
    const auto later = csvLines(controller.heldName());
    ASSERT_EQ(later.size(), 9);
    EXPECT_TRUE(later[6].startsWith("\"12:1:10 AM\","));
    EXPECT_TRUE(later[7].startsWith("\"12:1:30 AM\","));
    EXPECT_TRUE(later[8].startsWith("\"12:1:50 AM\","));
}

TEST_F(LogControllerTest, WholeDayOfOneSecondRows)
{
    clock.set(0, 0, 0);
    view.caption = QStringLiteral("1");
    controller.startLogging();
    run(86400LL * 1000);
    const auto lines = csvLines(controller.heldName());
    ASSERT_EQ(lines.size(), 2 + 86400);
    for (int k = 0; k < 86400; ++k)
        ASSERT_EQ(rowSeconds(lines[2 + k]), (k + 1) % 86400) << k;
    EXPECT_TRUE(lines.back().startsWith("\"12:0:0 AM\","));
}

// Another process holding the lock: a child that keeps our open file (and so
// its lock) after we close it; the file is free again when the child ends.
class LockHolder {
public:
    LockHolder()
    {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        pid_ = fork();
        if (pid_ == 0) {
            ::close(fds[1]);
            char c;
            while (::read(fds[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        ::close(fds[0]);
        release_ = fds[1];
    }
    ~LockHolder() { release(); }
    void release()
    {
        if (pid_ <= 0)
            return;
        ::close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

TEST_F(LogControllerTest, LockedFileKeepsEveryRowAndTellsOnce)
{
    clock.set(8, 0, 0);
    controller.startLogging();
    run(1000);  // row 08:00:01
    {
        LockHolder holder;
        run(1000);  // row 08:00:02 still goes out through the file we hold
        run(3000);  // rows 03, 04, 05 wait
        EXPECT_EQ(controller.unwrittenRows(), 3);
        EXPECT_EQ(messages.shown, QStringList{kLogWriteFailedMessage});
        holder.release();
        run(200);  // not due: the waiting rows go out
        EXPECT_EQ(controller.unwrittenRows(), 0);
    }
    run(800);  // row 08:00:06
    {
        // A second time: one box again, none on top of it while it is open.
        LockHolder holder;
        run(1000);  // 07 goes out, the file cannot be taken again
        messages.whileShown = [this] { run(2000); };
        run(1000);
        messages.whileShown = nullptr;
        EXPECT_EQ(messages.shown.size(), 2);
        EXPECT_EQ(controller.unwrittenRows(), 3);  // 08, 09, 10
        EXPECT_TRUE(controller.unwrittenRowsNote().contains(QStringLiteral("3 rows")));
        holder.release();
    }
    EXPECT_TRUE(controller.unwrittenRowsNote().isEmpty());
    controller.stopLogging();
    const auto lines = csvLines(controller.heldName());
    ASSERT_EQ(lines.size(), 12);
    for (int k = 1; k <= 10; ++k)
        EXPECT_EQ(rowSeconds(lines[1 + k]), 8 * 3600 + k) << k;
    EXPECT_EQ(messages.shown.size(), 2);
}

TEST_F(LogControllerTest, StartFailsOnALockedFileWithoutTouchingIt)
{
    const QString path = file(QStringLiteral("busy.csv"));
    QFile busy(path);
    ASSERT_TRUE(busy.open(QIODevice::WriteOnly));
    busy.write("someone else's data\r\n");
    busy.flush();
    ASSERT_EQ(flock(busy.handle(), LOCK_EX | LOCK_NB), 0);

    view.defaultFile = false;
    dialogs.answers = {path};
    controller.startLogging();
    EXPECT_FALSE(controller.running());
    EXPECT_FALSE(view.running);
    EXPECT_EQ(messages.shown.back(), kLogWriteFailedMessage);
    EXPECT_EQ(state.gInit.LogActive, 0);
    EXPECT_EQ(csvLines(path), QList<QByteArray>{"someone else's data"});

    busy.close();
    controller.startLogging();
    EXPECT_TRUE(controller.running());
}

TEST_F(LogControllerTest, StopTellsAboutRowsThatCouldNotBeWritten)
{
    clock.set(8, 0, 0);
    controller.startLogging();
    LockHolder holder;
    run(3000);
    ASSERT_EQ(controller.unwrittenRows(), 2);
    controller.stopLogging();
    EXPECT_TRUE(messages.shown.back().startsWith(QStringLiteral("2 rows could not be written")));
    EXPECT_EQ(controller.unwrittenRows(), 0);
}

}  // namespace
}  // namespace rdxmon
