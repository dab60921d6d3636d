// GetNData and isDataNum on arbitrary lines. The first two bytes are the
// field number n (little-endian, so negative and very large numbers occur);
// the rest is the line. Errors 5 and 6 are the expected outcome for n below
// 0 and for n times the width beyond 32767; any other error is a fault.
#include <cstring>

#include "fuzz_check.h"
#include "support/FakeLine.h"

namespace {

rdx::rdx5Comm3& link()
{
    static rdxtest::LineRig rig;
    return *rig.link;
}

// GetNData(line, n), with the number of the error it raised (0 for none).
std::string fieldOf(const std::string& line, std::int16_t n, int& error)
{
    error = 0;
    try {
        return link().GetNData(line, n);
    } catch (const rdx::LinkError& e) {
        error = e.number();
        return {};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::int16_t n = static_cast<std::int16_t>(data[0] | (data[1] << 8));
    const std::string line(reinterpret_cast<const char*>(data) + 2, size - 2);
    int error = 0;
    const std::string field = fieldOf(line, n, error);
    const std::int16_t count = link().isDataNum(line);
    if (line.size() < 15)
        return FUZZ_CHECK(error == 0 && field.empty() && count == 0), 0;

    // Width code at position 4: 4 for " \"`ar", 8 for "!#", else no fields.
    const std::string area = line.substr(8, line.size() - 11);
    const char code = line[3];
    const int width = code != 0 && std::strchr(" \"`ar", code) ? 4 : code != 0 && std::strchr("!#", code) ? 8 : 0;
    int areaError = 0;  // n = 0 gives the whole data area
    FUZZ_CHECK(fieldOf(line, 0, areaError) == area && areaError == 0);
    if (n == 0 || width == 0)
        FUZZ_CHECK(error == 0 && field == (n == 0 ? area : ""));
    else if (n < 0)
        FUZZ_CHECK(error == rdx::kErrInvalidArgument);
    else if (n * width > 32767)
        FUZZ_CHECK(error == rdx::kErrOverflow);
    else if (std::size_t(n * width) > area.size())
        FUZZ_CHECK(error == 0 && field.empty());
    else
        FUZZ_CHECK(error == 0 && field == area.substr(std::size_t((n - 1) * width), std::size_t(width)));

    if (width == 0 || area.size() % width != 0) {
        FUZZ_CHECK(count == 0);
        return 0;
    }
    FUZZ_CHECK(std::size_t(count) * width == area.size());
    // Every field isDataNum counts can be fetched; the one after cannot.
    for (int k = 1; k <= count; ++k)
        FUZZ_CHECK(fieldOf(line, std::int16_t(k), error) == area.substr(std::size_t((k - 1) * width), width));
    if ((count + 1) * width <= 32767)
        FUZZ_CHECK(fieldOf(line, std::int16_t(count + 1), error).empty() && error == 0);
    return 0;
}
