// The simulator's request parser on arbitrary line bytes fed in pieces. The
// input alternates a length byte (piece of 0 to 15 bytes) and the piece; the
// pieces joined are the line's bytes. However the bytes are cut, the parser
// must report the same requests, each well formed.
#include <algorithm>
#include <iterator>
#include <string_view>
#include <vector>

#include "RequestParser.h"
#include "fuzz_check.h"

namespace {

// The requests the parser reports when fed the pieces one after the other.
std::vector<rdxsim::Request> feedAll(const std::vector<std::string_view>& pieces)
{
    rdxsim::RequestParser parser;
    std::vector<rdxsim::Request> requests;
    for (std::string_view piece : pieces) {
        std::vector<rdxsim::Request> more = parser.feed(piece);
        if (!more.empty())
            requests.insert(requests.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return requests;
}

// The same, fed one byte at a time.
std::vector<rdxsim::Request> feedByteByByte(std::string_view bytes)
{
    rdxsim::RequestParser parser;
    std::vector<rdxsim::Request> requests;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::vector<rdxsim::Request> more = parser.feed(std::string_view(bytes.data() + i, 1));
        if (!more.empty())
            requests.insert(requests.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return requests;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> pieces;
    pieces.reserve(input.size() / 8 + 1);  // a piece takes 8.5 bytes on average
    std::string joined;
    joined.reserve(input.size());
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t length = std::min<std::size_t>(std::uint8_t(input[at]) % 16, input.size() - at - 1);
        pieces.push_back(input.substr(at + 1, length));
        joined.append(pieces.back());
        at += 1 + length;
    }
    const std::vector<rdxsim::Request> requests = feedAll(pieces);
    FUZZ_CHECK(feedAll({joined}) == requests && feedByteByByte(joined) == requests);

    // A request is completed only by a CR LF, and is well formed.
    std::size_t lineEnds = 0;
    for (std::size_t at = joined.find("\r\n"); at != std::string::npos; at = joined.find("\r\n", at + 2))
        ++lineEnds;
    FUZZ_CHECK(requests.size() <= lineEnds);
    using Kind = rdxsim::Request::Kind;
    for (const rdxsim::Request& request : requests) {
        FUZZ_CHECK(request.text.find('\x1b') == std::string::npos && request.text.size() <= 128);
        const std::string name = request.kind == Kind::Open ? "open "
            : request.kind == Kind::Close                   ? "close "
            : request.kind == Kind::Data                    ? "data "
                                                            : "ts0";
        FUZZ_CHECK(request.kind == Kind::Open || request.kind == Kind::Close || request.kind == Kind::Data
                   || (request.kind == Kind::Ts0 && request.text.empty()));
        FUZZ_CHECK(request.describe() == name + request.text);
    }
    return 0;
}
