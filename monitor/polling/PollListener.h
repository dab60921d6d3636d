// Listeners of finished polls: the trend history, the line status, the
// broker publisher and the headless logger follow the values through this
// interface. Calls come on the thread that keeps the values (the window
// thread in the program), after gPvValue and gPvState of the slot are set.
#ifndef RDXMON_POLLING_POLLLISTENER_H
#define RDXMON_POLLING_POLLLISTENER_H

#include <QDateTime>
#include <QtGlobal>

namespace rdxmon {

// Why a poll gave the slot no values.
enum class MissReason {
    NoReply,  // nothing within the time-out, or a link error
    Garbled,  // a reply came but could not be told apart from other traffic: dropped
    LineLost,  // the serial line went away
    Incomplete,  // characters came, but no whole reply within the time-out (too slow, or cut short)
};

class PollListener {
public:
    virtual ~PollListener() = default;
    // A complete reply of slot was taken in at time: the slot's channels
    // hold its values (gPvState says which of them are current).
    virtual void replyTaken(int slot, const QDateTime& time)
    {
        Q_UNUSED(slot)
        Q_UNUSED(time)
    }
    // The slot's poll gave no values (why): its channels are no longer
    // current, from now until its next reply.
    virtual void pollMissed(int slot, const QDateTime& time, MissReason why)
    {
        Q_UNUSED(slot)
        Q_UNUSED(time)
        Q_UNUSED(why)
    }
    // A full cycle over every polled slot ended; elapsedMs is its length
    // (0 for the first cycle, whose start is not known).
    virtual void cycleEnded(qint64 elapsedMs) { Q_UNUSED(elapsedMs) }
    // The serial line was lost (the port is being reopened) or is back.
    virtual void lineLost(bool lost) { Q_UNUSED(lost) }
};

}  // namespace rdxmon

#endif
