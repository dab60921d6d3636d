#include "LatencyProbe.h"

#include <algorithm>

#include <QFile>

namespace rdxbench {

LatencyProbe::LatencyProbe(const QString& folder) : folder_(folder)
{
    latenessMs_.reserve(1 << 16);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);
    clock_.start();
    // Single shots, each due kIntervalMs after the previous one fired: the
    // lateness is how long the window thread kept the timer event waiting.
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        const qint64 nowUs = clock_.nsecsElapsed() / 1000;
        // The first firing comes once the first event loop runs (the windows
        // are built before): it only sets the grid.
        if (dueUs_ < 0) {
            dueUs_ = nowUs + kIntervalMs * 1000;
            timer_.start(kIntervalMs);
            return;
        }
        latenessMs_.push_back(std::max<qint64>(nowUs - dueUs_, 0) / 1000.0);
        if (latenessMs_.back() > worstMs_) {
            worstMs_ = latenessMs_.back();
            worstAtMs_ = nowUs / 1000;
        }
        dueUs_ = nowUs + kIntervalMs * 1000;
        timer_.start(kIntervalMs);
    });
    timer_.start(kIntervalMs);
}

LatencyProbe::~LatencyProbe()
{
    std::vector<double> sorted = latenessMs_;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double q) {
        return sorted.empty() ? 0.0 : sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(q * sorted.size()))];
    };
    QFile file(folder_ + QStringLiteral("/latency.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QStringLiteral("count %1 p50 %2 p99 %3 max %4 at %5\n")
                       .arg(sorted.size())
                       .arg(at(0.5), 0, 'f', 2)
                       .arg(at(0.99), 0, 'f', 2)
                       .arg(sorted.empty() ? 0.0 : sorted.back(), 0, 'f', 2)
                       .arg(worstAtMs_)
                       .toUtf8());
    }
}

}  // namespace rdxbench
