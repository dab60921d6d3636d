// Splitting a recorder's reply into lines and reading its channel lines.
#ifndef RDXMON_POLLING_REPLY_H
#define RDXMON_POLLING_REPLY_H

#include <array>
#include <optional>
#include <string>

#include <QString>

namespace rdxmon {

// The tick's reply splitting. For i = 0..7: the text up to and including the
// first CR LF is stored in lines[i] and removed from the front of recvText;
// when no CR LF is left, lines[i] becomes empty and recvText is left as it
// is. lines[8] is not touched; text after the eighth line stays in recvText.
void splitReply(std::string& recvText, std::array<std::string, 9>& lines);

// What one channel line says (positions are 1-based, as on the line).
struct ChannelReading {
    bool skipped = false;  // "S" at position 1; value is then 0
    // The 10 characters at position 16 held a number within the
    // single-precision range. A burn-out or over-range text ("----",
    // blanks) or a huge number is no reading: numeric false, value 0.
    bool numeric = false;
    float value = 0.0f;  // the 10 characters at position 16, read leniently
    std::optional<int> decimals;  // set when position 23 is "-": positions 24-25, 0..15
};

ChannelReading readChannelLine(const std::string& line);

// The value label's text. With decimals n: at least one integer digit, a
// decimal point and exactly n decimals (n = 0 ends in the point: "12.");
// without: one decimal ("5.0", "0.0", "-3.3"). Rounding is half away from
// zero; a value that rounds to zero is shown without a minus sign.
QString formatPv(float value, std::optional<int> decimals);

}  // namespace rdxmon

#endif
