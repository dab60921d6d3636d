#include "Transmitter.h"

#include <algorithm>

namespace rdxsim {

std::int64_t characterTimeUs(int baud)
{
    return baud > 0 ? (10'000'000 + baud / 2) / baud : 0;
}

bool fifoReady(std::size_t waiting, std::optional<std::int64_t> nextDueUs, std::int64_t nowUs, int baud,
               std::size_t fifo)
{
    if (waiting == 0)
        return false;
    return waiting >= fifo || !nextDueUs || *nextDueUs > nowUs + characterTimeUs(baud);
}

Transmitter::Transmitter(int baud) : characterUs_(characterTimeUs(baud)) {}

void Transmitter::queue(std::string bytes, std::int64_t notBeforeUs)
{
    if (!bytes.empty())
        queue_.push_back({std::move(bytes), notBeforeUs});
}

std::string Transmitter::take(std::int64_t nowUs)
{
    std::string out;
    while (!queue_.empty()) {
        Segment& segment = queue_.front();
        const std::int64_t start = segment.sent == 0 ? std::max(lineFreeUs_, segment.notBeforeUs) : lineFreeUs_;
        if (start + characterUs_ > nowUs)
            break;
        out += segment.bytes[segment.sent++];
        lineFreeUs_ = start + characterUs_;
        if (segment.sent == segment.bytes.size())
            queue_.pop_front();
    }
    return out;
}

std::optional<std::int64_t> Transmitter::nextDueUs() const
{
    if (queue_.empty())
        return std::nullopt;
    const Segment& segment = queue_.front();
    const std::int64_t start = segment.sent == 0 ? std::max(lineFreeUs_, segment.notBeforeUs) : lineFreeUs_;
    return start + characterUs_;
}

std::int64_t Transmitter::idleAtUs() const
{
    std::int64_t at = lineFreeUs_;
    for (const Segment& segment : queue_) {
        if (segment.sent == 0)
            at = std::max(at, segment.notBeforeUs);
        at += characterUs_ * static_cast<std::int64_t>(segment.bytes.size() - segment.sent);
    }
    return at;
}

}  // namespace rdxsim
