// The link side of polling: the exchange steps with the recorders, the quiet
// line between exchanges and the recovery of a lost line. It touches the
// link object and nothing of the shared state: what it needs is copied in
// (LinkSettings), and each finished slot comes out as a SlotOutcome for the
// side that keeps the values (PollCycle::take). The polling thread runs it
// (PollWorker); tests may step it directly.
#ifndef RDXMON_POLLING_POLLEXCHANGE_H
#define RDXMON_POLLING_POLLEXCHANGE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <QString>

#include "polling/LineWatch.h"
#include "startup/SharedState.h"

namespace rdxmon {

// Milliseconds a whole reply of channels + 2 lines of 40 characters takes on
// the line at baud bit/s (10 bits a character: start, 7 data, parity, stop).
qint64 replyLineMs(int baud, int channels);
// The link's reply time-out for a line speed: one and a half times the
// reply's line time, never below 1000 ms (also for an unreadable speed).
int replyTimeOutMs(int baud, int channels = 6);

// What the link side needs of the settings, copied from the shared state.
struct LinkSettings {
    QString port;  // gInit.Port
    QString speed;  // gInit.Speed
    std::array<std::int16_t, kSlotCount> addresses{};  // gDevAddr
    int count = 1;  // gRecTotal, 1..31
    Wording wording = Wording::WindowProgram;  // for the port's problem
};
LinkSettings linkSettings(const SharedState& state);

struct ConnectResult {
    bool opened = false;  // the port is open: gPortOpened "True"
    // When PortOpen failed with a reason worth telling: the message for the
    // operator and its few words for the status line (portProblem), else
    // empty.
    QString problem;
    QString cause;
    // Another error of the serial control before the port had opened: its
    // description (the recorders are not polled), else empty.
    QString failure;
};

// The link part of the connecting step: port settings and the reply time-out
// for the speed, PortOpen (error 30019 counts as not opened, its reason goes
// into problem), both buffers cleared, and when the port opened the close
// command to each of the count slots. Another error ends the step there:
// before the port opened it goes into failure; after, the port counts as
// opened (a failing line is then recovered by the polling).
ConnectResult connectLink(rdx::_rdx5Comm3& link, const LinkSettings& settings);

// One finished slot, or a change of the line.
struct SlotOutcome {
    enum class Kind {
        Reply,  // slot answered: text is the complete reply
        Miss,  // slot did not answer (ESC, or an error of the link)
        Garbled,  // a reply came, but it is not certainly this slot's: dropped
        LineLost,  // the device went away during slot's exchange
        LineBack,  // the lost line was reopened
        StillLost,  // a reopen attempt failed
    };
    Kind kind = Kind::Miss;
    int slot = 0;
    std::string text;  // as RWcomm returned it (Reply, Miss, Garbled)
    qint64 atMs = 0;  // the exchange's monotonic clock at the end
    // Miss: characters of a reply came, but it did not end within the
    // time-out (the recorder is there, but too slow or its reply cut short).
    bool incomplete = false;
};

class PollExchange {
public:
    // A dirty line (see step) must be quiet at least this long, and at least
    // as long as a whole reply takes at the line speed.
    static constexpr qint64 kDirtySettleMs = 500;
    // After an ordinary exchange the line must be quiet for a few character
    // times, at least this long.
    static constexpr qint64 kMinQuietMs = 10;
    // The watch after a complete reply never lasts longer than this.
    static constexpr qint64 kMaxTailWatchMs = 250;
    // The first reply after a time-out is watched at least this long: a
    // recorder side that stalled may send what it owed now, and a whole
    // foreign reply followed by the right one a moment later must not pass.
    static constexpr qint64 kAfterTimeOutWatchMs = 250;
    // Replies whose delivery gaps are remembered.
    static constexpr int kGapHistory = 15;
    // A recorder that was seen sending after its reply gets the long settle
    // after this many of its next replies.
    static constexpr int kNoisyPolls = 20;

    // link may be null (every step then misses). Without a clock the
    // system's monotonic clock is used.
    PollExchange(rdx::_rdx5Comm3* link, const LinkSettings& settings, LineWatch::MsClock msClock = {});

