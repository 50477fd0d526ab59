#pragma once
// The one place a request chooses between HTTP/1.x and HTTP/2.
//
// With the http2 option off, or through a forward proxy (which is spoken to in
// HTTP/1.1), or over TLS where the server did not choose "h2" by ALPN, the
// exchange is readResponse's, unchanged.  Otherwise the composed HTTP/1.1 request
// is sent as one stream of the connection's HTTP/2 session (net/http2_session.h)
// and the response is stored as HTTP/1.1-style text ("HTTP/1.1 200 OK", header
// lines, a blank line, the body), so cookies, redirects, $fail, extraction, the
// results and the log read it as they read any response.  The log gets one line
// saying the exchange went as HTTP/2.
//
// Runs on the user's thread (or task); failures come back as a network or
// time-out status with a line in the user's log, as readResponse's do.
#include <string_view>

#include "http/response_reader.h"

namespace velk {

struct HttpSession;
namespace net {
class Connection;
}

ResponseRecord exchangeOverConnection(HttpSession& session, net::Connection& conn,
                                      std::string_view request, bool keepAlive);

// Whether an exchange over conn goes as HTTP/2 under the session's options (for
// a TLS stream, what ALPN chose; in clear text, prior knowledge with http2=2).
bool goesAsHttp2(const HttpSession& session, const net::Connection& conn);

}  // namespace velk
