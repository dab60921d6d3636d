// bench-trend: the trend history's memory after 8 hours and the trend
// window's redraw cost.
//
//   bench-trend [--recorders N] [--reply-ms MS] [--plotted C] [--redraws R]
//
// The history is fed directly (no line, no waiting): N recorders (default
// 31), each answering every MS milliseconds (default 1000, several times
// faster than a 31-recorder line allows), for 8 hours of made-up time; the
// resident memory is read before and after. Then the trend window (offscreen
// platform, 1100 x 620) plots C channels (default 72) and is redrawn R times
// (default 30) for each range, one second of replies fed between redraws as
// the running program would; each redraw's CPU time (window thread) covers
// the history read, the reduction, the chart update and the paint. At one
// redraw a second, the median in ms divided by 10 is the percentage of a core.
// Last, the start's read-back: a log of N recorders with a row every second
// for 9 hours is written into a fresh folder and the time to read its last 8
// hours back into a new history is measured.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "BenchOptions.h"
#include "ToolOptions.h"
#include "logging/CsvFormat.h"
#include "trend/TrendReadBack.h"
#include "trend/TrendWindow.h"

namespace {

// The benchmark saves nothing and asks nothing.
struct NoMessages : rdxmon::MessageBoxes {
    void information(const QString&) override {}
    bool question(const QString&) override { return false; }
};
struct NoDialogs : rdxmon::FileDialogs {
    QString saveFileName(const QString&, const QString&, const QString&, const QString&) override { return {}; }
};

using namespace rdxmon;

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

class BenchClock : public Clock {
public:
    QDateTime now() override { return QDateTime::fromMSecsSinceEpoch(ms); }
    qint64 ms = 0;
};

class PageZero : public NamesHost {
public:
    int mPage() const override { return 0; }
    void NameSet(int) override {}
    void Logdisp(int) override {}
};

void feed(TrendHistory& history, int recorders, qint64 from, qint64 to, qint64 replyMs)
{
    for (qint64 t = from; t < to; t += replyMs) {
        for (int slot = 0; slot < recorders; ++slot) {
            std::array<float, kChannelsPerSlot> v{};
            for (int c = 0; c < kChannelsPerSlot; ++c)
                v[c] = static_cast<float>(50 + 40 * std::sin((t / 1000.0 + slot * 7 + c) / 300.0));
            // Now and then a recorder misses a poll.
            if ((t / replyMs + slot) % 997 == 0) {
                history.addMiss(slot, t + slot);
            } else {
                history.addReply(slot, t + slot, v, 0x3f);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (rdxtools::answeredHelpOrVersion(
            argc, argv, "bench-trend",
            "usage: bench-trend [--recorders N] [--reply-ms MS] [--plotted N] [--redraws N]\nThe trend history's "
            "memory after 8 hours of every channel, and the redraw cost of the\nplotted channels for each range.\n"))
        return 0;
    int recorders = 31, plotted = 72, redraws = 30;
    qint64 replyMs = 1000;
    try {
        rdxbench::forEachOption(argc, argv, [&](const std::string& option, const std::string& value) {
            if (option == "--recorders")
                recorders = std::clamp(std::stoi(value), 1, kSlotCount);
            else if (option == "--reply-ms")
                replyMs = std::max(50, std::stoi(value));
            else if (option == "--plotted")
                plotted = std::clamp(std::stoi(value), 1, kChannelCount);
            else if (option == "--redraws")
                redraws = std::max(1, std::stoi(value));
            else
                return false;
            return true;
        });
    } catch (const std::exception& e) {
        std::cerr << "bench-trend: " << e.what() << "\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const qint64 start = QDateTime(QDate(2026, 1, 5), QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 eightHours = 8LL * 3600 * 1000;
    const long before = residentKb();
    auto history = std::make_unique<TrendHistory>();
    feed(*history, recorders, start, start + eightHours, replyMs);
    const long after = residentKb();
    std::cout << "history: " << recorders << " recorders, a reply every " << replyMs << " ms, 8 h fed\n"
              << "  held by the history: " << history->memoryBytes() / 1024.0 / 1024.0 << " MB\n"
              << "  resident memory grew by: " << (after - before) / 1024.0 << " MB (" << before / 1024.0 << " -> "
              << after / 1024.0 << " MB)\n";

    SharedState state;
    state.gRecTotal = recorders;
    state.programFolder = QStringLiteral("/nonexistent");
    for (int k = 0; k < kChannelCount; ++k)
        state.gChannel[k].Name = QStringLiteral("Channel %1").arg(k);
    BenchClock clock;
    clock.ms = start + eightHours;
    PageZero host;
    NoMessages messages;
    NoDialogs dialogs;
    Services services{clock, messages, dialogs};
    TrendWindow window(state, *history, host, services);
    window.resize(1100, 620);
    window.show();
    std::vector<int> channels;
    for (int k = 0; k < std::min(plotted, recorders * kChannelsPerSlot); ++k)
        channels.push_back(k);
    window.setPicked(channels);
    QCoreApplication::processEvents();

    const char* names[3] = {"10 min", "1 h", "8 h"};
    for (int r = 0; r < 3; ++r) {
        window.showRange(TrendWindow::kRanges[r]);
        QCoreApplication::processEvents();
        std::vector<double> ms;
        for (int i = 0; i < redraws; ++i) {
            feed(*history, recorders, clock.ms, clock.ms + 1000, replyMs);
            clock.ms += 1000;
            const double t0 = threadCpuMs();
            window.refresh();
            window.plot->viewport()->repaint();
            QCoreApplication::processEvents();
            ms.push_back(threadCpuMs() - t0);
        }
        std::sort(ms.begin(), ms.end());
        const double median = ms[ms.size() / 2];
        std::cout << "redraw, " << names[r] << ", " << channels.size() << " channels: median " << median << " ms CPU ("
                  << median / 10.0 << " % of a core at once a second), longest " << ms.back() << " ms\n";
    }
    std::cout << "resident memory at the end: " << residentKb() / 1024.0 << " MB\n";

    // Read-back at start: 9 hours of a 1 s log, the last 8 of them read.
    QTemporaryDir folder;
    const QDateTime logEnd = QDateTime::currentDateTime();
    {
        QFile log(folder.filePath(QStringLiteral("bench.csv")));
        if (!log.open(QIODevice::WriteOnly)) {
            std::cerr << "bench-trend: cannot write " << log.fileName().toStdString() << "\n";
            return 1;
        }
        log.write(csvHeaderBytes(logEnd.date(), state.gChannel, recorders * kChannelsPerSlot));
        std::array<float, kChannelCount> values{};
        std::array<PvState, kChannelCount> states{};
        states.fill(PvState::Current);
        for (QDateTime t = logEnd.addSecs(-9 * 3600); t <= logEnd; t = t.addSecs(1)) {
            for (int k = 0; k < kChannelCount; ++k)
                values[k] = static_cast<float>(50 + 40 * std::sin((t.toSecsSinceEpoch() + k * 7) / 300.0));
            log.write(csvRowBytes(t.time(), state.gChannel, values, states, recorders * kChannelsPerSlot));
        }
        log.close();
        if (!log.open(QIODevice::ReadWrite) || !log.setFileTime(logEnd, QFileDevice::FileModificationTime)) {
            std::cerr << "bench-trend: cannot date " << log.fileName().toStdString() << "\n";
            return 1;
        }
        std::cout << "read-back: a log of " << recorders << " recorders, a row a second for 9 h ("
                  << log.size() / 1024.0 / 1024.0 << " MB)\n";
    }
    auto fresh = std::make_unique<TrendHistory>();
    QElapsedTimer readTimer;
    readTimer.start();
    const double cpu0 = threadCpuMs();
    const ReadBack got = readBackLogs(folder.path(), logEnd, recorders, *fresh);
    std::cout << "  " << got.rows << " rows (" << (logEnd.toMSecsSinceEpoch() - got.fromMs) / 3600000.0
              << " h) read back in " << readTimer.elapsed() << " ms (" << threadCpuMs() - cpu0 << " ms CPU)\n";
    return 0;
}
