// A scripted serial line and clock under the real link object, so it can be
// driven without a port and without sleeping. Shared by the link tests and
// the fuzz targets.
#ifndef RDX_TESTS_LINK_FAKES_H
#define RDX_TESTS_LINK_FAKES_H

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "rdx5Comm3.h"

namespace rdxfake {

// Moves when told, when the library sleeps, and by `step` at every reading.
struct Ticks : rdx::TickCounter {
    std::int64_t time = 0, step = 0;
    int sleeps = 0;
    std::int64_t now() override { return (time += step) - step; }
    void sleep(std::int32_t ms) override { ++sleeps, time += ms; }
};

struct Line : rdx::SerialControl {
    explicit Line(std::shared_ptr<Ticks> t) : ticks(std::move(t)) {}
    std::shared_ptr<Ticks> ticks;
    std::string in;                                // bytes waiting
    std::multimap<std::int64_t, std::string> due;  // bytes arriving at a tick
    std::vector<std::string> written;
    std::map<std::string, int> fails;  // operation -> number of the error it throws
    std::map<std::string, int> calls;  // operation -> times called
    std::string settings;
    std::int16_t port = 1, handshake = 0, inSize = 1024, outSize = 512, inputLen = 0, threshold = 0, unsent = 0;
    bool open = false;
    std::int64_t ctsFrom = 0;  // CTS is asserted from this tick on; -1 never
    std::size_t taken = 0;     // bytes read so far

    void op(const std::string& name)
    {
        ++calls[name];
        if (const auto f = fails.find(name); f != fails.end())
            throw rdx::LinkError(f->second, "fake failure of " + name);
    }
    void arrive()
    {
        for (; !due.empty() && due.begin()->first <= ticks->time; due.erase(due.begin()))
            in += due.begin()->second;
    }
    void setCommPort(std::int16_t p) override
    {
        op("setCommPort"), port = open ? throw rdx::LinkError(8000, "") : p;
    }
    std::int16_t commPort() const override { return port; }
    void setSettings(const std::string& s) override { op("setSettings"), settings = s; }
    void setHandshaking(std::int16_t c) override { op("setHandshaking"), handshake = c; }
    std::int16_t handshaking() const override { return handshake; }
    void setPortOpen(bool o) override { op(o ? "open" : "close"), open = o; }
    bool portOpen() const override { return open; }
    bool ctsHolding() override { return op("cts"), ctsFrom >= 0 && ticks->time >= ctsFrom; }
    void setInBufferSize(std::int16_t s) override { inSize = s; }
    void setOutBufferSize(std::int16_t s) override { outSize = s; }
    std::int16_t inBufferSize() const override { return inSize; }
    std::int16_t outBufferSize() const override { return outSize; }
    std::int16_t inBufferCount() override
    {
        return op("inBufferCount"), arrive(), std::int16_t(std::min<std::size_t>(in.size(), 32767));
    }
    void clearInBuffer() override { op("clearInBuffer"), in.clear(); }
    std::int16_t outBufferCount() override { return op("outBufferCount"), unsent; }
    void clearOutBuffer() override { op("clearOutBuffer"); }
    void setInputLen(std::int16_t n) override { inputLen = n; }
    std::string input() override
    {
        op("input"), arrive();
        const std::size_t n = inputLen == 0 ? in.size() : std::min<std::size_t>(inputLen, in.size());
        const std::string text = in.substr(0, n);
        in.erase(0, n), taken += n;
        return text;
    }
    void output(const std::string& text) override { op("output"), written.push_back(text); }
    void setRThreshold(std::int16_t t) override { threshold = t; }
    std::int16_t rThreshold() const override { return threshold; }
    std::int32_t commId() const override { return open ? 42 : -1; }
    // Sleeps until the next arrival or the end of the wait.
    void waitForInput(std::int32_t ms) override
    {
        op("waitForInput"), arrive();
        if (!in.empty())
            return;
        ticks->time = std::max(ticks->time, due.empty() ? ticks->time + ms
                                                        : std::min(ticks->time + ms, due.begin()->first));
        arrive();
    }
};

// The real link object on the fakes.
struct Rig {
    Rig()
    {
        auto owned = std::make_unique<Line>(ticks);
        line = owned.get();
        link = std::make_unique<rdx::rdx5Comm3>(std::move(owned), ticks);
        link->TimeOut(1000);  // as the monitor sets it
    }
    std::shared_ptr<Ticks> ticks = std::make_shared<Ticks>();
    Line* line;
    std::unique_ptr<rdx::rdx5Comm3> link;
};

}  // namespace rdxfake

#endif
