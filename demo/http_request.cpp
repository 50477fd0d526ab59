#include "http_request.h"

#include "text_util.h"

namespace velk::demo {

std::string_view HttpRequest::header(std::string_view lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName) return value;
    return {};
}

bool HttpRequest::keepAlive() const {
    if (minorVersion == 0) return false;
    // Connection is a comma-separated list of options.
    std::string_view options = header("connection");
    while (!options.empty()) {
        const size_t comma = options.find(',');
        if (equalsIgnoreCase(trim(options.substr(0, comma)), "close")) return false;
        if (comma == std::string_view::npos) break;
        options.remove_prefix(comma + 1);
    }
    return true;
}

}  // namespace velk::demo
