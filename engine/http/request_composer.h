#pragma once
// Turns one request definition, as one user runs it, into the exact bytes sent:
// request line, header block and, for a method that carries one, the body
// (urlencoded, multipart or raw content).  Works in the session's reusable
// buffers.  What a 307 or 308 redirect sends again (method, body headers) is
// noted in session.redirect.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/effective_request.h"

namespace velk {

struct HttpSession;

// Fills session.data with the query string (GET, HEAD) or the body (the other
// methods).
void buildParameterData(HttpSession& session, const EffectiveRequest& request,
                        std::optional<std::string_view> previousBody);

// Appends the header block every request carries (Host, Referer, Cookie, the
// common headers, Pragma, X-Forwarded-For) to session.request, and makes host and
// port the current target of the test.
void composeHeaders(HttpSession& session, std::string_view host, int32_t port);

// The X-Forwarded-For address made from a mask: $C1/$C2 from the user index,
// $R1/$R2 from the completed passes.
std::string forwardedForAddress(std::string_view mask, int32_t userIndex, uint32_t passes);

// Composes the whole request into session.request (session.data must hold the
// parameter data).  A uri expression ($action, $href, $var) takes its target
// from previousBody or the user's variables, else the uri option.  Returns the
// path to use in the referrer of the next request (it may point into
// previousBody, so use it before the response buffer changes).
std::string_view composeRequest(HttpSession& session, const EffectiveRequest& request, bool secure,
                                std::optional<std::string_view> previousBody = std::nullopt);

}  // namespace velk
