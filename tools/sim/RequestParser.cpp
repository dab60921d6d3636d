#include "RequestParser.h"

#include <algorithm>

namespace rdxsim {

namespace {
constexpr char kEsc = 27;
// A line longer than this is noise; only its tail is kept.
constexpr std::size_t kMaxLine = 128;
}  // namespace

std::string Request::describe() const
{
    switch (kind) {
    case Kind::Open:
        return "open " + text;
    case Kind::Ts0:
        return "ts0";
    case Kind::Data:
        return "data " + text;
    case Kind::Close:
        return "close " + text;
    }
    return {};
}

std::optional<long> leadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return std::nullopt;
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 100000000)
            value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::vector<Request> RequestParser::feed(std::string_view bytes)
{
    std::vector<Request> out;
    for (char c : bytes) {
        if (c == kEsc) {
            line_.assign(1, kEsc);
        } else if (c == '\n' && !line_.empty() && line_.back() == '\r') {
            // The line is its last kMaxLine bytes with the CR, less the CR.
            std::string_view line(line_);
            line.remove_prefix(line.size() - std::min(line.size(), kMaxLine));
            line.remove_suffix(1);
            finishLine(line, out);
            line_.clear();
        } else {
            // Only the tail of a longer line counts; it is cut down now and
            // then rather than at every byte.
            line_.push_back(c);
            if (line_.size() > 2 * kMaxLine)
                line_.erase(0, line_.size() - kMaxLine);
        }
    }
    return out;
}

void RequestParser::finishLine(std::string_view line, std::vector<Request>& out)
{
    const bool wasAfterT = afterT_;
    afterT_ = false;
    if (!line.empty() && line[0] == kEsc) {
        const std::string_view command = line.substr(1);
        if (command.starts_with("O ")) {
            out.push_back({Request::Kind::Open, std::string(command.substr(2))});
        } else if (command.starts_with("C ")) {
            out.push_back({Request::Kind::Close, std::string(command.substr(2))});
        } else if (command == "T") {
            afterT_ = true;
        }
        return;
    }
    if (line.find("TS0") != std::string_view::npos) {
        out.push_back({Request::Kind::Ts0, {}});
        return;
    }
    static constexpr std::string_view kFormat = "FM0,01,";
    if (const auto at = line.find(kFormat); wasAfterT && at != std::string_view::npos) {
        out.push_back({Request::Kind::Data, std::string(line.substr(at + kFormat.size()))});
    }
}

}  // namespace rdxsim
