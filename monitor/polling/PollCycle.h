// The polling cycle: the connecting step's link part, the polling timer's
// tick and the value display step. The window owns the timer and the labels
// and reaches this class through PvView.
#ifndef RDXMON_POLLING_POLLCYCLE_H
#define RDXMON_POLLING_POLLCYCLE_H

#include <array>
#include <vector>

#include <QDateTime>
#include <QString>

#include "polling/LineWatch.h"
#include "polling/PollListener.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

namespace rdxmon {

// What the polling cycle needs of the main window.
class PvView {
public:
    virtual ~PvView();
    // The page shown: 0 = slots 0..11, 1 = 12..23, 2 = 24..30.
    virtual int shownPage() const = 0;
    // Sets the caption of value label lblPv(labelIndex), 0..71.
    virtual void setPvCaption(int labelIndex, const QString& text) = 0;
    // Sets the splash window's progress bar value (the slot just handled).
    virtual void setProgress(int value) = 0;
    // A recorder missed a poll (stale) or answers again.
    // lastReply is the time of its last complete reply (invalid: none yet).
    virtual void setSlotStale(int slot, bool stale, const QDateTime& lastReply);
    // The serial line was lost (the port is being reopened) or is back.
    virtual void setLineLost(bool lost);
    // No recorder has answered for a whole cycle (true), or one answers
    // again (false).
    virtual void setNoAnswer(bool none);
};

// The tooltip of a stale recorder's value labels: "No reply since <time>"
// or "No reply yet".
QString staleToolTip(const QDateTime& lastReply);

// The recorder count for a settings record: RecCount read leniently,
// clamped to 1..31. Start-up fixes gRecTotal with it.
int recorderCount(const InitRecord& init);

// Milliseconds a whole reply of channels + 2 lines of 40 characters takes on
// the line at baud bit/s (10 bits a character: start, 7 data, parity, stop).
qint64 replyLineMs(int baud, int channels);
// The link's reply time-out for a line speed: one and a half times the
// reply's line time, never below 1000 ms (also for an unreadable speed).
int replyTimeOutMs(int baud, int channels = 6);

class PollCycle {
public:
    // Polls that may go by without an answer before a slot is stale.
    static constexpr int kStaleAfterMisses = 1;
    // A dirty line (see tick) must be quiet at least this long, and at least
    // as long as a whole reply takes at the line speed.
    static constexpr qint64 kDirtySettleMs = 500;

    // clock gives the time of the replies (the system's time when null);
    // msClock measures quiet lines and drives the reopen attempts of a lost
    // line (see LineWatch).
    PollCycle(SharedState& state, PvView& view, Clock* clock = nullptr, LineWatch::MsClock msClock = {});

    // One commtimer tick: one exchange step with the slot pollIndex(), or,
    // while the line is lost, a reopen attempt when one is due.
    // Between two exchanges the line must be quiet: after an ordinary one
    // for a tick, after a dirty one (a time-out in which characters had
    // arrived, or an error) for the long settle; what arrives meanwhile is
    // cleared. Errors raised by the link are absorbed. A device error (the
    // line lost) stops the exchanges until the port is back and keeps the
    // slot; any other error counts as no answer and the cycle moves on.
    void tick();

    // Turns the stored lines of slot d into gPvValue and gPvRead and, when d
    // is on the page shown, into the value labels. A channel without a
    // reading (no reply yet, or skipped) shows an empty label.
    void Pvdispset(int d);

    // The slot whose exchange is under way or next.
    int pollIndex() const { return mPollIndex; }
    // Starts again at slot 0.
    void reset() { mPollIndex = 0; }

    // Whether the slot counts as not answering, and when it last answered
    // (invalid when it never has).
    bool slotStale(int slot) const;
    QDateTime lastReply(int slot) const;
    // No recorder has answered since every polled slot was asked once.
    bool noAnswer() const { return noAnswer_; }

    LineWatch& lineWatch() { return line_; }

    // Listeners told of every finished poll (not owned; remove before
    // deleting one).
    void addListener(PollListener* listener);
    void removeListener(PollListener* listener);

private:
    int baud() const;  // the line speed the link was given
    bool lineSettled();
    void endExchange(bool dirty, qint64 notBeforeMs);
    void noteReply(int d);
    void noteMiss(int d);
    template <typename F>
    void tell(F&& call)
    {
        for (PollListener* l : listeners_)
            call(*l);
    }
    void notePolled(bool answered);
    QDateTime now() const;

    SharedState& state_;
    PvView& view_;
    Clock* clock_;
    std::vector<PollListener*> listeners_;
    qint64 cycleEndMs_ = -1;  // line_.nowMs() when the last cycle ended
    LineWatch line_;
    int mPollIndex = 0;
    bool exchangeUnderWay_ = false;  // RWcomm returned "under way" last tick
    // Ticks spent waiting for a quiet line before the next request (0: the
    // next tick may send it); see tick().
    int settleTicks_ = 0;
    // The long settle of a dirty line: when it began, when something last
    // arrived, how long the line must stay quiet, and the earliest time the
    // next request may go out.
    bool dirty_ = false;
    qint64 dirtySinceMs_ = 0, lastNoiseMs_ = 0, settleMs_ = 0, notBeforeMs_ = 0;
    int silentPolls_ = 0;  // polls in a row without an answer
    bool noAnswer_ = false;
    std::array<int, kSlotCount> misses_{};
    std::array<bool, kSlotCount> stale_{};
    std::array<QDateTime, kSlotCount> lastReply_{};
};

struct ConnectResult {
    bool opened = false;  // gPortOpened reads "True"
    // When PortOpen failed with a reason worth telling: the message for the
    // operator (portProblemMessage), else empty.
    QString problem;
};

// The link part of Communicate: port settings and the reply time-out for the
// speed from gInit, PortOpen (error 30019 counts as not opened, its reason
// goes into problem), both buffers cleared, and when the port opened the
// close command to each of the gRecTotal slots. Any other LinkError propagates
// (the caller ends Communicate there). The window does the progress bar, the
// timer and the wait.
ConnectResult connectLink(SharedState& state);

}  // namespace rdxmon

#endif
