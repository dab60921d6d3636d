// The simulator's request parser on arbitrary line bytes fed in pieces. The
// input alternates a length byte (piece of 0 to 15 bytes) and the piece; the
// pieces joined are the line's bytes. However the bytes are cut, the parser
// must report the same requests, each well formed.
#include <algorithm>
#include <string_view>
#include <vector>

#include "RequestParser.h"
#include "fuzz_check.h"

namespace {

std::vector<rdxsim::Request> feedAll(const std::vector<std::string_view>& pieces)
{
    rdxsim::RequestParser parser;
    std::vector<rdxsim::Request> requests;
    for (std::string_view piece : pieces) {
        const std::vector<rdxsim::Request> more = parser.feed(piece);
        requests.insert(requests.end(), more.begin(), more.end());
    }
    return requests;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> pieces, bytes;
    std::string joined;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t length = std::min<std::size_t>(std::uint8_t(input[at]) % 16, input.size() - at - 1);
        pieces.push_back(input.substr(at + 1, length));
        joined.append(pieces.back());
        at += 1 + length;
    }
    for (std::size_t i = 0; i < joined.size(); ++i)
        bytes.push_back(std::string_view(joined).substr(i, 1));
    const std::vector<rdxsim::Request> requests = feedAll(pieces);
    FUZZ_CHECK(feedAll({joined}) == requests && feedAll(bytes) == requests);

    // A request is completed only by a CR LF, and is well formed.
    std::size_t lineEnds = 0;
    for (std::size_t at = joined.find("\r\n"); at != std::string::npos; at = joined.find("\r\n", at + 2))
        ++lineEnds;
    FUZZ_CHECK(requests.size() <= lineEnds);
    using Kind = rdxsim::Request::Kind;
    for (const rdxsim::Request& request : requests) {
        FUZZ_CHECK(request.text.find('\x1b') == std::string::npos && request.text.size() <= 128);
        const std::string name = request.kind == Kind::Open    ? "open "
                                 : request.kind == Kind::Close ? "close "
                                 : request.kind == Kind::Data  ? "data "
                                                               : "ts0";
        FUZZ_CHECK(request.kind == Kind::Open || request.kind == Kind::Close || request.kind == Kind::Data ||
                   (request.kind == Kind::Ts0 && request.text.empty()));
        FUZZ_CHECK(request.describe() == name + request.text);
    }
    return 0;
}
