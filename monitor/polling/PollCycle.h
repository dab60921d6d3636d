// The polling cycle: the connecting step's link part, the polling timer's
// tick and the value display step. The window owns the timer and the labels
// and reaches this class through PvView.
#ifndef RDXMON_POLLING_POLLCYCLE_H
#define RDXMON_POLLING_POLLCYCLE_H

#include <array>

#include <QDateTime>
#include <QString>

#include "polling/LineWatch.h"
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
    // A recorder has not answered for several polls (stale) or answers again.
    // lastReply is the time of its last complete reply (invalid: none yet).
    virtual void setSlotStale(int slot, bool stale, const QDateTime& lastReply);
    // The serial line was lost (the port is being reopened) or is back.
    virtual void setLineLost(bool lost);
};

// The tooltip of a stale recorder's value labels: "No reply since <time>"
// or "No reply yet".
QString staleToolTip(const QDateTime& lastReply);

// The recorder count as the polling uses it: gInit.RecCount read leniently,
// clamped to 1..31.
int recorderCount(const InitRecord& init);

class PollCycle {
public:
    // Polls that may go by without an answer before a slot is stale.
    static constexpr int kStaleAfterMisses = 3;

    // clock gives the time of the replies (the system's time when null);
    // msClock drives the reopen attempts of a lost line (see LineWatch).
    PollCycle(SharedState& state, PvView& view, Clock* clock = nullptr, LineWatch::MsClock msClock = {});

    // One commtimer tick: one exchange step with the slot pollIndex(), or,
    // while the line is lost, a reopen attempt when one is due.
    // Errors raised by the link are absorbed. A device error (the line lost)
    // stops the exchanges until the port is back and keeps the slot; any
    // other error counts as no answer and the cycle moves on.
    void tick();

    // Turns the stored lines of slot d into gPvValue and, when d is on the
    // page shown, into the value labels.
    void Pvdispset(int d);

    // The slot whose exchange is under way or next.
    int pollIndex() const { return mPollIndex; }
    // Starts again at slot 0.
    void reset() { mPollIndex = 0; }

    // Whether the slot counts as not answering, and when it last answered
    // (invalid when it never has).
    bool slotStale(int slot) const;
    QDateTime lastReply(int slot) const;

    LineWatch& lineWatch() { return line_; }

private:
    void noteReply(int d);
    void noteMiss(int d);
    QDateTime now() const;

    SharedState& state_;
    PvView& view_;
    Clock* clock_;
    LineWatch line_;
    int mPollIndex = 0;
    bool exchangeUnderWay_ = false;  // RWcomm returned "under way" last tick
    // Ticks spent waiting for a quiet line before the next request (0: the
    // next tick may send it); see tick().
    int settleTicks_ = 0;
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

// The link part of Communicate: port settings from gInit, PortOpen (error
// 30019 counts as not opened, its reason goes into problem), both buffers
// cleared, and when the port opened the close command to every configured
// slot. Any other LinkError propagates
// (the caller ends Communicate there). The window does the progress bar, the
// timer and the wait.
ConnectResult connectLink(SharedState& state);

}  // namespace rdxmon

#endif
