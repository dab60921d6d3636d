// Talking to systemd: READY=1 once the service polls, STATUS= lines, and the
// watchdog. The watchdog is fed only while polling makes progress (a poll
// finished, or the lost line is being reopened) since the last feed, so a
// poll that hangs stops the feeding and systemd restarts the service.
// Without systemd (no notify socket) every call does nothing.
#ifndef RDXLOGD_WATCHDOG_H
#define RDXLOGD_WATCHDOG_H

#include <QObject>
#include <QString>
#include <QTimer>

#include "polling/PollListener.h"

namespace rdxlogd {

class Watchdog : public QObject, public rdxmon::PollListener {
public:
    Watchdog();

    void ready(const QString& status);
    void status(const QString& status);
    void stopping();

    // PollListener: each finished poll is progress.
    void replyTaken(int, const QDateTime&) override { progress_ = true; }
    void pollMissed(int, const QDateTime&, rdxmon::MissReason) override { progress_ = true; }
    void lineLost(bool lost) override { progress_ = true, lost_ = lost; }

private:
    void feed();

    QTimer timer_;
    bool progress_ = false;
    bool lost_ = false;  // the lost line is being reopened
};

}  // namespace rdxlogd

#endif
