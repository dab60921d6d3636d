#include "polling/PollCycle.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "polling/Reply.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

const std::string kEsc(1, '\x1b');
// At most this many ticks (about a second) wait for a quiet line.
constexpr int kMaxSettleTicks = 20;

}  // namespace

PvView::~PvView() = default;
void PvView::setSlotStale(int, bool, const QDateTime&) {}
void PvView::setLineLost(bool) {}

QString staleToolTip(const QDateTime& lastReply)
{
    if (!lastReply.isValid())
        return QStringLiteral("No reply yet");
    return QStringLiteral("No reply since %1").arg(lastReply.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

int recorderCount(const InitRecord& init)
{
    return std::clamp(lenientInt(init.RecCount), 1, kSlotCount);
}

PollCycle::PollCycle(SharedState& state, PvView& view, Clock* clock, LineWatch::MsClock msClock)
    : state_(state), view_(view), clock_(clock), line_(std::move(msClock))
{
}

void PollCycle::tick()
{
    const int d = mPollIndex;
    const int count = recorderCount(state_.gInit);

    switch (line_.next()) {
    case LineWatch::Step::Poll:
        break;
    case LineWatch::Step::Wait:
        return;
    case LineWatch::Step::Reopen:
        if (state_.gLink && line_.tryReopen(*state_.gLink)) {
            view_.setLineLost(false);  // polling goes on with slot d next tick
        } else {
            // Every recorder misses a poll while the line is away, so their
            // values are marked stale after a few attempts.
            for (int s = 0; s < count; ++s)
                noteMiss(s);
        }
        return;
    }

    bool failed = false;
    int error = 0;
    try {
        if (!state_.gLink)
            throw std::logic_error("no link object");
        // Before a new exchange begins, whatever waits in the receive buffer
        // cannot belong to it: it is the late rest of a reply given up on (a
        // slow recorder) or a line too many. Read as the start of the next
        // reply it would put one recorder's values under another for good.
        // Clearing alone is not enough, since such a tail may still be on
        // its way: after every exchange the next request waits until the line
        // has been quiet for a whole tick (at most about a second).
        if (!exchangeUnderWay_ && settleTicks_ > 0) {
            if (settleTicks_ == 1 || (settleTicks_ <= kMaxSettleTicks && state_.gLink->inbcount() > 0)) {
                state_.gLink->RecvBufClear();
                ++settleTicks_;
                return;
            }
            settleTicks_ = 0;
        }
        if (!exchangeUnderWay_)
            state_.gLink->RecvBufClear();
        state_.gRecvText = state_.gLink->RWcomm(format00(state_.gDevAddr[d]).toStdString(), "06", 1, "N");
    } catch (const rdx::LinkError& e) {
        failed = true;
        error = e.number();
    } catch (...) {
        failed = true;
    }
    exchangeUnderWay_ = !failed && state_.gRecvText.empty();
    if (!exchangeUnderWay_)
        settleTicks_ = 1;

    // The device has gone: no exchanges until the port is back, and then the
    // cycle goes on with this slot. A start-up pass ends here, so the window
    // comes up and shows the lost line instead of waiting for it.
    if (failed && line_.linkFailed(error)) {
        view_.setLineLost(true);
        noteMiss(d);
        state_.gStartDone = 1;
        return;
    }

    // Any other error of the link counts as no answer from this slot: its
    // lines stay and the cycle moves on, so no slot is asked forever.
    if (failed) {
        noteMiss(d);
    } else {
        if (state_.gRecvText.empty())
            return;  // under way: the same slot is asked again next tick
        if (state_.gRecvText == kEsc) {
            noteMiss(d);
        } else {
            splitReply(state_.gRecvText, state_.gPvLine[d]);
            noteReply(d);
        }
    }

    if (state_.gStartDone == 0) {
        view_.setProgress(d);
        if (d == count - 1)
            state_.gStartDone = 1;
    }
    Pvdispset(d);
    mPollIndex = (d + 1) % count;
}

bool PollCycle::slotStale(int slot) const
{
    return slot >= 0 && slot < kSlotCount && stale_[slot];
}

QDateTime PollCycle::lastReply(int slot) const
{
    return slot >= 0 && slot < kSlotCount ? lastReply_[slot] : QDateTime();
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
    if (misses_[d] < kStaleAfterMisses)
        ++misses_[d];
    if (misses_[d] >= kStaleAfterMisses && !stale_[d]) {
        stale_[d] = true;
        view_.setSlotStale(d, true, lastReply_[d]);
    }
}

void PollCycle::Pvdispset(int d)
{
    const int page = std::clamp(view_.shownPage(), 0, 2);
    const int first = page * 12;
    const int last = std::min(first + 11, kSlotCount - 1);
    const int base = first * kChannelsPerSlot;
    const bool onPage = d >= first && d <= last;

    for (int c = 1; c <= kChannelsPerSlot; ++c) {
        const int k = d * kChannelsPerSlot + (c - 1);
        const ChannelReading reading = readChannelLine(state_.gPvLine[d][c + 1]);
        if (reading.skipped) {
            state_.gPvValue[k] = 0.0f;
            if (onPage)
                view_.setPvCaption(k - base, QString());
            continue;
        }
        // A value beyond the single-precision range cannot be stored: the
        // channel keeps its last value and label.
        if (!std::isfinite(reading.value))
            continue;
        state_.gPvValue[k] = reading.value;
        if (onPage && state_.gChannel[k].LogSel != 0)
            view_.setPvCaption(k - base, formatPv(reading.value, reading.decimals));
    }
}

ConnectResult connectLink(SharedState& state)
{
    if (!state.gLink)
        throw std::logic_error("no link object");
    rdx::_rdx5Comm3& link = *state.gLink;

    link.Port(state.gInit.Port.toStdString());
    link.BaudRate(state.gInit.Speed.toStdString());
    link.DataBit("7");
    link.StopBit("1");
    link.Flow("NONE");
    link.Pality("Even");
    link.RThreshold(4);

    ConnectResult result;
    try {
        result.opened = link.PortOpen();
    } catch (const rdx::LinkError& e) {
        if (e.number() != rdx::kErrPortOpen)
            throw;
        result.opened = false;
        result.problem = portProblemMessage(e);
    }
    const bool opened = result.opened;
    state.gPortOpened = opened ? QStringLiteral("True") : QStringLiteral("False");

    link.SendBufClear();
    link.RecvBufClear();

    if (opened) {
        const int count = recorderCount(state.gInit);
        for (int s = 0; s < count; ++s)
            link.Send_Close(format00(state.gDevAddr[s]).toStdString());
    }
    return result;
}

}  // namespace rdxmon
