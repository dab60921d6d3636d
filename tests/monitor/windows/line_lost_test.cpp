// The real program keeps running while its serial port goes away and polls
// again once the port is back, seen from the simulator's request log.
#include <gtest/gtest.h>

#include <csignal>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "process_support.h"
#include "startup/InitRecord.h"

namespace rdxmon {
namespace {

using testing::LoggedRequest;

// When the simulator removes and brings back its port (milliseconds of its
// own clock, which its log uses).
constexpr qint64 kVanishMs = 4000;
constexpr qint64 kReturnMs = 8000;

// The first request logged at or after ms, or ms = -1 when none.
LoggedRequest firstFrom(const QList<LoggedRequest>& requests, qint64 ms)
{
    for (const LoggedRequest& r : requests) {
        if (r.ms >= ms)
            return r;
    }
    return {-1, {}};
}

TEST(LineLost, PollingStopsWhileThePortIsAwayAndResumesWhenItIsBack)
{
    QTemporaryDir program, line;
    ASSERT_TRUE(program.isValid() && line.isValid());
    ASSERT_TRUE(testing::copyProgram(program.path()));
    ASSERT_TRUE(testing::writeWholeFile(program.filePath(kInitFileName),
                                        testing::settingsRecordFor(4, QStringLiteral("COM1"))));
    // The program's COM1 names the adapter's device the way a plant sets it
    // up: a link to a device name that goes away while the adapter is out.
    ASSERT_TRUE(QFile::link(line.filePath(QStringLiteral("COM1")), program.filePath(QStringLiteral("COM1"))));

    const QString log = line.filePath(QStringLiteral("requests.log"));
    testing::SimulatorProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--dir"), line.path(), QStringLiteral("--addresses"), QStringLiteral("1-4"),
                           QStringLiteral("--vanish-after"), QString::number(kVanishMs / 1000),
                           QStringLiteral("--return-after"), QString::number((kReturnMs - kVanishMs) / 1000),
                           QStringLiteral("--log"), log},
                          line.filePath(QStringLiteral("ready"))));
    QProcess monitor;
    ASSERT_TRUE(testing::startProgram(monitor, program.path()));

    // Polling again within 5 s of the port's return.
    const bool resumed = testing::waitUntil(
        [&] { return firstFrom(testing::loggedRequests(log), kReturnMs).ms >= 0; }, int(kReturnMs) + 7000);
    const QList<LoggedRequest> requests = testing::loggedRequests(log);
    ASSERT_TRUE(resumed) << requests.size() << " requests logged";

    int before = 0;
    for (const LoggedRequest& r : requests) {
        if (r.ms < kVanishMs && r.request.startsWith(QStringLiteral("data")))
            ++before;
    }
    EXPECT_GE(before, 4) << "the program polled before the port went away";
    const LoggedRequest back = firstFrom(requests, kReturnMs);
    EXPECT_LE(back.ms, kReturnMs + 5000) << back.request.toStdString();
    RecordProperty("polling_back_after_ms", static_cast<int>(back.ms - kReturnMs));

    // Every recorder is polled again, and the program is still up.
    EXPECT_TRUE(testing::waitUntil(
        [&] {
            QStringList opened;
            for (const LoggedRequest& r : testing::loggedRequests(log)) {
                if (r.ms >= kReturnMs && r.request.startsWith(QStringLiteral("open ")))
                    opened << r.request.mid(5);
            }
            return opened.contains("01") && opened.contains("02") && opened.contains("03") && opened.contains("04");
        },
        5000));
    EXPECT_EQ(monitor.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(monitor.processId()), SIGTERM);
    ASSERT_TRUE(monitor.waitForFinished(5000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0);
}

}  // namespace
}  // namespace rdxmon
