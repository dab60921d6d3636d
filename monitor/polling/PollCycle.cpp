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
void PvView::setNoAnswer(bool) {}

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

namespace {

// Milliseconds for a reply on the line, times factor / 1000, rounded up.
qint64 replyMs(int baud, int channels, qint64 factor)
{
    if (baud <= 0)
        return 0;
    const qint64 bits = (static_cast<qint64>(std::max(channels, 0)) + 2) * 40 * 10;
    return (bits * factor + baud - 1) / baud;
}

}  // namespace

qint64 replyLineMs(int baud, int channels)
{
    return replyMs(baud, channels, 1000);
}

int replyTimeOutMs(int baud, int channels)
{
    return static_cast<int>(std::clamp<qint64>(replyMs(baud, channels, 1500), 1000, 60'000));
}

PollCycle::PollCycle(SharedState& state, PvView& view, Clock* clock, LineWatch::MsClock msClock)
    : state_(state), view_(view), clock_(clock), line_(std::move(msClock))
{
}

void PollCycle::tick()
{
    const int d = mPollIndex;
    const int count = std::clamp(state_.gRecTotal, 1, kSlotCount);

    switch (line_.next()) {
    case LineWatch::Step::Poll:
        break;
    case LineWatch::Step::Wait:
        return;
    case LineWatch::Step::Reopen:
        if (state_.gLink && line_.tryReopen(*state_.gLink)) {
            // Polling goes on with slot d once the line has settled (the
            // settle begun when the line was lost).
            view_.setLineLost(false);
            tell([](PollListener& l) { l.lineLost(false); });
        } else {
            // Every recorder misses a poll while the line is away.
            for (int s = 0; s < count; ++s)
                noteMiss(s);
        }
        return;
    }

    bool failed = false;
    int error = 0;
    bool arrived = false;  // characters were waiting during this step
    const bool firstCall = !exchangeUnderWay_;
    try {
        if (!state_.gLink)
            throw std::logic_error("no link object");
        if (firstCall) {
            if (!lineSettled())
                return;
            // Whatever waits now cannot belong to the new exchange.
            state_.gLink->RecvBufClear();
        } else {
            arrived = state_.gLink->inbcount() > 0;
        }
        state_.gRecvText = state_.gLink->RWcomm(format00(state_.gDevAddr[d]).toStdString(), "06", 1, "N");
        if (state_.gRecvText == kEsc && !arrived)
            arrived = state_.gLink->inbcount() > 0;
    } catch (const rdx::LinkError& e) {
        failed = true;
        error = e.number();
    } catch (...) {
        failed = true;
    }
    exchangeUnderWay_ = !failed && state_.gRecvText.empty();
    if (exchangeUnderWay_)
        return;  // under way: the same slot is asked again next tick

    // A given-up reply whose characters had begun to arrive may go on
    // arriving: the line is dirty. After an error the link may still be
    // waiting for the reply it asked for; once its time-out has passed it
    // gives that exchange up at the next call.
    const qint64 nowMs = line_.nowMs();
    if (failed)
        endExchange(true, nowMs + replyTimeOutMs(baud()));
    else
        endExchange(arrived && state_.gRecvText == kEsc, nowMs);

    // The device has gone: no exchanges until the port is back, and then the
    // cycle goes on with this slot. A start-up pass ends here, so the window
    // comes up and shows the lost line instead of waiting for it.
    if (failed && line_.linkFailed(error)) {
        view_.setLineLost(true);
        noteMiss(d);
        tell([](PollListener& l) { l.lineLost(true); });
        tell([&](PollListener& l) { l.pollMissed(d, now()); });
        state_.gStartDone = 1;
        return;
    }

    // The link writes the request on the first call of an exchange and
    // answers on a later one. A result on the first call belongs to an
    // exchange left behind by an error: it is not this slot's, so it is
    // dropped and the slot asked again.
    if (!failed && firstCall)
        return;

    // Any other error of the link counts as no answer from this slot: its
    // lines stay and the cycle moves on, so no slot is asked forever.
    const bool answered = !failed && state_.gRecvText != kEsc;
    if (answered) {
        splitReply(state_.gRecvText, state_.gPvLine[d]);
        noteReply(d);
    } else {
        noteMiss(d);
    }
    notePolled(answered);

    if (state_.gStartDone == 0) {
        view_.setProgress(d);
        if (d == count - 1)
            state_.gStartDone = 1;
    }
    Pvdispset(d);
    if (answered)
        tell([&](PollListener& l) { l.replyTaken(d, lastReply_[d]); });
    else
        tell([&](PollListener& l) { l.pollMissed(d, now()); });
    if (d == count - 1) {
        const qint64 endMs = line_.nowMs();
        const qint64 elapsed = cycleEndMs_ < 0 ? 0 : endMs - cycleEndMs_;
        cycleEndMs_ = endMs;
        tell([&](PollListener& l) { l.cycleEnded(elapsed); });
    }
    mPollIndex = (d + 1) % count;
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

int PollCycle::baud() const
{
    return state_.gLink ? lenientInt(QString::fromStdString(state_.gLink->BaudRate())) : 0;
}

void PollCycle::endExchange(bool dirty, qint64 notBeforeMs)
{
    settleTicks_ = 1;
    if (!dirty)
        return;
    const qint64 nowMs = line_.nowMs();
    if (!dirty_) {
        dirty_ = true;
        dirtySinceMs_ = nowMs;
        notBeforeMs_ = notBeforeMs;
    } else {
        notBeforeMs_ = std::max(notBeforeMs_, notBeforeMs);
    }
    lastNoiseMs_ = nowMs;
    settleMs_ = std::max(kDirtySettleMs, replyLineMs(baud(), kChannelsPerSlot));
}

bool PollCycle::lineSettled()
{
    rdx::_rdx5Comm3& link = *state_.gLink;
    if (dirty_) {
        // The long settle: quiet for settleMs_ and past notBeforeMs_. A line
        // that never goes quiet holds the cycle for four settles at most.
        const qint64 nowMs = line_.nowMs();
        if (link.inbcount() > 0) {
            link.RecvBufClear();
            lastNoiseMs_ = nowMs;
        }
        const bool quiet = nowMs - lastNoiseMs_ >= settleMs_;
        const bool overdue = nowMs - dirtySinceMs_ >= 4 * settleMs_;
        if (nowMs < notBeforeMs_ || (!quiet && !overdue))
            return false;
        dirty_ = false;
        settleTicks_ = 0;
        return true;
    }
    // After an ordinary exchange: one tick, and longer while something
    // still arrives (about a second at most).
    if (settleTicks_ > 0) {
        if (settleTicks_ == 1 || (settleTicks_ <= kMaxSettleTicks && link.inbcount() > 0)) {
            link.RecvBufClear();
            ++settleTicks_;
            return false;
        }
        settleTicks_ = 0;
    }
    return true;
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

void PollCycle::notePolled(bool answered)
{
    silentPolls_ = answered ? 0 : std::min(silentPolls_ + 1, kSlotCount);
    const bool none = silentPolls_ >= std::clamp(state_.gRecTotal, 1, kSlotCount);
    if (none != noAnswer_) {
        noAnswer_ = none;
        view_.setNoAnswer(none);
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
        const std::string& line = state_.gPvLine[d][c + 1];
        const ChannelReading reading = readChannelLine(line);
        // A skipped channel has no value: 0, and no reading to show or log.
        if (reading.skipped) {
            state_.gPvValue[k] = 0.0f;
            state_.gPvRead[k] = false;
        }
        // No reply yet, a skipped channel, or a value beyond the
        // single-precision range (the channel keeps its last value).
        if (line.empty() || reading.skipped || !std::isfinite(reading.value)) {
            if (onPage && !state_.gPvRead[k])
                view_.setPvCaption(k - base, QString());
            continue;
        }
        state_.gPvValue[k] = reading.value;
        state_.gPvRead[k] = true;
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
    link.TimeOut(replyTimeOutMs(lenientInt(state.gInit.Speed)));
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
        const int count = std::clamp(state.gRecTotal, 1, kSlotCount);
        for (int s = 0; s < count; ++s)
            link.Send_Close(format00(state.gDevAddr[s]).toStdString());
    }
    return result;
}

}  // namespace rdxmon
