// What the line and each recorder on it have been doing since start: the
// state of every polled recorder, its replies and time-outs, when it last
// answered, and the length of the last full cycle. Follows the poll cycle.
//
// A dead recorder and one that is there but fails are told apart: "No
// reply" and "Stale" mean nothing came at all; "Garbled reply" that a reply
// came but could not be told from other traffic; "Incomplete reply" that
// characters came but no whole reply within the time-out (a recorder too
// slow for it, or a reply cut short). The share of the last polls answered
// shows a recorder that answers only now and then, whatever its last poll
// did.
#ifndef RDXMON_STATUS_LINESTATUS_H
#define RDXMON_STATUS_LINESTATUS_H

#include <array>

#include <QDateTime>
#include <QString>

#include "polling/PollListener.h"
#include "startup/SharedState.h"

namespace rdxmon {

class LineStatus : public PollListener {
public:
    enum class State {
        NotPolled,  // not asked yet
        Ok,  // its last poll was answered
        NoReply,  // asked, never answered since start
        Stale,  // answered once, silent since staleSince
        Garbled,  // its last reply could not be told from other traffic: dropped
        Incomplete,  // its last reply began but did not end within the time-out
    };
    // Polls the share of answered ones is taken over.
    static constexpr int kRecentPolls = 20;
    struct Recorder {
        State state = State::NotPolled;
        qint64 replies = 0;
        qint64 timeOuts = 0;
        qint64 garbled = 0;  // replies dropped as not certainly its own
        qint64 incomplete = 0;  // time-outs in mid-reply (counted in timeOuts too)
        quint32 recent = 0;  // its last polls, the newest in bit 0: set when answered
        int recentPolls = 0;  // polls held in recent, up to kRecentPolls
        QDateTime lastReply;  // invalid: none yet
        QDateTime staleSince;  // the first miss after the last reply
    };

    explicit LineStatus(int polledSlots = kSlotCount);

    void replyTaken(int slot, const QDateTime& time) override;
    void pollMissed(int slot, const QDateTime& time, MissReason why) override;
    void cycleEnded(qint64 elapsedMs) override;
    void lineLost(bool lost) override;

    int polled() const { return polled_; }
    const Recorder& recorder(int slot) const { return recorders_[static_cast<std::size_t>(slot)]; }
    // Recorders whose last poll was answered.
    int answering() const;
    // Recorders whose last reply was dropped as garbled.
    int garbled() const;
    // Recorders whose last reply did not end within the time-out.
    int incomplete() const;
    // The last full cycle's length in ms; -1 until one is known.
    qint64 lastCycleMs() const { return lastCycleMs_; }
    bool lineIsLost() const { return lineLost_; }

    // Milliseconds from the slot's last reply to now; -1 without a reply.
    qint64 lastReplyAgeMs(int slot, const QDateTime& now) const;

private:
    int polled_;
    std::array<Recorder, kSlotCount> recorders_{};
    qint64 lastCycleMs_ = -1;
    bool lineLost_ = false;
};

// "OK", "No reply", "Stale since 10:42:05", "Garbled reply", "Incomplete reply".
QString stateText(const LineStatus::Recorder& recorder);
// The share of its last polls answered: "100 %", "35 %"; "-" before a poll.
QString answeredText(const LineStatus::Recorder& recorder);
// An age for the operator: "0.4 s", "12 s", "5 min 3 s", "2 h 4 min"; "-"
// for none (negative).
QString ageText(qint64 ms);

}  // namespace rdxmon

#endif
