#include "status/LineStatus.h"

#include <algorithm>
#include <bit>

namespace rdxmon {

LineStatus::LineStatus(int polledSlots) : polled_(std::clamp(polledSlots, 1, kSlotCount)) {}

void LineStatus::replyTaken(int slot, const QDateTime& time)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    Recorder& r = recorders_[static_cast<std::size_t>(slot)];
    r.state = State::Ok;
    ++r.replies;
    r.recent = (r.recent << 1) | 1u;
    r.recentPolls = std::min(r.recentPolls + 1, kRecentPolls);
    r.lastReply = time;
    r.staleSince = QDateTime();
}

void LineStatus::pollMissed(int slot, const QDateTime& time, MissReason why)
{
    if (slot < 0 || slot >= kSlotCount)
        return;
    Recorder& r = recorders_[static_cast<std::size_t>(slot)];
    if (why == MissReason::Garbled)
        ++r.garbled;
    else if (why != MissReason::LineLost)
        ++r.timeOuts;
    if (why == MissReason::Incomplete)
        ++r.incomplete;
    // A lost line is no fault of the recorder's: not one of its polls.
    if (why != MissReason::LineLost) {
        r.recent <<= 1;
        r.recentPolls = std::min(r.recentPolls + 1, kRecentPolls);
    }
    if (r.lastReply.isValid() && r.state == State::Ok)
        r.staleSince = time;
    if (why == MissReason::Garbled)
        r.state = State::Garbled;
    else if (why == MissReason::Incomplete)
        r.state = State::Incomplete;
    else
        r.state = r.lastReply.isValid() ? State::Stale : State::NoReply;
}

void LineStatus::cycleEnded(qint64 elapsedMs)
{
    if (elapsedMs > 0)
        lastCycleMs_ = elapsedMs;
}

void LineStatus::lineLost(bool lost)
{
    lineLost_ = lost;
}

int LineStatus::answering() const
{
    return static_cast<int>(std::count_if(recorders_.begin(), recorders_.begin() + polled_,
                                          [](const Recorder& r) { return r.state == State::Ok; }));
}

int LineStatus::garbled() const
{
    return static_cast<int>(std::count_if(recorders_.begin(), recorders_.begin() + polled_,
                                          [](const Recorder& r) { return r.state == State::Garbled; }));
}

int LineStatus::incomplete() const
{
    return static_cast<int>(std::count_if(recorders_.begin(), recorders_.begin() + polled_,
                                          [](const Recorder& r) { return r.state == State::Incomplete; }));
}

qint64 LineStatus::lastReplyAgeMs(int slot, const QDateTime& now) const
{
    const Recorder& r = recorder(slot);
    if (!r.lastReply.isValid())
        return -1;
    return std::max<qint64>(0, r.lastReply.msecsTo(now));
}

QString stateText(const LineStatus::Recorder& recorder)
{
    switch (recorder.state) {
    case LineStatus::State::NotPolled:
        return QStringLiteral("Not polled yet");
    case LineStatus::State::Ok:
        return QStringLiteral("OK");
    case LineStatus::State::NoReply:
        return QStringLiteral("No reply");
    case LineStatus::State::Stale:
        return QStringLiteral("Stale since %1").arg(recorder.staleSince.toString(QStringLiteral("HH:mm:ss")));
    case LineStatus::State::Garbled:
        return QStringLiteral("Garbled reply");
    case LineStatus::State::Incomplete:
        return QStringLiteral("Incomplete reply");
    }
    return {};
}

QString answeredText(const LineStatus::Recorder& recorder)
{
    if (recorder.recentPolls == 0)
        return QStringLiteral("-");
    const quint32 mask = (1u << recorder.recentPolls) - 1;
    const int answered = std::popcount(recorder.recent & mask);
    return QStringLiteral("%1 %").arg(answered * 100 / recorder.recentPolls);
}

QString ageText(qint64 ms)
{
    if (ms < 0)
        return QStringLiteral("-");
    if (ms < 10'000)
        return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
    const qint64 s = ms / 1000;
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

}  // namespace rdxmon
