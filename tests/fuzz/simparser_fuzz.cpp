// The simulator's request parser on arbitrary line bytes fed in pieces. The
// input alternates a length byte (piece of 0 to 15 bytes) and the piece; the
// pieces joined are the line's bytes. However the bytes are cut, the parser
// must report the same requests, each well formed.
#include <algorithm>
#include <cstdint>
#include <string>
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
        std::vector<rdxsim::Request> more = parser.feed(piece);
        requests.insert(requests.end(), more.begin(), more.end());
    }
    return requests;
}

void checkWellFormed(const rdxsim::Request& request)
{
    FUZZ_CHECK(request.text.find('\x1b') == std::string::npos);
    FUZZ_CHECK(request.text.size() <= 128);
    const std::string description = request.describe();
    switch (request.kind) {
    case rdxsim::Request::Kind::Open:
        FUZZ_CHECK(description == "open " + request.text);
        break;
    case rdxsim::Request::Kind::Close:
        FUZZ_CHECK(description == "close " + request.text);
        break;
    case rdxsim::Request::Kind::Data:
        FUZZ_CHECK(description == "data " + request.text);
        break;
    case rdxsim::Request::Kind::Ts0:
        FUZZ_CHECK(request.text.empty() && description == "ts0");
        break;
    default:
        FUZZ_CHECK(!"unknown request kind");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> pieces;
    std::string joined;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t length = std::min<std::size_t>(static_cast<unsigned char>(input[at]) % 16,
                                                         input.size() - at - 1);
        pieces.push_back(input.substr(at + 1, length));
        joined.append(input.substr(at + 1, length));
        at += 1 + length;
    }

    const std::vector<rdxsim::Request> requests = feedAll(pieces);
    FUZZ_CHECK(feedAll({joined}) == requests);
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < joined.size(); ++i)
        bytes.push_back(std::string_view(joined).substr(i, 1));
    FUZZ_CHECK(feedAll(bytes) == requests);

    // A request is completed only by a CR LF.
    std::size_t lineEnds = 0;
    for (std::size_t at = joined.find("\r\n"); at != std::string::npos; at = joined.find("\r\n", at + 2))
        ++lineEnds;
    FUZZ_CHECK(requests.size() <= lineEnds);
    for (const rdxsim::Request& request : requests)
        checkWellFormed(request);
    return 0;
}
