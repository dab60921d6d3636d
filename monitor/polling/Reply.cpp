#include "polling/Reply.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "startup/Lenient.h"

namespace rdxmon {

void splitReply(std::string& recvText, std::array<std::string, 9>& lines)
{
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t end = recvText.find("\r\n");
        if (end == std::string::npos) {
            lines[i].clear();
            continue;
        }
        lines[i] = recvText.substr(0, end + 2);
        recvText.erase(0, end + 2);
    }
}

ChannelReading readChannelLine(const std::string& line)
{
    ChannelReading reading;
    if (!line.empty() && line[0] == 'S') {
        reading.skipped = true;
        return reading;
    }
    // Positions are 1-based on the line: value at 16 (ten characters),
    // "-" at 23 when the decimals follow at 24 (two characters).
    if (line.size() > 15) {
        const std::optional<double> number = leadingNumber(line.substr(15, 10));
        if (number && std::fabs(*number) <= static_cast<double>(std::numeric_limits<float>::max())) {
            reading.numeric = true;
            reading.value = static_cast<float>(*number);
        }
    }
    if (line.size() > 22 && line[22] == '-') {
        const double n = line.size() > 23 ? lenientNumber(line.substr(23, 2)) : 0.0;
        reading.decimals = static_cast<int>(std::clamp(std::trunc(n), 0.0, 15.0));
    }
    return reading;
}

namespace {

// Rounds the decimal text "digits.fraction" (no sign) to n decimals, half
// away from zero, and returns it with at least one integer digit.
std::string roundDecimal(const std::string& text, int n)
{
    const std::size_t point = text.find('.');
    std::string whole = point == std::string::npos ? text : text.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
    if (whole.empty())
        whole = "0";

    const bool roundUp = fraction.size() > static_cast<std::size_t>(n) && fraction[n] >= '5';
    fraction.resize(n, '0');
    std::string digits = whole + fraction;
    if (roundUp) {
        std::size_t i = digits.size();
        while (i > 0) {
            --i;
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
            if (i == 0)
                digits.insert(digits.begin(), '1');
        }
    }
    const std::size_t wholeLength = digits.size() - static_cast<std::size_t>(n);
    return digits.substr(0, wholeLength) + '.' + digits.substr(wholeLength);
}

}  // namespace

QString formatPv(float value, std::optional<int> decimals)
{
    if (!std::isfinite(value))
        return {};
    const int n = decimals ? std::clamp(*decimals, 0, 15) : 1;

    // The shortest decimal text that reads back as this float, so "2.675"
    // rounds as the recorder wrote it, not as its binary neighbour.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value), std::chars_format::fixed);
    std::string text = roundDecimal(std::string(buffer, result.ptr), n);

    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    if (value < 0 && !zero)
        text.insert(text.begin(), '-');
    return QString::fromLatin1(text);
}

}  // namespace rdxmon
