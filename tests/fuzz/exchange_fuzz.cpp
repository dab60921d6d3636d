// The exchange step against a recorder that sends arbitrary bytes. The first
// byte chooses the channel count (its last digit); the rest is what the line
// delivers. The caller's timer is stood in for by 50 ms between calls.
// Every result must be empty (under way), ESC, or a complete reply: exactly
// count + 2 lines, each longer than 2 characters and ending in CR LF, made of
// the very bytes taken from the line, with nothing beyond its last line read.
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "link_fakes.h"
#include "rdx5Comm3.h"

namespace {

const std::string kEsc(1, '\x1b');
const std::string kAddress = "05";

// Splits a reply the way the link completes its lines; the number of lines,
// or -1 when the text does not end with a complete line.
int completeLines(const std::string& reply)
{
    int lines = 0;
    std::string line;
    for (char c : reply) {
        line += c;
        if (line.size() > 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
            ++lines;
            line.clear();
        }
    }
    return line.empty() ? lines : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int count = data[0] % 10;
    const std::string channels = "0" + std::to_string(count);
    const std::string received(reinterpret_cast<const char*>(data) + 1, size - 1);

    auto ticks = std::make_shared<rdxfuzz::FakeTicks>();
    auto owned = std::make_unique<rdxfuzz::FakeControl>(received, ticks);
    rdxfuzz::FakeControl& control = *owned;
    rdx::rdx5Comm3 link(std::move(owned), ticks);
    link.TimeOut(1000);

    const std::string request = kEsc + "T\r\nFM0,01," + channels + "\r\n";
    // Exchanges until the line has nothing more to give; every exchange that
    // finds bytes waiting takes at least one of them.
    for (int exchange = 0; exchange < 64; ++exchange) {
        const std::size_t writesBefore = control.writes().size();
        FUZZ_CHECK(link.RWcomm(kAddress, channels, 1, "N").empty());
        FUZZ_CHECK(control.writes().size() == writesBefore + 3);
        FUZZ_CHECK(control.writes()[writesBefore] == kEsc + "O " + kAddress + "\r\n");
        FUZZ_CHECK(control.writes()[writesBefore + 1] == "TS0\r\n");
        FUZZ_CHECK(control.writes()[writesBefore + 2] == request);
        FUZZ_CHECK(link.OutputBuffer() == request);

        std::string result;
        const std::size_t start = control.consumed();
        // 1000 ms at 50 ms a call: an ESC must come within about 21 calls.
        for (int call = 0; call < 30 && result.empty(); ++call) {
            ticks->advance(50);
            const std::size_t before = control.consumed();
            result = link.RWcomm(kAddress, channels, 1, "N");
            if (result.empty())
                FUZZ_CHECK(control.consumed() == before);
        }
        FUZZ_CHECK(!result.empty());

        if (result == kEsc) {
            FUZZ_CHECK(control.writes().size() == writesBefore + 3);  // no close command
        } else {
            FUZZ_CHECK(result == received.substr(start, control.consumed() - start));
            FUZZ_CHECK(completeLines(result) == count + 2);
            FUZZ_CHECK(control.writes().size() == writesBefore + 4);
            FUZZ_CHECK(control.writes().back() == kEsc + "C " + kAddress + "\r\n");
        }
        if (control.remaining() == 0)
            break;
    }
    return 0;
}
