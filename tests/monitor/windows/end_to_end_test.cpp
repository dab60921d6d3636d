// The monitor against the recorder simulator: the real program in a
// temporary program folder, observed from outside through the simulator's
// request log; and the main window in this process with the real link
// object loaded from the build's program folder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "startup/InitRecord.h"
#include "startup/LinkLoader.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

namespace rdxmon {
namespace {

const QString kProgramDir = QStringLiteral(RDX_PROGRAM_DIR);

// Polls the condition with events running, for at most timeoutMs.
template <typename Condition>
bool waitFor(Condition condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(20);
    }
    return true;
}

QByteArray settingsFor(int recorders, const QString& port) {
    InitRecord record;
    record.Port = port;
    record.RecCount = QString::number(recorders).rightJustified(2, QLatin1Char('0'));
    record.LogInterval = 45;
    return encodeInitRecord(record);
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The simulator, stopped when the test ends.
class Simulator {
public:
    bool start(const QStringList& arguments, const QString& readyFile) {
        process_.setProgram(kProgramDir + QStringLiteral("/rdx512-sim"));
        process_.setArguments(arguments + QStringList{QStringLiteral("--ready-file"), readyFile});
        process_.start();
        return process_.waitForStarted(5000) && waitFor([&] { return QFileInfo::exists(readyFile); }, 5000);
    }
    ~Simulator() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QProcess process_;
};

// "open NN" requests in the simulator's log, in order.
QStringList openedAddresses(const QString& logPath) {
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList addresses;
    static const QRegularExpression open(QStringLiteral("^\\d+ open (\\d+)"));
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QRegularExpressionMatch m = open.match(QString::fromLatin1(line));
        if (m.hasMatch()) addresses << m.captured(1);
    }
    return addresses;
}

TEST(EndToEnd, ProgramPollsTheLineAndEndsOnSigterm) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"RDXMON-1_V104", "libRDX500Comm3.so"}) {
        ASSERT_TRUE(QFile::copy(kProgramDir + QLatin1Char('/') + QLatin1String(name), folder.filePath(name))) << name;
    }
    const QString log = folder.filePath(QStringLiteral("sim.log"));
    Simulator sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--dir"), folder.path(), QStringLiteral("--addresses"), QStringLiteral("1-12"),
                           QStringLiteral("--silent"), QStringLiteral("5"), QStringLiteral("--log"), log},
                          folder.filePath(QStringLiteral("ready"))));
    const QString settings = folder.filePath(kInitFileName);
    ASSERT_TRUE(writeFile(settings, settingsFor(12, QStringLiteral("COM1"))));
    const QDateTime old = QDateTime::currentDateTime().addSecs(-3600);
    {
        QFile file(settings);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    }

    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    monitor.setProcessEnvironment(env);
    monitor.setWorkingDirectory(QDir::tempPath());  // the program finds its own folder
    monitor.start(folder.filePath(QStringLiteral("RDXMON-1_V104")), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));

    // The start-up pass asks all twelve recorders, then polling goes round
    // again; the silent recorder 05 holds up nobody.
    const bool cycled = waitFor(
        [&] {
            const QStringList opened = openedAddresses(log);
            const int firstTwelve = opened.indexOf(QStringLiteral("12"));
            return firstTwelve >= 0 && opened.indexOf(QStringLiteral("06"), firstTwelve) >= 0;
        },
        15000);
    const QStringList opened = openedAddresses(log);
    ASSERT_TRUE(cycled) << opened.join(QLatin1Char(' ')).toStdString();
    QStringList expected;
    for (int a = 1; a <= 12; ++a) expected << QString::number(a).rightJustified(2, QLatin1Char('0'));
    EXPECT_EQ(opened.mid(0, 12), expected);
    EXPECT_EQ(opened.value(12), QStringLiteral("01"));
    EXPECT_EQ(monitor.state(), QProcess::Running);

    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(5000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), settingsFor(12, QStringLiteral("COM1")));
    EXPECT_GT(QFileInfo(settings).lastModified(), old.addSecs(60));
}

TEST(EndToEnd, ProgramWithoutLinkLibraryTouchesNoSettings) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QFile::copy(kProgramDir + QStringLiteral("/RDXMON-1_V104"), folder.filePath("RDXMON-1_V104")));
    const QByteArray damaged("COM1");
    ASSERT_TRUE(writeFile(folder.filePath(kInitFileName), damaged));
    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    monitor.setProcessEnvironment(env);
    monitor.start(folder.filePath(QStringLiteral("RDXMON-1_V104")), {});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    // The message box waits for the operator; end it from outside once it
    // has had time to appear, and check that nothing was written.
    EXPECT_FALSE(monitor.waitForFinished(1500));
    QFile file(folder.filePath(kInitFileName));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), damaged);
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("RDX512INIT.SET.bak"))));
    monitor.kill();
    monitor.waitForFinished(3000);
}

TEST(EndToEnd, MainWindowWithTheRealLink) {
    // The link library resolves COMn next to the running executable: the
    // simulator puts its port link there under a name no other test uses.
    const QString here = QCoreApplication::applicationDirPath();
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    Simulator sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--dir"), here, QStringLiteral("--port-name"), QStringLiteral("COM7"),
                           QStringLiteral("--addresses"), QStringLiteral("1-24")},
                          work.filePath(QStringLiteral("ready"))));

    LinkLoader loader;
    QString error;
    ASSERT_TRUE(loader.load(kProgramDir, &error)) << error.toStdString();
    SharedState state;
    state.programFolder = work.path();
    state.gLink = loader.object();
    state.gInit.Port = QStringLiteral("COM7");
    state.gInit.RecCount = QStringLiteral("24");
    state.gChTotal = QStringLiteral("144");
    for (int s = 0; s < kSlotCount; ++s) state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
    state.gLink->TimeOut(1000);

    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
    MainDisp window(state, services);
    window.Communicate();
    ASSERT_EQ(state.gPortOpened, QStringLiteral("True")) << messages.shown.join(' ').toStdString();
    EXPECT_EQ(state.gStartDone, 1);
    EXPECT_TRUE(window.isVisible());
    window.DVsele1_Click();

    // Values come in on page 0 and move.
    const QString first = window.lblPv[0]->text();
    EXPECT_TRUE(waitFor([&] { return window.lblPv[0]->text() != first; }, 10000)) << first.toStdString();

    window.DVsele2_Click();
    EXPECT_EQ(window.cmdMLog[0]->text(), QStringLiteral("13-1"));
    EXPECT_EQ(window.cmdMLog[71]->text(), QStringLiteral("24-6"));
    const QString page1 = window.lblPv[0]->text();
    EXPECT_TRUE(waitFor([&] { return window.lblPv[0]->text() != page1; }, 10000));
    EXPECT_NE(state.gPvValue[72], 0.0f);

    window.commtimer.stop();
    window.hide();
    loader.release();
}

}  // namespace
}  // namespace rdxmon
