#include "http/response_header_scan.h"

#include "http/response_head.h"

namespace velk {

HeaderScan scanResponseHeaders(std::string_view response, CookieList& cookies) {
    ResponseHead head;
    head.start(false);
    HeaderScan scan{response.size(), {}};
    for (size_t pos = 0; pos < response.size();) {
        const size_t newline = response.find('\n', pos);
        const size_t next = newline == std::string_view::npos ? response.size() : newline + 1;
        const ResponseHead::Verdict verdict =
            head.take(response.substr(pos, next - pos), pos, next);
        pos = next;
        if (verdict == ResponseHead::Verdict::kEnd) {
            scan.body = head.body();
            break;
        }
    }
    for (const TextSpan& cookie : head.cookies()) recordSetCookie(cookie.in(response), cookies);
    scan.location = head.location().in(response);
    return scan;
}

}  // namespace velk
