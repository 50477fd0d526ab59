#pragma once
// Which connection a request or a redirect goes over, and when a new one is
// opened: the user's connection is reused while it is aimed at the main server
// and still open; another host gets a fresh connection.
//
// Runs on the user's thread.  Failures are written to the user's log and come
// back as -1 (as the connection's Status, from setUpUserConnection).
#include <cstdint>
#include <memory>
#include <string>

#include "net/connection.h"

namespace velk {

struct HttpSession;
struct EffectiveRequest;

// Sets up the user's connection when the user starts: through the proxy when one
// is configured, else for the server option (port 443 for a secure test on port
// 80).  Does not connect.  Ok, or the connection's failure: kInvalid with the
// line already written to the user's log when TLS is refused or the port is out
// of range, kNetwork without a message when the name does not resolve.
Status setUpUserConnection(HttpSession& session);

// Whether the request goes over TLS: $secure 2 yes, 1 no, 0 as the secure option.
bool requestIsSecure(const HttpSession& session, const EffectiveRequest& request);

// Makes the user's connection ready for request: reuses, re-aims or connects it
// and runs the proxy handshake.  0 ready, -1 failed (logged).
int selectConnectionForRequest(HttpSession& session, const EffectiveRequest& request, bool secure);

// The connection a redirect to host:port goes over: the user's own when it is
// open and aimed there (a forward proxy carries every host), else a temporary one
// that serves this one exchange, the user's own being closed.  Through a tunnel
// proxy the temporary connection gets a tunnel of its own to host:port.
// lastPort is the port of the exchange just made (the tunnel's target with
// session.currentHost).  0 ready, -1 failed (logged).
struct RedirectConnection {
    net::Connection* connection = nullptr;
    std::unique_ptr<net::Connection> temporary;
};
int selectConnectionForRedirect(HttpSession& session, const std::string& host, int32_t port,
                                bool secure, int32_t lastPort, RedirectConnection& out);

}  // namespace velk
