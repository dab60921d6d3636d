// Scripted stand-ins for the serial control and the tick counter, so the
// link object can be driven without a port and without sleeping.
#ifndef RDX_TESTS_LINK_FAKES_SUPPORT_H
#define RDX_TESTS_LINK_FAKES_SUPPORT_H

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rdx5Comm3.h"

namespace rdxtest {

// A tick counter that moves only when told (or by a fixed step per reading).
class FakeTicks : public rdx::TickCounter {
public:
    explicit FakeTicks(std::uint32_t start = 0) : time(start) {}
    std::uint32_t now() override
    {
        const std::uint32_t t = time;
        time += stepPerRead;
        return t;
    }
    void advance(std::uint32_t ms) { time += ms; }

    std::uint32_t time;
    std::uint32_t stepPerRead = 0;
};

// A serial control that records every call in order and hands out the bytes
// the test feeds it. Bytes can also be scheduled to arrive at a given tick;
// waitForInput moves the fake clock forward to the next arrival or to the end
// of its wait, whichever comes first.
class FakeControl : public rdx::SerialControl {
public:
    explicit FakeControl(std::shared_ptr<FakeTicks> ticks) : ticks_(std::move(ticks)) {}

    // Bytes waiting from now on.
    void feed(const std::string& bytes);
    // Bytes that arrive once the clock reaches the tick.
    void feedAt(std::uint32_t tick, const std::string& bytes);
    // Makes the named operation (e.g. "output", "setPortOpen(true)") throw.
    void failOn(const std::string& operation, int number);
    void clearFailures() { failures_.clear(); }
    std::string waiting() const { return std::string(incoming_.begin(), incoming_.end()); }

    // Every call, as "name(argument)" or "name".
    std::vector<std::string> calls;
    // Every text written through output(), in order.
    std::vector<std::string> written;

    std::int16_t port = 1;
    std::string settings;
    std::int16_t handshake = 0;
    bool open = false;
    bool cts = true;
    std::int16_t inSize = 1024;
    std::int16_t outSize = 512;
    std::int16_t inputLen = 0;
    std::int16_t threshold = 0;
    // What outBufferCount reports; a negative value counts down by one per
    // reading from its absolute value.
    std::int16_t outCount = 0;

    void setCommPort(std::int16_t p) override;
    std::int16_t commPort() const override { return port; }
    void setSettings(const std::string& s) override;
    void setHandshaking(std::int16_t code) override;
    std::int16_t handshaking() const override { return handshake; }
    void setPortOpen(bool o) override;
    bool portOpen() const override { return open; }
    bool ctsHolding() override;
    void setInBufferSize(std::int16_t size) override;
    std::int16_t inBufferSize() const override { return inSize; }
    void setOutBufferSize(std::int16_t size) override;
    std::int16_t outBufferSize() const override { return outSize; }
    std::int16_t inBufferCount() override;
    void clearInBuffer() override;
    std::int16_t outBufferCount() override;
    void clearOutBuffer() override;
    void setInputLen(std::int16_t len) override;
    std::string input() override;
    void output(const std::string& text) override;
    void setRThreshold(std::int16_t t) override;
    std::int16_t rThreshold() const override { return threshold; }
    std::int32_t commId() const override { return open ? 42 : -1; }
    void waitForInput(std::int32_t timeoutMs) override;

private:
    void record(const std::string& call);
    void deliverDue();

    std::shared_ptr<FakeTicks> ticks_;
    std::deque<char> incoming_;
    std::multimap<std::uint32_t, std::string> scheduled_;
    std::map<std::string, int> failures_;
};

// A link object on a fake control; the test keeps pointers to both fakes.
struct Rig {
    explicit Rig(std::uint32_t startTick = 0);
    std::shared_ptr<FakeTicks> ticks;
    FakeControl* control;  // owned by link
    std::unique_ptr<rdx::rdx5Comm3> link;
};

// Bytes as two-digit upper-case hexadecimal, separated by blanks.
std::string hex(const std::string& bytes);

}  // namespace rdxtest

#endif
