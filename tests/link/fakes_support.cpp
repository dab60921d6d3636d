#include "fakes_support.h"

#include <cstdio>

namespace rdxtest {

void FakeControl::feed(const std::string& bytes)
{
    incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
}

void FakeControl::feedAt(std::uint32_t tick, const std::string& bytes)
{
    scheduled_.emplace(tick, bytes);
}

void FakeControl::failOn(const std::string& operation, int number)
{
    failures_[operation] = number;
}

void FakeControl::record(const std::string& call)
{
    calls.push_back(call);
    std::string name = call;
    if (failures_.count(name) == 0)
        name = call.substr(0, call.find('('));
    if (const auto it = failures_.find(name); it != failures_.end())
        throw rdx::LinkError(it->second, "fake failure of " + call);
}

void FakeControl::deliverDue()
{
    while (!scheduled_.empty() &&
           static_cast<std::int32_t>(ticks_->time - scheduled_.begin()->first) >= 0) {
        feed(scheduled_.begin()->second);
        scheduled_.erase(scheduled_.begin());
    }
}

void FakeControl::setCommPort(std::int16_t p)
{
    record("setCommPort(" + std::to_string(p) + ")");
    if (open)
        throw rdx::LinkError(rdx::kErrWhileOpen, "port is open");
    port = p;
}

void FakeControl::setSettings(const std::string& s)
{
    record("setSettings(" + s + ")");
    settings = s;
}

void FakeControl::setHandshaking(std::int16_t code)
{
    record("setHandshaking(" + std::to_string(code) + ")");
    handshake = code;
}

void FakeControl::setPortOpen(bool o)
{
    record(std::string("setPortOpen(") + (o ? "true" : "false") + ")");
    open = o;
}

bool FakeControl::ctsHolding()
{
    record("ctsHolding");
    return cts;
}

void FakeControl::setInBufferSize(std::int16_t size)
{
    record("setInBufferSize(" + std::to_string(size) + ")");
    inSize = size;
}

void FakeControl::setOutBufferSize(std::int16_t size)
{
    record("setOutBufferSize(" + std::to_string(size) + ")");
    outSize = size;
}

std::int16_t FakeControl::inBufferCount()
{
    record("inBufferCount");
    deliverDue();
    return static_cast<std::int16_t>(incoming_.size());
}

void FakeControl::clearInBuffer()
{
    record("clearInBuffer");
    incoming_.clear();
}

std::int16_t FakeControl::outBufferCount()
{
    record("outBufferCount");
    if (outCount < 0)
        return static_cast<std::int16_t>(-(outCount++) - 1);
    return outCount;
}

void FakeControl::clearOutBuffer()
{
    record("clearOutBuffer");
}

void FakeControl::setInputLen(std::int16_t len)
{
    record("setInputLen(" + std::to_string(len) + ")");
    inputLen = len;
}

std::string FakeControl::input()
{
    record("input");
    deliverDue();
    const std::size_t n = inputLen == 0 ? incoming_.size() : std::min<std::size_t>(inputLen, incoming_.size());
    std::string text(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
    return text;
}

void FakeControl::output(const std::string& text)
{
    record("output(" + hex(text) + ")");
    written.push_back(text);
}

void FakeControl::setRThreshold(std::int16_t t)
{
    record("setRThreshold(" + std::to_string(t) + ")");
    threshold = t;
}

void FakeControl::waitForInput(std::int32_t timeoutMs)
{
    record("waitForInput(" + std::to_string(timeoutMs) + ")");
    deliverDue();
    if (!incoming_.empty())
        return;
    std::uint32_t wakeUp = ticks_->time + static_cast<std::uint32_t>(timeoutMs);
    if (!scheduled_.empty()) {
        const std::uint32_t next = scheduled_.begin()->first;
        if (static_cast<std::int32_t>(next - wakeUp) < 0)
            wakeUp = next;
    }
    ticks_->time = wakeUp;
    deliverDue();
}

Rig::Rig(std::uint32_t startTick) : ticks(std::make_shared<FakeTicks>(startTick))
{
    auto fake = std::make_unique<FakeControl>(ticks);
    control = fake.get();
    link = std::make_unique<rdx::rdx5Comm3>(std::move(fake), ticks);
}

std::string hex(const std::string& bytes)
{
    std::string out;
    char digits[4];
    for (unsigned char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", c);
        if (!out.empty())
            out += ' ';
        out += digits;
    }
    return out;
}

}  // namespace rdxtest
