// SIGTERM, SIGINT and SIGHUP (logout, shutdown, kill, Ctrl-C) turned into a
// call on the event loop of the thread that installed them, where it is safe
// to store settings and close files.
#ifndef RDXMON_STARTUP_TERMINATIONSIGNALS_H
#define RDXMON_STARTUP_TERMINATIONSIGNALS_H

#include <functional>
#include <memory>

class QSocketNotifier;

namespace rdxmon {

class TerminationSignals {
public:
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Installs the handlers (once per process); onSignal runs for every
    // signal received. False when they could not be installed.
    bool install(std::function<void()> onSignal);
    // The signal that came last (SIGTERM, ...), 0 before any.
    int lastSignal() const { return last_; }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> onSignal_;
    int last_ = 0;
};

}  // namespace rdxmon

#endif
