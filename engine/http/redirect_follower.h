#pragma once
// What follows a successful response (status_line.h): its cookies are
// recorded, and while the answer redirects and redirects are not switched off
// (noredir), the "Location:" URL is requested, at most kMaxRedirects times in a
// row: after 301, 302 and 303 with a GET (a HEAD stays a HEAD), after 307 and
// 308 with the method and body of the request redirected.
//
// Runs on the user's thread, in the session's buffers.
#include <cstdint>
#include <string_view>

#include "http/request_executor.h"
#include "http/response_reader.h"

namespace velk {

struct HttpSession;

// A server that redirects in a circle cannot hold a user: the 21st redirect in a
// row is not followed and the request is an HTTP error.
inline constexpr int kMaxRedirects = 20;

// The exchange just made: where it went, so that a relative location stays there.
struct RedirectOrigin {
    int32_t port = 80;
    bool secure = false;
};

// Called with the record of the response in session.response, whose status is
// a success.  Records cookies, follows redirects (each counted as a
// request made and by status) and returns the record of the last response: its
// time the request's (plus each redirect's when sumredirecttime is set), its
// status an HTTP error when a redirect is answered with another status or the
// chain is too long, or a redirect's own failure.  body comes out as the body of
// the last response (none when a redirect failed before one).
ResponseRecord followRedirects(HttpSession& session, RedirectOrigin origin, ResponseRecord record,
                               BodyRef& body);

// Requests location once (the response replaces the previous one), with the
// method and body session.redirect holds.
ResponseRecord followRedirect(HttpSession& session, std::string_view location,
                              RedirectOrigin& origin);

}  // namespace velk
