// The polling tick's reply handling on arbitrary text taken as the result of
// a completed exchange: the line split, the channel line reading and the
// value formatting.
#include <array>
#include <cmath>
#include <cstdlib>

#include "fuzz_check.h"
#include "polling/Reply.h"
#include "startup/Lenient.h"

namespace {

// The label text for a reading: "-"? digits "." exactly the decimals asked
// for (1 by default), within half a unit of the last decimal of the value.
void checkFormatted(const rdxmon::ChannelReading& reading)
{
    const std::string text = rdxmon::formatPv(reading.value, reading.decimals).toStdString();
    if (!std::isfinite(reading.value))
        return FUZZ_CHECK(text.empty());
    const int n = reading.decimals.value_or(1);
    FUZZ_CHECK(n >= 0 && n <= 15);
    const std::size_t point = text.find('.');
    const std::size_t whole = text.starts_with('-') ? 1 : 0;
    FUZZ_CHECK(point != std::string::npos && point > whole && text.size() - point - 1 == std::size_t(n));
    FUZZ_CHECK(text.find_first_not_of("0123456789", whole) == point);
    FUZZ_CHECK(text.find_first_not_of("0123456789", point + 1) == std::string::npos);
    const double shown = std::strtod(text.c_str(), nullptr), value = reading.value;
    FUZZ_CHECK(std::fabs(shown - value) <= 0.5 * std::pow(10.0, -n) * 1.000001 + std::fabs(value) * 1e-6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);

    // The split: eight items, each empty or ending at its first CR LF, none
    // after an empty one; the items and what is left give back the text.
    std::array<std::string, 9> lines;
    lines[8] = "untouched";
    std::string rest = input;
    rdxmon::splitReply(rest, lines);
    FUZZ_CHECK(lines[8] == "untouched");
    std::string joined;
    for (int i = 0; i < 8; ++i) {
        if (!lines[i].empty())
            FUZZ_CHECK(lines[i].find("\r\n") == lines[i].size() - 2 && (i == 0 || !lines[i - 1].empty()));
        joined += lines[i];
    }
    FUZZ_CHECK(joined + rest == input);

    for (int line = 2; line <= 7; ++line) {
        const rdxmon::ChannelReading reading = rdxmon::readChannelLine(lines[line]);
        if (reading.skipped)
            FUZZ_CHECK(lines[line][0] == 'S' && reading.value == 0.0f && !reading.decimals);
        checkFormatted(reading);
    }
    // The same readings on the raw text as one line.
    checkFormatted(rdxmon::readChannelLine(input));
    FUZZ_CHECK(!std::isnan(rdxmon::lenientNumber(input)));
    return 0;
}
