#pragma once
// One parsed HTTP/1.x request as the site sees it.  Header names are lower-cased;
// the target is split into path and raw (still percent-encoded) query.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::demo {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string query;
    int minorVersion = 1;  // HTTP/1.<minorVersion>
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header with this lower-case name, or empty.
    std::string_view header(std::string_view lowerName) const;
    // HTTP/1.1 keeps the connection unless asked to close; HTTP/1.0 always closes.
    bool keepAlive() const;
};

}  // namespace velk::demo
