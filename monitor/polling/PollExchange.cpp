#include "polling/PollExchange.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "rdx5Comm3.h"
#include "startup/Lenient.h"

namespace rdxmon {

namespace {

const std::string kEsc(1, '\x1b');

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

LinkSettings linkSettings(const SharedState& state)
{
    LinkSettings settings;
    settings.port = state.gInit.Port;
    settings.speed = state.gInit.Speed;
    settings.addresses = state.gDevAddr;
    settings.count = state.gRecTotal;
    settings.wording = state.wording;
    return settings;
}

ConnectResult connectLink(rdx::_rdx5Comm3& link, const LinkSettings& settings)
{
    ConnectResult result;
    try {
        link.Port(settings.port.toStdString());
        link.BaudRate(settings.speed.toStdString());
        link.TimeOut(replyTimeOutMs(lenientInt(settings.speed)));
        link.DataBit("7");
        link.StopBit("1");
        link.Flow("NONE");
        link.Pality("Even");
        link.RThreshold(4);
        try {
            result.opened = link.PortOpen();
        } catch (const rdx::LinkError& e) {
            if (e.number() != rdx::kErrPortOpen)
                throw;
            const PortProblem problem = portProblem(e, settings.port, settings.speed, settings.wording);
            result.problem = problem.message;
            result.cause = problem.brief;
        }
        link.SendBufClear();
        link.RecvBufClear();
        if (result.opened) {
            for (int s = 0; s < settings.count; ++s)
                link.Send_Close(format00(settings.addresses[s]).toStdString());
        }
    } catch (const rdx::LinkError& e) {
        if (!result.opened)
            result.failure = QString::fromStdString(e.description());
    } catch (const std::exception& e) {
        if (!result.opened)
            result.failure = QString::fromStdString(e.what());
    }
    return result;
}

PollExchange::PollExchange(rdx::_rdx5Comm3* link, const LinkSettings& settings, LineWatch::MsClock msClock)
    : link_(link), settings_(settings), line_(std::move(msClock))
{
    settings_.count = std::clamp(settings_.count, 1, kSlotCount);
}

SlotOutcome PollExchange::outcome(SlotOutcome::Kind kind, int slot, std::string text) const
{
    SlotOutcome o;
    o.kind = kind;
    o.slot = slot;
    o.text = std::move(text);
    o.atMs = line_.nowMs();
    return o;
}

std::optional<SlotOutcome> PollExchange::step()
{
    const int d = index_;

    switch (line_.next()) {
    case LineWatch::Step::Poll:
        break;
    case LineWatch::Step::Wait:
        return std::nullopt;
    case LineWatch::Step::Reopen:
        // Polling goes on with slot d once the line has settled (the settle
        // begun when the line was lost).
        if (link_ && line_.tryReopen(*link_))
            return outcome(SlotOutcome::Kind::LineBack, d);
        return outcome(SlotOutcome::Kind::StillLost, d);
    }

    if (watching_)
        return watchTail();

    bool failed = false;
    int error = 0;
    bool arrived = false;  // characters were waiting during this step
    const bool firstCall = !underWay_;
    std::string text;
    try {
        if (!link_)
            throw std::logic_error("no link object");
        if (firstCall) {
            if (!lineSettled())
                return std::nullopt;
            // Whatever waits now cannot belong to the new exchange.
            link_->RecvBufClear();
            requestAfter_ = std::exchange(quietAfter_, -1);
        } else {
            arrived = link_->inbcount() > 0;
        }
        text = link_->RWcomm(format00(settings_.addresses[d]).toStdString(), "06", 1, "N");
        if (text == kEsc && !arrived)
            arrived = link_->inbcount() > 0;
    } catch (const rdx::LinkError& e) {
        failed = true;
        error = e.number();
    } catch (...) {
        failed = true;
    }
    underWay_ = !failed && text.empty();
    if (underWay_)
        return std::nullopt;  // under way: the same slot is asked again next step
    const bool untrusted = std::exchange(untrusted_, false);

    // After a time-out the reply may still come, late, or go on arriving;
    // after an error the link may still be waiting for the reply it asked
    // for, and gives that exchange up at the next call once its time-out has
    // passed. Either way the line is dirty.
    const qint64 nowMs = line_.nowMs();
    if (failed)
        endExchange(true, nowMs + replyTimeOutMs(baud()));
    else if (text == kEsc)
        endExchange(true, nowMs);

    // The device has gone: no exchanges until the port is back, and then the
    // cycle goes on with this slot.
    if (failed && line_.linkFailed(error))
        return outcome(SlotOutcome::Kind::LineLost, d);

    // The link writes the request on the first call of an exchange and
    // answers on a later one. A result on the first call belongs to an
    // exchange left behind by an error: it is not this slot's, so it is
    // dropped and the slot asked again.
    if (!failed && firstCall)
        return std::nullopt;

    // Any other error of the link counts as no answer from this slot: its
    // lines stay and the cycle moves on, so no slot is asked forever.
    index_ = (d + 1) % settings_.count;
    if (failed || text == kEsc) {
        afterTimeOut_ = true;
        SlotOutcome miss = outcome(SlotOutcome::Kind::Miss, d, std::move(text));
        miss.incomplete = !failed && arrived;
        return miss;
    }

    learnGap(link_->ReplyGap());
    if (untrusted)
        return garbled(outcome(SlotOutcome::Kind::Garbled, d, std::move(text)));
    // A complete reply: held back until the line has stayed quiet after it.
    watching_ = true;
    held_ = outcome(SlotOutcome::Kind::Reply, d, std::move(text));
    watchSinceMs_ = nowMs;
    return watchTail();
}

std::optional<SlotOutcome> PollExchange::watchTail()
{
    bool more = false;
    try {
        more = link_->inbcount() > 0;
    } catch (const rdx::LinkError& e) {
        watching_ = false;
        endExchange(true, line_.nowMs() + replyTimeOutMs(baud()));
        if (line_.linkFailed(e.number()))
            return outcome(SlotOutcome::Kind::LineLost, held_.slot);
        more = true;
    } catch (...) {
        more = true;
    }
    const qint64 nowMs = line_.nowMs();
    if (more) {
        // Characters right behind a reply: it may have been one line off (a
        // stray line pushed its last line out, or this is a backlog), and
        // the rest is not this slot's either. The whole reply is dropped.
        watching_ = false;
        afterTimeOut_ = false;
        SlotOutcome dropped = held_;
        dropped.kind = SlotOutcome::Kind::Garbled;
        return garbled(std::move(dropped));
    }
    if (nowMs - watchSinceMs_ < tailWatchMs())
        return std::nullopt;
    // Quiet for the whole watch, which is at least the ordinary quiet time:
    // the next request may go out at once, unless something arrives first
    // or this recorder is known to send after its replies.
    watching_ = false;
    afterTimeOut_ = false;
    held_.atMs = nowMs;
    const int d = held_.slot;
    if (noisy_[d] > 0) {
        --noisy_[d];
        endExchange(true, nowMs);
    } else {
        quieting_ = true;
        quietSinceMs_ = endedMs_ = watchSinceMs_;
        quietAfter_ = d;
    }
    return std::move(held_);
}

SlotOutcome PollExchange::garbled(SlotOutcome dropped)
{
    // The reply that came before this request with only the short quiet
    // wait may have left noise behind: its recorder is suspect.
    if (requestAfter_ >= 0 && requestAfter_ != dropped.slot)
        noisy_[requestAfter_] = kNoisyPolls;
    requestAfter_ = -1;
    dropped.atMs = line_.nowMs();
    endExchange(true, dropped.atMs);
    return dropped;
}

void PollExchange::learnGap(qint64 gapMs)
{
    gaps_[static_cast<std::size_t>(gapNext_)] = std::max<qint64>(gapMs, 0);
    gapNext_ = (gapNext_ + 1) % kGapHistory;
    gapCount_ = std::min(gapCount_ + 1, kGapHistory);
}

qint64 PollExchange::deliveryGapMs() const
{
    if (gapCount_ == 0)
        return 0;
    std::array<qint64, kGapHistory> sorted = gaps_;
    const auto end = sorted.begin() + gapCount_;
    std::nth_element(sorted.begin(), sorted.begin() + gapCount_ / 2, end);
    return sorted[static_cast<std::size_t>(gapCount_ / 2)];
}

qint64 PollExchange::tailWatchMs() const
{
    const qint64 watch = std::clamp<qint64>(2 * deliveryGapMs() + characterMs(2), quietMs(), kMaxTailWatchMs);
    return afterTimeOut_ ? std::max(watch, kAfterTimeOutWatchMs) : watch;
}

qint64 PollExchange::nextStepInMs(qint64 tickMs) const
{
    if (line_.lost() || underWay_ || dirty_)
        return tickMs;
    qint64 left = 0;
    if (watching_)
        left = watchSinceMs_ + tailWatchMs() - line_.nowMs();
    else if (quieting_)
        left = quietSinceMs_ + quietMs() - line_.nowMs();
    else
        return tickMs;
    return std::clamp<qint64>(left, 1, tickMs);
}

qint64 PollExchange::characterMs(int count) const
{
    const int speed = baud();
    return speed > 0 ? (static_cast<qint64>(count) * 10'000 + speed - 1) / speed : 0;
}

qint64 PollExchange::quietMs() const
{
    // Four character times of 10 bits.
    return std::max<qint64>(kMinQuietMs, characterMs(4));
}

int PollExchange::baud() const
{
    try {
        return link_ ? lenientInt(QString::fromStdString(link_->BaudRate())) : 0;
    } catch (...) {
        return 0;
    }
}

void PollExchange::endExchange(bool dirty, qint64 notBeforeMs)
{
    const qint64 nowMs = line_.nowMs();
    quieting_ = true;
    quietSinceMs_ = endedMs_ = nowMs;
    if (!dirty)
        return;
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

bool PollExchange::lineSettled()
{
    rdx::_rdx5Comm3& link = *link_;
    const qint64 nowMs = line_.nowMs();
    if (dirty_) {
        // The long settle: quiet for settleMs_ and past notBeforeMs_. A line
        // that never goes quiet holds the cycle for four settles at most;
        // the exchange begun then is not trusted.
        if (link.inbcount() > 0) {
            link.RecvBufClear();
            lastNoiseMs_ = nowMs;
        }
        const bool quiet = nowMs - lastNoiseMs_ >= settleMs_;
        const bool overdue = nowMs - dirtySinceMs_ >= 4 * settleMs_;
        if (nowMs < notBeforeMs_ || (!quiet && !overdue))
            return false;
        untrusted_ = !quiet;
        dirty_ = quieting_ = false;
        return true;
    }
    // After an ordinary exchange: quiet for quietMs() by the clock (nothing
    // in the receive buffer since it was last seen empty or cleared). What
    // arrives meanwhile is noise, and more may follow: the line is dirty.
    if (quieting_) {
        if (link.inbcount() > 0) {
            link.RecvBufClear();
            if (quietAfter_ >= 0)
                noisy_[quietAfter_] = kNoisyPolls;
            quietAfter_ = -1;
            endExchange(true, nowMs);
            return false;
        }
        if (nowMs - quietSinceMs_ < quietMs())
            return false;
        quieting_ = false;
    }
    return true;
}

}  // namespace rdxmon
