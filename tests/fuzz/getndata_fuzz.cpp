// GetNData and isDataNum on arbitrary lines. The first two bytes are the
// field number n (little-endian, so negative and very large numbers occur);
// the rest is the line. Errors 5 and 6 are the expected outcome for n below
// 0 and for n times the width beyond 32767; any other error is a fault.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "link_fakes.h"
#include "rdx5Comm3.h"

namespace {

// Field width for the width code at position 4 of a reply line.
int widthFor(char code)
{
    switch (code) {
    case ' ': case '"': case '`': case 'a': case 'r':
        return 4;
    case '!': case '#':
        return 8;
    default:
        return 0;
    }
}

rdx::rdx5Comm3& link()
{
    static auto ticks = std::make_shared<rdxfuzz::FakeTicks>();
    static rdx::rdx5Comm3 object(std::make_unique<rdxfuzz::FakeControl>(std::string(), ticks), ticks);
    return object;
}

// GetNData(line, n), with the error it raised (0 for none).
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

    if (line.size() < 15) {
        FUZZ_CHECK(error == 0 && field.empty());
        FUZZ_CHECK(count == 0);
        return 0;
    }

    const std::string area = line.substr(8, line.size() - 11);
    const int width = widthFor(line[3]);

    // The whole data area for n = 0, whatever the width code.
    int areaError = 0;
    FUZZ_CHECK(fieldOf(line, 0, areaError) == area && areaError == 0);

    if (n != 0) {
        if (width == 0) {
            FUZZ_CHECK(error == 0 && field.empty());
        } else if (n < 0) {
            FUZZ_CHECK(error == rdx::kErrInvalidArgument);
        } else if (static_cast<std::int32_t>(n) * width > 32767) {
            FUZZ_CHECK(error == rdx::kErrOverflow);
        } else if (static_cast<std::size_t>(n) * width > area.size()) {
            FUZZ_CHECK(error == 0 && field.empty());
        } else {
            FUZZ_CHECK(error == 0);
            FUZZ_CHECK(field.size() == static_cast<std::size_t>(width));
            FUZZ_CHECK(area.compare(static_cast<std::size_t>(n - 1) * width, width, field) == 0);
        }
    }

    if (width == 0 || area.size() % width != 0) {
        FUZZ_CHECK(count == 0);
    } else {
        FUZZ_CHECK(static_cast<std::size_t>(count) * width == area.size());
        // Every field isDataNum counts can be fetched; the one after cannot.
        for (int k = 1; k <= count; ++k) {
            const std::string each = fieldOf(line, static_cast<std::int16_t>(k), error);
            FUZZ_CHECK(error == 0 && each.size() == static_cast<std::size_t>(width));
            FUZZ_CHECK(std::memcmp(each.data(), area.data() + (k - 1) * width, width) == 0);
        }
        if (static_cast<std::int32_t>(count + 1) * width <= 32767)
            FUZZ_CHECK(fieldOf(line, static_cast<std::int16_t>(count + 1), error).empty() && error == 0);
    }
    return 0;
}
