#include "http/response_header_scan.h"

#include "base/ascii.h"

namespace velk {

HeaderScan scanResponseHeaders(std::string_view response, int status, CookieList& cookies) {
    HeaderScan scan;
    int blocksLeft = status == 100 ? 2 : 1;
    size_t pos = 0;
    while (pos < response.size()) {
        size_t newline = response.find('\n', pos);
        size_t next = newline == std::string_view::npos ? response.size() : newline + 1;
        std::string_view line = response.substr(pos, next - pos);
        pos = next;
        if (line.ends_with('\n')) line.remove_suffix(1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) {
            if (--blocksLeft == 0) {
                scan.body = pos;
                return scan;
            }
            continue;
        }
        if (startsWithNoCase(line, "Location:")) {
            std::string_view value = line.substr(9);
            while (!value.empty() && (value[0] == ' ' || value[0] == '\t')) value.remove_prefix(1);
            scan.location = value;
        } else if (startsWithNoCase(line, "Set-Cookie:")) {
            recordSetCookie(line.substr(11), cookies);
        }
    }
    scan.body = response.size();
    return scan;
}

}  // namespace velk
