// Request parser of the recorder simulator.
//
// The line carries four kinds of request, all ASCII, each ended by CR LF:
//   open command   ESC "O " address
//   "TS0" line     "TS0"
//   data request   ESC "T", then on the next line "FM0,01," count
//   close command  ESC "C " address
// Bytes arrive in pieces of any size. An ESC always starts a new command, so
// noise in front of a command is dropped; lines that match nothing are
// ignored.
#ifndef RDXSIM_REQUESTPARSER_H
#define RDXSIM_REQUESTPARSER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rdxsim {

struct Request {
    enum class Kind {
        Open,
        Ts0,
        Data,
        Close
    };
    Kind kind;
    // The address (open, close) or the count (data request) as received.
    std::string text;

    // One-line description, e.g. "open 05", "ts0", "data 06", "close 05".
    std::string describe() const;
    bool operator==(const Request&) const = default;
};

// The number at the start of text, read as decimal: leading blanks skipped,
// digits taken; nothing when no digit follows the blanks.
std::optional<long> leadingNumber(std::string_view text);

class RequestParser {
public:
    // Takes the next bytes from the line; returns the requests they complete.
    std::vector<Request> feed(std::string_view bytes);

private:
    void finishLine(std::string_view line, std::vector<Request>& out);

    std::string line_;  // the line so far (of a long one, at least its tail)
    bool afterT_ = false;  // the previous line was ESC "T"
};

}  // namespace rdxsim

#endif
