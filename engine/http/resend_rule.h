#pragma once
// The one rule for sending a request again, for HTTP/1.x and HTTP/2 alike.
//
// A connection kept from an earlier exchange may have been given up by the
// server in the meantime; the request is then sent once more, on a new
// connection, when the server gave no sign of having taken it:
//   - the connection ended before any byte of the answer came (HTTP/1.x, or an
//     HTTP/2 connection closed under the stream);
//   - the HTTP/2 server refused the stream unprocessed (REFUSED_STREAM, or a
//     GOAWAY below the stream).
// Never on a fresh connection, never after part of an answer or another stream
// reset, and never a second time: the resend's failure stands.
//
// Runs on the user's thread (or task).
#include <string_view>

#include "http/http2_exchange.h"
#include "http/http_session.h"
#include "net/connection.h"

namespace velk {

// What was known of the connection before the exchange.
struct ResendFacts {
    bool reused = false;  // kept from an earlier exchange
    bool http2 = false;   // the exchange went as an HTTP/2 stream of the user's session
};

ResendFacts resendFactsBefore(const HttpSession& session, const net::Connection& conn);

// Whether the failed first exchange is sent once more; says so in the user's log.
bool resendsOnce(HttpSession& session, const ResendFacts& facts, const ResponseRecord& first);

// One exchange of request over conn, sent again at most once as resendsOnce()
// says, after conn was closed and reopen() gave a new connection (false: the
// first failure stands).
template <class Reopen>
ResponseRecord exchangeResendingOnce(HttpSession& session, net::Connection& conn,
                                     std::string_view request, bool keepAlive, Reopen&& reopen) {
    const ResendFacts facts = resendFactsBefore(session, conn);
    ResponseRecord record = exchangeOverConnection(session, conn, request, keepAlive);
    if (!resendsOnce(session, facts, record)) return record;
    conn.close();
    conn.setReusable(false);
    if (!reopen()) return record;
    return exchangeOverConnection(session, conn, request, keepAlive);
}

}  // namespace velk
