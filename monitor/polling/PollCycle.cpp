#include "polling/PollCycle.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "polling/Reply.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"
#include "startup/Pages.h"

namespace rdxmon {

PvView::~PvView() = default;
void PvView::setSlotStale(int, bool, const QDateTime&) {}
void PvView::setLineLost(bool) {}
void PvView::setNoAnswer(bool) {}

int recorderCount(const InitRecord& init)
{
    return std::clamp(lenientInt(init.RecCount), 1, kSlotCount);
}

PollCycle::PollCycle(SharedState& state, PvView& view, Clock* clock) : state_(state), view_(view), clock_(clock) {}

void PollCycle::take(const SlotOutcome& outcome)
{
    const int d = std::clamp(outcome.slot, 0, kSlotCount - 1);
    const int count = state_.gRecTotal;

    switch (outcome.kind) {
    case SlotOutcome::Kind::LineBack:
        view_.setLineLost(false);
        tell([](PollListener& l) { l.lineLost(false); });
        return;
    case SlotOutcome::Kind::StillLost:
        // Every recorder was marked when the line went; nothing new.
        return;
    case SlotOutcome::Kind::LineLost: {
        // No recorder can answer now: every one's values stop being current
        // at once. A start-up pass ends here, so the window comes up and
        // shows the lost line instead of waiting for it.
        view_.setLineLost(true);
        tell([](PollListener& l) { l.lineLost(true); });
        const QDateTime time = now();
        for (int s = 0; s < count; ++s) {
            noteMiss(s);
            lastMiss_[s] = MissReason::LineLost;
            tell([&](PollListener& l) { l.pollMissed(s, time, MissReason::LineLost); });
        }
        state_.gStartDone = 1;
        return;
    }
    case SlotOutcome::Kind::Reply:
    case SlotOutcome::Kind::Miss:
    case SlotOutcome::Kind::Garbled:
        break;
    }

    state_.gRecvText = outcome.text;
    const bool answered = outcome.kind == SlotOutcome::Kind::Reply;
    if (answered) {
        splitReply(state_.gRecvText, state_.gPvLine[d]);
        noteReply(d);
        Pvdispset(d);
    } else {
        // The slot's lines stay as the last reply left them, but they are
        // not read again: its values are no longer current.
        noteMiss(d);
    }
    notePolled(answered);

    if (state_.gStartDone == 0) {
        view_.setProgress(d);
        if (d == count - 1)
            state_.gStartDone = 1;
    }
    if (answered) {
        tell([&](PollListener& l) { l.replyTaken(d, lastReply_[d]); });
    } else {
        const MissReason why = outcome.kind == SlotOutcome::Kind::Garbled ? MissReason::Garbled
            : outcome.incomplete                                          ? MissReason::Incomplete
                                                                          : MissReason::NoReply;
        lastMiss_[d] = why;
        const QDateTime time = now();
        tell([&](PollListener& l) { l.pollMissed(d, time, why); });
    }
    if (d == count - 1) {
        const qint64 elapsed = cycleEndMs_ < 0 ? 0 : outcome.atMs - cycleEndMs_;
        cycleEndMs_ = outcome.atMs;
        tell([&](PollListener& l) { l.cycleEnded(elapsed); });
    }
}

void PollCycle::addListener(PollListener* listener)
{
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void PollCycle::removeListener(PollListener* listener)
{
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

bool PollCycle::slotStale(int slot) const
{
    return slot >= 0 && slot < kSlotCount && stale_[slot];
}

QDateTime PollCycle::lastReply(int slot) const
{
    return slot >= 0 && slot < kSlotCount ? lastReply_[slot] : QDateTime();
}

MissReason PollCycle::lastMiss(int slot) const
{
    return slot >= 0 && slot < kSlotCount ? lastMiss_[slot] : MissReason::NoReply;
}

QDateTime PollCycle::lastReading(int k) const
{
    return k >= 0 && k < kChannelCount ? lastReading_[k] : QDateTime();
}

QDateTime PollCycle::now() const
{
    return clock_ ? clock_->now() : QDateTime::currentDateTime();
}

void PollCycle::noteReply(int d)
{
    misses_[d] = 0;
    lastReply_[d] = now();
    if (stale_[d]) {
        stale_[d] = false;
        view_.setSlotStale(d, false, lastReply_[d]);
    }
}

void PollCycle::noteMiss(int d)
{
    for (int c = 0; c < kChannelsPerSlot; ++c) {
        PvState& pv = state_.gPvState[d * kChannelsPerSlot + c];
        if (pv == PvState::Current)
            pv = PvState::Stale;
    }
    if (misses_[d] < kStaleAfterMisses)
        ++misses_[d];
    if (misses_[d] >= kStaleAfterMisses && !stale_[d]) {
        stale_[d] = true;
        view_.setSlotStale(d, true, lastReply_[d]);
    }
}

void PollCycle::notePolled(bool answered)
{
    silentPolls_ = answered ? 0 : std::min(silentPolls_ + 1, kSlotCount);
    const bool none = silentPolls_ >= state_.gRecTotal;
    if (none != noAnswer_) {
        noAnswer_ = none;
        view_.setNoAnswer(none);
    }
}

void PollCycle::Pvdispset(int d)
{
    const int page = view_.shownPage();
    const int base = pages::firstChannel(page);
    const bool onPage = pages::slotOnPage(d, page);

    for (int c = 1; c <= kChannelsPerSlot; ++c) {
        const int k = d * kChannelsPerSlot + (c - 1);
        const std::string& line = state_.gPvLine[d][c + 1];
        const ChannelReading reading = readChannelLine(line);
        if (reading.skipped) {
            // A skipped channel has no value: 0, and no reading to show or log.
            state_.gPvValue[k] = 0.0f;
            state_.gPvState[k] = PvState::Skipped;
        } else if (line.empty() || !reading.numeric) {
            // No such line, or nothing numeric in the value field (a
            // burn-out or over-range text, or a number beyond the
            // single-precision range): no reading, not a zero and not the
            // old value.
            state_.gPvState[k] = PvState::NoReading;
        } else {
            state_.gPvValue[k] = reading.value;
            state_.gPvState[k] = PvState::Current;
            lastReading_[k] = lastReply_[d];
            if (onPage && state_.gChannel[k].LogSel != 0)
                view_.setPvCaption(k - base, formatPv(reading.value, reading.decimals));
            continue;
        }
        if (onPage)
            view_.setPvCaption(k - base, QString());
    }
}

}  // namespace rdxmon
