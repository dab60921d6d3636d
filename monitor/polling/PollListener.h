// Listeners of finished polls: the trend history, the line status, the
// broker publisher and the headless logger follow the values through this
// interface. Calls come on the thread that keeps the values (the window
// thread in the program), after gPvValue and gPvRead of the slot are set.
#ifndef RDXMON_POLLING_POLLLISTENER_H
#define RDXMON_POLLING_POLLLISTENER_H

#include <QDateTime>
#include <QtGlobal>

namespace rdxmon {

class PollListener {
public:
    virtual ~PollListener() = default;
    // A complete reply of slot was taken in at time: the slot's channels
    // hold its values (a skipped channel has gPvRead false).
    virtual void replyTaken(int slot, const QDateTime& time) { Q_UNUSED(slot) Q_UNUSED(time) }
    // The slot did not answer this poll (no reply, a link error, or the
    // line lost): its values are stale from now until its next reply.
    virtual void pollMissed(int slot, const QDateTime& time) { Q_UNUSED(slot) Q_UNUSED(time) }
    // A full cycle over every polled slot ended; elapsedMs is its length
    // (0 for the first cycle, whose start is not known).
    virtual void cycleEnded(qint64 elapsedMs) { Q_UNUSED(elapsedMs) }
    // The serial line was lost (the port is being reopened) or is back.
    virtual void lineLost(bool lost) { Q_UNUSED(lost) }
};

}  // namespace rdxmon

#endif
