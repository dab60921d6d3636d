// rdxmon-probe: the monitor program with a latency probe on its window
// thread, for bench-latency.
#include "LatencyProbe.h"
#include "Monitor.h"

int main(int argc, char* argv[])
{
    return rdxmon::runMonitor(argc, argv,
                              [](const QString& folder) { return std::make_shared<rdxbench::LatencyProbe>(folder); });
}
