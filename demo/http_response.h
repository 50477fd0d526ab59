#pragma once
// One response of the site before it goes on the wire.  Every response is HTML
// (Content-Type: text/html; charset=utf-8) and carries a Content-Length.  A value
// type; not safe for concurrent modification.
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::demo {

struct HttpResponse {
    int status = 200;
    // Headers beyond Content-Type, Content-Length and Connection (Location, Set-Cookie).
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // How long the server waits before sending (the slow page); cut short on stop.
    std::chrono::milliseconds delay{0};

    // Status line, headers and, unless withBody is false (HEAD), the body.
    std::string toBytes(bool keepAlive, bool withBody = true) const;

    static std::string_view reasonPhrase(int status);
};

}  // namespace velk::demo
