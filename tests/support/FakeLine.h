// A fake serial line and clock under the real link object, so the link can be
// driven without a port and without sleeping. Bytes arrive now or at a given
// tick; the library's waits move the clock to the next arrival. Shared by the
// link tests, the polling tests and the fuzz targets (which run it millions
// of times: reading moves a cursor, and calls are counted in an array).
#ifndef RDXTEST_SUPPORT_FAKE_LINE_H
#define RDXTEST_SUPPORT_FAKE_LINE_H

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rdx5Comm3.h"

// The fake itself is not what a fuzz target explores: clang leaves it out of
// the coverage instrumentation, which would add its branches to the target's
// and slow every byte the link reads through it.
#if defined(__clang__)
#define RDXTEST_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define RDXTEST_UNTRACED
#endif

namespace rdxtest {

// Moves when told, when the library sleeps, and by `step` at every reading.
struct FakeTicks : rdx::TickCounter {
    std::int64_t time = 0, step = 0;
    int sleeps = 0;
    RDXTEST_UNTRACED std::int64_t now() override { return (time += step) - step; }
    RDXTEST_UNTRACED void sleep(std::int32_t ms) override { ++sleeps, time += ms; }
};

// The operations of the line that are counted and can be made to fail.
enum class LineOp {
    SetCommPort,
    SetSettings,
    SetHandshaking,
    Open,
    Close,
    Cts,
    InBufferCount,
    ClearIn,
    OutBufferCount,
    ClearOut,
    Input,
    Output,
    WaitForInput,
    Count
};

// A number per operation.
struct PerLineOp {
    std::array<int, static_cast<std::size_t>(LineOp::Count)> n{};
    int& operator[](LineOp op) { return n[static_cast<std::size_t>(op)]; }
};

struct FakeLine : rdx::SerialControl {
    explicit FakeLine(std::shared_ptr<FakeTicks> t) : ticks(std::move(t)) {}
    std::shared_ptr<FakeTicks> ticks;

    // Bytes that have arrived, and how many of them were read or discarded.
    std::string received;
    std::size_t taken = 0;
    std::multimap<std::int64_t, std::string> due;  // bytes arriving at a tick, in order
    std::vector<std::string> written;
    // Called with each text written, after it is recorded (a recorder's script).
    std::function<void(const std::string&)> onOutput;
    PerLineOp calls;
    PerLineOp fails;  // the number of the error every call of the operation throws; 0 none
    PerLineOp failOnce;  // the same for the next call only
    // The device has gone: opening fails with 8002, the open port's I/O with 8020.
    bool gone = false;
    std::string settings;
    std::int16_t port = 1, handshake = 0, inSize = 1024, outSize = 512, inputLen = 0, threshold = 0, unsent = 0;
    bool open = false;
    std::int64_t ctsFrom = 0;  // CTS is asserted from this tick on; -1 never

    // Bytes that arrive now, or at a tick.
    RDXTEST_UNTRACED void put(const std::string& bytes) { received += bytes; }
    RDXTEST_UNTRACED void putAt(std::int64_t tick, const std::string& bytes) { due.emplace(tick, bytes); }
    // What has arrived and was not read.
    RDXTEST_UNTRACED std::string waiting() const { return received.substr(taken); }
    // Everything written, joined.
    RDXTEST_UNTRACED std::string allWritten() const
    {
        std::string all;
        for (const std::string& text : written)
            all += text;
        return all;
    }
    RDXTEST_UNTRACED void arrive()
    {
        for (; !due.empty() && due.begin()->first <= ticks->time; due.erase(due.begin()))
            received += due.begin()->second;
    }

