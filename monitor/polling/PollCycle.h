// The polling cycle's values: what each finished poll does to the values,
// the labels and the stale marks (the value display step). The window owns
// the labels and reaches this class through PvView.
#ifndef RDXMON_POLLING_POLLCYCLE_H
#define RDXMON_POLLING_POLLCYCLE_H

#include <array>
#include <vector>

#include <QDateTime>
#include <QString>

#include "polling/LineWatch.h"
#include "polling/PollExchange.h"
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

// The recorder count for a settings record: RecCount read leniently,
// clamped to 1..31. Start-up fixes gRecTotal with it.
int recorderCount(const InitRecord& init);

// The side of polling that keeps the values: it takes each finished slot
// of the link side (PollExchange) into gRecvText, gPvLine, gPvValue and
// gPvState (the only place that changes it), marks recorders stale, follows the start-up pass and tells the
// view and the listeners. It never touches the link.
class PollCycle {
public:
    // Polls that may go by without an answer before a slot is stale.
    static constexpr int kStaleAfterMisses = 1;

    // clock gives the time of the replies (the system's time when null).
    PollCycle(SharedState& state, PvView& view, Clock* clock = nullptr);

    // Takes one outcome of the link side: a reply's lines into gPvLine, the
    // values (Pvdispset), stale marks, the start-up pass's progress, the
    // lost line, the listeners. A miss, a dropped reply and a lost line make
    // the slot's current values stale (for a lost line: every slot's).
    void take(const SlotOutcome& outcome);

    // Turns the stored lines of slot d into gPvValue and gPvState and, when
    // d is on the page shown, into the value labels. A channel without a
    // reading (skipped, or no number in its field) shows an empty label.
    void Pvdispset(int d);

    // Whether the slot counts as not answering, and when it last answered
    // (invalid when it never has).
    bool slotStale(int slot) const;
    QDateTime lastReply(int slot) const;
    // Why the slot's last poll without values gave none (NoReply before any).
    MissReason lastMiss(int slot) const;
    // When channel k (0..185) last had a reading (invalid: never since start).
    QDateTime lastReading(int k) const;
    // No recorder has answered since every polled slot was asked once.
    bool noAnswer() const { return noAnswer_; }

    // Listeners told of every finished poll (not owned; remove before
    // deleting one).
    void addListener(PollListener* listener);
    void removeListener(PollListener* listener);

private:
    void noteReply(int d);
    void noteMiss(int d);
    template <typename F> void tell(F&& call)
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
    qint64 cycleEndMs_ = -1;  // the link side's clock when the last cycle ended
    int silentPolls_ = 0;  // polls in a row without an answer
    bool noAnswer_ = false;
    std::array<int, kSlotCount> misses_{};
    std::array<bool, kSlotCount> stale_{};
    std::array<QDateTime, kSlotCount> lastReply_{};
    std::array<MissReason, kSlotCount> lastMiss_{};
    std::array<QDateTime, kChannelCount> lastReading_{};
};

}  // namespace rdxmon

#endif
