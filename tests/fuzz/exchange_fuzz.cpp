// The exchange step against a recorder that sends arbitrary bytes. The first
// byte chooses the channel count (its last digit); the rest is what the line
// delivers. The caller's timer is stood in for by 50 ms between calls, and
// every reading of the clock takes a millisecond. Every result must be empty
// (under way), ESC, or a complete reply: exactly count + 2 lines, each longer
// than 2 characters and ending in CR LF, made of the very bytes taken from
// the line, with nothing beyond its last line read.
#include "fuzz_check.h"
#include "support/FakeLine.h"

namespace {

const std::string kEsc(1, '\x1b');
// The number of complete lines, or -1 when the text does not end with one.
int completeLines(const std::string& reply)
{
    int lines = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < reply.size(); ++i)
        if (i + 1 - start > 2 && reply[i - 1] == '\r' && reply[i] == '\n')
            ++lines, start = i + 1;
    return start == reply.size() ? lines : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::string channels = "0" + std::to_string(data[0] % 10);
    // One link object for all inputs: every input leaves its exchange idle.
    static rdxtest::LineRig rig;
    rdxtest::FakeLine& line = *rig.line;
    const std::string& received = line.received.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    line.taken = 0;
    rig.ticks->step = 1;

    const std::vector<std::string> request{kEsc + "O 05\r\n", "TS0\r\n", kEsc + "T\r\nFM0,01," + channels + "\r\n"};
    // Exchanges until the line has nothing more to give.
    for (int exchange = 0; exchange < 64 && (exchange == 0 || line.taken < received.size()); ++exchange) {
        line.written.clear();
        FUZZ_CHECK(rig.link->RWcomm("05", channels, 1, "N").empty());
        FUZZ_CHECK(line.written == request && rig.link->OutputBuffer() == request[2]);

        std::string result;
        const std::size_t start = line.taken;
        // 1000 ms at 50 ms a call: an ESC must come within about 21 calls.
        for (int call = 0; call < 30 && result.empty(); ++call) {
            rig.ticks->time += 50;
            const std::size_t before = line.taken;
            result = rig.link->RWcomm("05", channels, 1, "N");
            FUZZ_CHECK(!result.empty() || line.taken == before);
        }
        FUZZ_CHECK(!result.empty());
        if (result == kEsc) {
            FUZZ_CHECK(line.written.size() == 3);  // no close command
        } else {
            FUZZ_CHECK(received.compare(start, line.taken - start, result) == 0);
            FUZZ_CHECK(completeLines(result) == data[0] % 10 + 2);
            FUZZ_CHECK(line.written.size() == 4 && line.written.back() == kEsc + "C 05\r\n");
        }
    }
    return 0;
}
