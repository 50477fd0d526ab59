#include "http/resend_rule.h"

#include "net/http2_session.h"

namespace velk {

ResendFacts resendFactsBefore(const HttpSession& s, const net::Connection& conn) {
    // Only the user's own connection is kept; a temporary one serves one exchange.
    const bool own = &conn == &s.connection;
    return ResendFacts{own && conn.isReusable(), own && goesAsHttp2(s, conn)};
}

bool resendsOnce(HttpSession& s, const ResendFacts& facts, const ResponseRecord& first) {
    if (!facts.reused || first.status.code() != StatusCode::kNetwork || !s.response.empty())
        return false;
    if (facts.http2 && s.http2) {
        if (s.http2->refusedOnReuse()) {
            s.log.write("HTTP/2: sending the refused request again on a new connection.\r\n");
            return true;
        }
        // Any other reset may come after the server acted on the request.
        if (s.http2->streamReset()) return false;
    }
    s.log.write("The server closed the kept-alive connection: reconnecting\r\n");
    return true;
}

}  // namespace velk
