// The polling cycle: the connecting step's link part, the polling timer's
// tick and the value display step. The window owns the timer and the labels
// and reaches this class through PvView.
#ifndef RDXMON_POLLING_POLLCYCLE_H
#define RDXMON_POLLING_POLLCYCLE_H

#include <QString>

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
};

// The recorder count as the polling uses it: gInit.RecCount read leniently,
// clamped to 1..31.
int recorderCount(const InitRecord& init);

class PollCycle {
public:
    PollCycle(SharedState& state, PvView& view);

    // One commtimer tick: one exchange step with the slot pollIndex().
    // Errors raised by the link are absorbed: the tick goes on and the next
    // tick moves to the next slot, so a vanished device never stops the
    // program nor holds the cycle on one slot.
    void tick();

    // Turns the stored lines of slot d into gPvValue and, when d is on the
    // page shown, into the value labels.
    void Pvdispset(int d);

    // The slot whose exchange is under way or next.
    int pollIndex() const { return mPollIndex; }
    // Starts again at slot 0.
    void reset() { mPollIndex = 0; }

private:
    SharedState& state_;
    PvView& view_;
    int mPollIndex = 0;
};

struct ConnectResult {
    bool opened = false;  // gPortOpened reads "True"
};

// The link part of Communicate: port settings from gInit, PortOpen (error
// 30019 counts as not opened), both buffers cleared, and when the port opened
// the close command to every configured slot. Any other LinkError propagates
// (the caller ends Communicate there). The window does the progress bar, the
// timer and the wait.
ConnectResult connectLink(SharedState& state);

}  // namespace rdxmon

#endif
