#include "link_fakes.h"

#include <algorithm>
#include <limits>

namespace rdxfuzz {

std::int16_t FakeControl::inBufferCount()
{
    return static_cast<std::int16_t>(
        std::min<std::size_t>(remaining(), std::numeric_limits<std::int16_t>::max()));
}

std::string FakeControl::input()
{
    const std::size_t take =
        inputLen_ > 0 ? std::min<std::size_t>(remaining(), static_cast<std::size_t>(inputLen_)) : remaining();
    std::string text = received_.substr(consumed_, take);
    consumed_ += take;
    return text;
}

void FakeControl::waitForInput(std::int32_t timeoutMs)
{
    if (remaining() == 0 && timeoutMs > 0)
        ticks_->advance(static_cast<std::uint32_t>(timeoutMs));
}

}  // namespace rdxfuzz