    RDXTEST_UNTRACED void setCommPort(std::int16_t p) override
    {
        op(LineOp::SetCommPort), port = open ? throw rdx::LinkError(rdx::kErrWhileOpen, "") : p;
    }
    RDXTEST_UNTRACED std::int16_t commPort() const override { return port; }
    RDXTEST_UNTRACED void setSettings(const std::string& s) override { op(LineOp::SetSettings), settings = s; }
    RDXTEST_UNTRACED void setHandshaking(std::int16_t c) override { op(LineOp::SetHandshaking), handshake = c; }
    RDXTEST_UNTRACED std::int16_t handshaking() const override { return handshake; }
    RDXTEST_UNTRACED void setPortOpen(bool o) override
    {
        op(o ? LineOp::Open : LineOp::Close);
        if (o && gone)
            throw rdx::LinkError(rdx::kErrNoDevice, "Cannot open COM1 (/dev/ttyUSB0): No such file");
        open = o;
    }
    RDXTEST_UNTRACED bool portOpen() const override { return open; }
    RDXTEST_UNTRACED bool ctsHolding() override { return op(LineOp::Cts), ctsFrom >= 0 && ticks->time >= ctsFrom; }
    RDXTEST_UNTRACED void setInBufferSize(std::int16_t s) override { inSize = s; }
    RDXTEST_UNTRACED void setOutBufferSize(std::int16_t s) override { outSize = s; }
    RDXTEST_UNTRACED std::int16_t inBufferSize() const override { return inSize; }
    RDXTEST_UNTRACED std::int16_t outBufferSize() const override { return outSize; }
    RDXTEST_UNTRACED std::int16_t inBufferCount() override
    {
        return io(LineOp::InBufferCount), std::int16_t(std::min<std::size_t>(received.size() - taken, 32767));
    }
    RDXTEST_UNTRACED void clearInBuffer() override { io(LineOp::ClearIn), taken = received.size(); }
    RDXTEST_UNTRACED std::int16_t outBufferCount() override { return op(LineOp::OutBufferCount), unsent; }
    RDXTEST_UNTRACED void clearOutBuffer() override { op(LineOp::ClearOut); }
    RDXTEST_UNTRACED void setInputLen(std::int16_t n) override { inputLen = n; }
    RDXTEST_UNTRACED std::string input() override
    {
        io(LineOp::Input);
        const std::size_t left = received.size() - taken;
        if (inputLen == 1 && left > 0)  // as the link reads a reply
            return std::string(1, received[taken++]);
        const std::size_t n = inputLen == 0 ? left : std::min<std::size_t>(inputLen, left);
        taken += n;
        return received.substr(taken - n, n);
    }
    RDXTEST_UNTRACED void output(const std::string& text) override
    {
        io(LineOp::Output), written.push_back(text);
        if (onOutput)
            onOutput(text);
    }
    RDXTEST_UNTRACED void setRThreshold(std::int16_t t) override { threshold = t; }
    RDXTEST_UNTRACED std::int16_t rThreshold() const override { return threshold; }
    RDXTEST_UNTRACED std::int32_t commId() const override { return open ? 42 : -1; }
    // Sleeps until the next arrival or the end of the wait.
    RDXTEST_UNTRACED void waitForInput(std::int32_t ms) override
    {
        io(LineOp::WaitForInput);
        if (taken < received.size())
            return;
        ticks->time
            = std::max(ticks->time, due.empty() ? ticks->time + ms : std::min(ticks->time + ms, due.begin()->first));
        arrive();
    }

private:
    RDXTEST_UNTRACED void op(LineOp which)
    {
        ++calls[which];
        const int once = std::exchange(failOnce[which], 0);
        if (const int number = once != 0 ? once : fails[which])
            throw rdx::LinkError(number, "fake failure");
    }
    // An operation on the received or sent bytes.
    RDXTEST_UNTRACED void io(LineOp which)
    {
        op(which);
        if (gone && open)
            throw rdx::LinkError(rdx::kErrDeviceIo, "Serial line lost on COM1");
        arrive();
    }
};

// The real link object on the fakes, its reply time-out set as the monitor
// sets it.
struct LineRig {
    LineRig()
    {
        auto owned = std::make_unique<FakeLine>(ticks);
        line = owned.get();
        link = std::make_unique<rdx::rdx5Comm3>(std::move(owned), ticks);
        link->TimeOut(1000);
    }
    std::shared_ptr<FakeTicks> ticks = std::make_shared<FakeTicks>();
    FakeLine* line;
    std::unique_ptr<rdx::rdx5Comm3> link;
};

}  // namespace rdxtest

#endif
