#pragma once
// One request as a test server received it: the exact bytes and the parts a test
// usually checks.  A plain value.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::test {

struct ReceivedRequest {
    std::string raw;  // exact bytes: request line, headers, blank line, body
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
    std::string body;
    int connection = 0;    // index of the accepted connection it came on
    int sequence = 0;      // index among all requests the server received
    int onConnection = 0;  // index among the requests of its connection

    // The first header of that name (any case); "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

// Parses the head (request line and headers, up to and including the blank line)
// into request; false when the request line has not three parts.
bool parseRequestHead(std::string_view head, ReceivedRequest& request);

// Content-Length of a parsed request; 0 when absent, -1 when it does not parse.
long long contentLengthOf(const ReceivedRequest& request);

}  // namespace velk::test
