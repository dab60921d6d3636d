// A probe of the window thread's event latency, built into a benchmark build
// of the monitor program (rdxmon-probe): a precise timer every 5 ms on the
// window thread; each firing's lateness against its due time is kept, and
// when the program ends the figures go to "latency.txt" in the program's
// folder: "count N p50 X p99 Y max Z at T" in milliseconds (T: when the
// longest came, since the probe began).
#ifndef RDXBENCH_LATENCYPROBE_H
#define RDXBENCH_LATENCYPROBE_H

#include <vector>

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

namespace rdxbench {

class LatencyProbe {
public:
    static constexpr int kIntervalMs = 5;
    explicit LatencyProbe(const QString& folder);
    // Writes the figures.
    ~LatencyProbe();

private:
    QString folder_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 dueUs_ = -1;  // -1: not fired yet
    std::vector<double> latenessMs_;
    double worstMs_ = 0;
    qint64 worstAtMs_ = 0;  // since the probe began
};

}  // namespace rdxbench

#endif
