// A serial control and a tick counter for driving the link object without a
// port: the receive buffer holds bytes given by the target, the clock moves
// only when read or when the link waits for input.
#ifndef RDX_TESTS_FUZZ_LINK_FAKES_H
#define RDX_TESTS_FUZZ_LINK_FAKES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rdx5Comm3.h"

namespace rdxfuzz {

// Every reading advances the clock by one millisecond, so a reply read in a
// tight loop still reaches its deadline.
class FakeTicks : public rdx::TickCounter {
public:
    std::uint32_t now() override { return ++time; }
    void advance(std::uint32_t ms) { time += ms; }

    std::uint32_t time = 0;
};

class FakeControl : public rdx::SerialControl {
public:
    FakeControl(std::string received, std::shared_ptr<FakeTicks> ticks)
        : received_(std::move(received)), ticks_(std::move(ticks))
    {
    }

    // Bytes taken out of the receive buffer so far.
    std::size_t consumed() const { return consumed_; }
    std::size_t remaining() const { return received_.size() - consumed_; }
    const std::vector<std::string>& writes() const { return writes_; }

    void setCommPort(std::int16_t port) override { port_ = port; }
    std::int16_t commPort() const override { return port_; }
    void setSettings(const std::string&) override {}
    void setHandshaking(std::int16_t code) override { handshaking_ = code; }
    std::int16_t handshaking() const override { return handshaking_; }
    void setPortOpen(bool open) override { open_ = open; }
    bool portOpen() const override { return open_; }
    bool ctsHolding() override { return true; }
    void setInBufferSize(std::int16_t size) override { inSize_ = size; }
    std::int16_t inBufferSize() const override { return inSize_; }
    void setOutBufferSize(std::int16_t size) override { outSize_ = size; }
    std::int16_t outBufferSize() const override { return outSize_; }
    std::int16_t inBufferCount() override;
    void clearInBuffer() override { consumed_ = received_.size(); }
    std::int16_t outBufferCount() override { return 0; }
    void clearOutBuffer() override {}
    void setInputLen(std::int16_t len) override { inputLen_ = len; }
    std::string input() override;
    void output(const std::string& text) override { writes_.push_back(text); }
    void setRThreshold(std::int16_t threshold) override { rThreshold_ = threshold; }
    std::int16_t rThreshold() const override { return rThreshold_; }
    std::int32_t commId() const override { return open_ ? 3 : -1; }
    // Nothing will arrive: the wait lasts its whole time.
    void waitForInput(std::int32_t timeoutMs) override;

private:
    std::string received_;
    std::size_t consumed_ = 0;
    std::shared_ptr<FakeTicks> ticks_;
    std::vector<std::string> writes_;
    std::int16_t port_ = 1, handshaking_ = 0, inSize_ = 1024, outSize_ = 512, inputLen_ = 0, rThreshold_ = 0;
    bool open_ = false;
};

}  // namespace rdxfuzz

#endif
