// The reply lines of a simulated RDX-512 recorder.
//
// Every line is   head (8) + data area + tail (3):
//   head  position 1    line kind: "I" identity, "T" status, "N" channel with
//                       a value, "S" skipped channel, "X" extra line
//         positions 2-3 recorder address, two digits
//         position 4    width code of the data area's fields: "!" for 8-char
//                       fields (lines 0 and 1), " " for 4-char fields
//         positions 5-6 line number in the reply, two digits
//         positions 7-8 blanks
//   tail  a check character ("0" + the sum of all preceding bytes modulo 64),
//         then CR LF
// Line 0 (identity) data: "RDX-512 ", "No.aa   ", date "YY/MM/DD".
// Line 1 (status) data:   reply sequence number (8 digits), time "HH:MM:SS",
//                         "CH=nn   " (channels asked for).
// Line 1 + c (channel c) data, positions counted in the whole line:
//   9-15  "Cnn    " channel number
//   16-25 value: with decimals, right-aligned in 16-22 and "-" plus two
//         digits (decimal places) in 23-25; without, left-aligned in 16-25
//         (so position 23 is never "-"); blank for a skipped channel
//   26-28 "OK " or "---" for a skipped channel
#ifndef RDXSIM_REPLYFORMAT_H
#define RDXSIM_REPLYFORMAT_H

#include <cstdint>
#include <string>
#include <vector>

namespace rdxsim {

// How one channel's value moves: a slow sine wave plus noise.
struct ChannelProfile {
    double center;
    double amplitude;
    double periodSeconds;
    double noise;  // largest noise excursion
    int decimals;  // 0 to 2, or -1 for a value written without a decimal tag
};

// The profile of channel c (from 1); channels beyond 6 repeat 1 to 6.
ChannelProfile channelProfile(int channel);

// The check character of the bytes of a line before its tail.
char checkCharacter(const std::string& lineBody);

// Builds one line from its parts (see above).
std::string buildLine(char kind, int address, char widthCode, int lineNumber, const std::string& data);

struct ReplySettings {
    std::uint64_t seed = 1;
    int skipChannel = 6;  // channel skipped on every skipEvery-th address
    int skipEvery = 5;  // 0: no channel skipped
};

class ReplyGenerator {
public:
    explicit ReplyGenerator(ReplySettings settings = {});

    bool skipped(int address, int channel) const;
    // The value of a channel at a time (milliseconds of the simulator's
    // clock) for one reply sequence number (which picks the noise).
    double value(int address, int channel, std::int64_t timeMs, std::uint32_t sequence) const;
    // The value text written at positions 16-25 of a channel line.
    std::string valueField(int address, int channel, std::int64_t timeMs, std::uint32_t sequence) const;
    // The count + 2 lines of a reply. wallMs is the time of day written into
    // the reply, as milliseconds since 1970-01-01 00:00 local time.
    std::vector<std::string> reply(int address, int count, std::int64_t timeMs, std::int64_t wallMs,
                                   std::uint32_t sequence) const;
    // A line a faulty recorder sends after its reply.
    std::string extraLine(int address, int lineNumber) const;

private:
    ReplySettings settings_;
};

}  // namespace rdxsim

#endif
