#include "startup/TerminationSignals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace rdxmon {

namespace {

// The handler only writes a byte; the notifier reads it on the event loop.
int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
    static_cast<void>(written);
}

}  // namespace

TerminationSignals::TerminationSignals() = default;
TerminationSignals::~TerminationSignals() = default;

bool TerminationSignals::install(std::function<void()> onSignal)
{
    if (gSignalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    onSignal_ = std::move(onSignal);
    notifier_ = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        char byte = 0;
        if (::read(gSignalPipe[0], &byte, 1) == 1)
            last_ = byte;
        if (onSignal_)
            onSignal_();
    });
    return true;
}

}  // namespace rdxmon
