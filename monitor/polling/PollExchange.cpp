#include "polling/PollExchange.h"

#include <algorithm>
#include <stdexcept>

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
    settings.count = std::clamp(state.gRecTotal, 1, kSlotCount);
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
            const PortProblem problem = portProblem(e, settings.port, settings.speed);
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

    // A given-up reply whose characters had begun to arrive may go on
    // arriving: the line is dirty. After an error the link may still be
    // waiting for the reply it asked for; once its time-out has passed it
    // gives that exchange up at the next call.
    const qint64 nowMs = line_.nowMs();
    if (failed)
        endExchange(true, nowMs + replyTimeOutMs(baud()));
    else
        endExchange(arrived && text == kEsc, nowMs);

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
    const bool answered = !failed && text != kEsc;
    index_ = (d + 1) % settings_.count;
    return outcome(answered ? SlotOutcome::Kind::Reply : SlotOutcome::Kind::Miss, d, std::move(text));
}

qint64 PollExchange::nextStepInMs(qint64 tickMs) const
{
    if (!quieting_ || dirty_ || underWay_ || line_.lost())
        return tickMs;
    const qint64 left = quietSinceMs_ + quietMs() - line_.nowMs();
    return std::clamp<qint64>(left, 1, tickMs);
}

qint64 PollExchange::quietMs() const
{
    // Four character times of 10 bits.
    const int speed = baud();
    return std::max<qint64>(kMinQuietMs, speed > 0 ? (40'000 + speed - 1) / speed : 0);
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
        // that never goes quiet holds the cycle for four settles at most.
        if (link.inbcount() > 0) {
            link.RecvBufClear();
            lastNoiseMs_ = nowMs;
        }
        const bool quiet = nowMs - lastNoiseMs_ >= settleMs_;
        const bool overdue = nowMs - dirtySinceMs_ >= 4 * settleMs_;
        if (nowMs < notBeforeMs_ || (!quiet && !overdue))
            return false;
        dirty_ = quieting_ = false;
        return true;
    }
    // After an ordinary exchange: quiet for quietMs() by the clock (nothing
    // in the receive buffer since it was last seen empty or cleared), and
    // longer while something still arrives, about a second at most.
    if (quieting_) {
        if (link.inbcount() > 0) {
            link.RecvBufClear();
            quietSinceMs_ = nowMs;
        }
        if (nowMs - quietSinceMs_ < quietMs() && nowMs - endedMs_ < kMaxQuietWaitMs)
            return false;
        quieting_ = false;
    }
    return true;
}

}  // namespace rdxmon