    // One step with the slot pollIndex(), or, while the line is lost, a
    // reopen attempt when one is due. Returns the outcome when the slot's
    // exchange (or the attempt) ended.
    //
    // A reply counts only when it is certainly this slot's answer to this
    // request:
    //  - a request goes out only on a quiet line, and whatever waits then is
    //    cleared first;
    //  - a complete reply is watched for tailWatchMs(): when more characters
    //    arrive meanwhile (a line too many, a stray line before the reply
    //    that pushed its last line out, a burst of noise, a backlog), the
    //    whole reply is dropped as Garbled;
    //  - after any time-out, with or without characters, after a dropped
    //    reply or an error, and when noise arrives after a reply was taken,
    //    the line is dirty: it must be quiet for the long
    //    settle before the next request, so a reply that comes late is
    //    cleared, not read as the next slot's;
    //  - an exchange begun on a line that never went quiet is not trusted:
    //    its reply is dropped too;
    //  - a recorder that sends after its reply (noise in the quiet wait, or
    //    the next slot's reply dropped right after its own) gets the long
    //    settle after its next kNoisyPolls replies, so its noise costs its
    //    neighbour no polls.
    // Errors raised by the link are absorbed. A device error (the line lost)
    // stops the exchanges until the port is back and keeps the slot; any
    // other error counts as no answer and the cycle moves on.
    std::optional<SlotOutcome> step();

    // How long until the next step is worth making: the rest of a short
    // quiet wait or of the watch after a reply, else tickMs.
    qint64 nextStepInMs(qint64 tickMs) const;

    // The quiet time after an ordinary exchange at the link's line speed.
    qint64 quietMs() const;
    // How long a complete reply is watched for more characters: twice the
    // delivery gap learnt from recent replies plus two character times, at
    // least quietMs(), at most kMaxTailWatchMs; the first reply after a
    // time-out at least kAfterTimeOutWatchMs.
    qint64 tailWatchMs() const;
    // The median of the delivery gaps (the link's ReplyGap) of the last
    // kGapHistory replies.
    qint64 deliveryGapMs() const;

    // New recorder addresses (from the next request on).
    void setAddresses(const std::array<std::int16_t, kSlotCount>& addresses) { settings_.addresses = addresses; }

    int pollIndex() const { return index_; }
    LineWatch& lineWatch() { return line_; }

private:
    int baud() const;  // the line speed the link was given
    qint64 characterMs(int count) const;
    bool lineSettled();
    void endExchange(bool dirty, qint64 notBeforeMs);
    std::optional<SlotOutcome> watchTail();
    // Drops a reply: the line is dirty, and the slot polled before may be to
    // blame.
    SlotOutcome garbled(SlotOutcome dropped);
    void learnGap(qint64 gapMs);
    SlotOutcome outcome(SlotOutcome::Kind kind, int slot, std::string text = {}) const;

    rdx::_rdx5Comm3* link_;
    LinkSettings settings_;
    LineWatch line_;
    int index_ = 0;
    bool underWay_ = false;  // RWcomm returned "under way" last step
    bool untrusted_ = false;  // the exchange under way began on a noisy line
    bool afterTimeOut_ = false;  // no reply has been watched since the last time-out
    // The short quiet wait after an ordinary exchange: since when the line
    // has been seen quiet, and when the exchange ended.
    bool quieting_ = false;
    qint64 quietSinceMs_ = 0, endedMs_ = 0;
    // The long settle of a dirty line: when it began, when something last
    // arrived, how long the line must stay quiet, and the earliest time the
    // next request may go out.
    bool dirty_ = false;
    qint64 dirtySinceMs_ = 0, lastNoiseMs_ = 0, settleMs_ = 0, notBeforeMs_ = 0;
    // The watch after a complete reply: the reply held back, and since when.
    bool watching_ = false;
    SlotOutcome held_;
    qint64 watchSinceMs_ = 0;
    // Per slot: replies still to be followed by the long settle. The slot
    // whose reply the request under way followed with only a short quiet
    // wait (-1: none).
    std::array<int, kSlotCount> noisy_{};
    int quietAfter_ = -1, requestAfter_ = -1;
    // The delivery gap of each of the last replies (a ring).
    std::array<qint64, kGapHistory> gaps_{};
    int gapCount_ = 0, gapNext_ = 0;
};

}  // namespace rdxmon

#endif
