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

}  // namespace

PvView::~PvView() = default;

int recorderCount(const InitRecord& init)
{
    return std::clamp(lenientInt(init.RecCount), 1, kSlotCount);
}

PollCycle::PollCycle(SharedState& state, PvView& view) : state_(state), view_(view) {}

void PollCycle::tick()
{
    const int d = mPollIndex;
    const int count = recorderCount(state_.gInit);

    // An error of the link (the device vanished, the port failed) counts as
    // no answer from this slot: its lines stay and the cycle moves on, so the
    // start-up pass still ends and no slot is asked forever.
    bool failed = false;
    try {
        if (!state_.gLink)
            throw std::logic_error("no link object");
        state_.gRecvText = state_.gLink->RWcomm(format00(state_.gDevAddr[d]).toStdString(), "06", 1, "N");
    } catch (...) {
        failed = true;
    }

    if (!failed) {
        if (state_.gRecvText.empty())
            return;  // under way: the same slot is asked again next tick
        if (state_.gRecvText != kEsc)
            splitReply(state_.gRecvText, state_.gPvLine[d]);
    }

    if (state_.gStartDone == 0) {
        view_.setProgress(d);
        if (d == count - 1)
            state_.gStartDone = 1;
    }
    Pvdispset(d);
    mPollIndex = (d + 1) % count;
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

    bool opened = false;
    try {
        opened = link.PortOpen();
    } catch (const rdx::LinkError& e) {
        if (e.number() != rdx::kErrPortOpen)
            throw;
        opened = false;  // the library has told the operator
    }
    state.gPortOpened = opened ? QStringLiteral("True") : QStringLiteral("False");

    link.SendBufClear();
    link.RecvBufClear();

    if (opened) {
        const int count = recorderCount(state.gInit);
        for (int s = 0; s < count; ++s)
            link.Send_Close(format00(state.gDevAddr[s]).toStdString());
    }
    return ConnectResult{opened};
}

}  // namespace rdxmon
