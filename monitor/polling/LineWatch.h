// Watching the serial line while polling: a line that is lost (the adapter
// unplugged, the device hung up) is reopened with the same settings every
// 2 seconds until it is back, and problems with the port are put into words
// for the operator.
#ifndef RDXMON_POLLING_LINEWATCH_H
#define RDXMON_POLLING_LINEWATCH_H

#include <functional>

#include <QString>
#include <QtGlobal>

#include "startup/Services.h"

namespace rdx {
class LinkError;
class _rdx5Comm3;
}  // namespace rdx

namespace rdxmon {

// What the main window shows while the line is lost.
inline const QString kLineLostMessage = QStringLiteral("Communication line lost - retrying");

// Raised while the line is being recovered. The handler of the link
// library's messages looks at it and stays silent meanwhile, so a reopen
// attempt that finds CTS low does not put up a box every 2 seconds. Raised
// and read on the thread that calls the link (the polling thread), as the
// library speaks from within the link call that failed.
class RecoveringFlag {
public:
    bool raised() const { return raised_; }
    void raise(bool on) { raised_ = on; }

private:
    bool raised_ = false;
};

// The monitor's handler of the link library's messages: passes a message on
// to show unless the flag is raised.
class LinkMessageGate {
public:
    using Show = std::function<void(const QString& text, const QString& title)>;
    LinkMessageGate(const RecoveringFlag& flag, Show show) : flag_(flag), show_(std::move(show)) {}

    void message(const char* text, const char* title) const;
    // In the shape LinkLoader::setNotifier takes; context is the gate.
    static void notify(const char* text, const char* title, void* context);

private:
    const RecoveringFlag& flag_;
    Show show_;
};

// The state of the line as the polling tick sees it.
class LineWatch {
public:
    // Milliseconds of a monotonic clock.
    using MsClock = std::function<qint64()>;
    static constexpr qint64 kRetryMs = 2000;

    // What the tick does next.
    enum class Step {
        Poll,  // the line is fine: exchange with the current slot
        Wait,  // the line is lost and the next reopen is not due yet
        Reopen,  // the line is lost and a reopen attempt is due
    };

    // Without a clock the system's monotonic clock is used.
    explicit LineWatch(MsClock clock = {});

    // The flag to raise while the line is lost (may be null).
    void setRecoveringFlag(RecoveringFlag* flag) { flag_ = flag; }

    // The errors that mean the device itself is gone: line lost while
    // reading or writing, port not open, no such device.
    static bool isDeviceError(int number);

    // A link call failed with this error number. A device error makes the
    // line lost; returns true only for the call that lost it.
    bool linkFailed(int number);

    bool lost() const { return lost_; }
    // The clock's present value.
    qint64 nowMs() const { return clock_(); }
    Step next() const;

    // Reopens the port with the settings the link object holds: PortOpen
    // (which closes the port first), then SendBufClear and RecvBufClear.
    // True when the line is back; otherwise the next attempt is due 2 s on.
    // Errors of the link are taken as "not back yet".
    bool tryReopen(rdx::_rdx5Comm3& link);

    // Number of reopen attempts since the line was last lost.
    int attempts() const { return attempts_; }

private:
    void setLost(bool lost);

    MsClock clock_;
    RecoveringFlag* flag_ = nullptr;
    bool lost_ = false;
    qint64 nextAttemptMs_ = 0;
    int attempts_ = 0;
};

// Why the port could not be opened, from the reason the link library gave as
// the cause of its error (or as the error itself).
struct PortProblem {
    // For the operator, in plain words: the cause, naming the device (or the
    // refused port or speed text) and the usual remedy.
    QString message;
    // A few words for the status line: "speed 1920 refused".
    QString brief;
};
// port and speed: the texts the link was given. Both parts are empty when
// the error carries no reason worth telling (CTS, an unknown cause, ...).
// The remedy is worded for the window program's operator or for the
// logging service's log.
PortProblem portProblem(const rdx::LinkError& error, const QString& port, const QString& speed,
                        Wording wording = Wording::WindowProgram);

}  // namespace rdxmon

#endif
