#pragma once
// One request as a user makes it: choose the connection, compose, log, send,
// read and time the response, count its status and judge it.
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/result_codes.h"
#include "http/effective_request.h"

namespace velk {

struct HttpSession;

// The body of the last response: an offset into the session's response buffer.
using BodyRef = std::optional<size_t>;

// Executes request for the session.  Returns the response time in microseconds,
// or one of the error classes of base/result_codes.h.  previousBody comes in as the
// body of the user's last response and goes out as this response's body (none
// when the request failed before a body was read; unchanged when no connection
// could be made).  measuredMicros, when given, receives the response time before
// the round option rounded it (0 when the request failed), for response-time
// figures that should not lose a fast server's times.
// outcome, when given, receives what the request's last response was; its
// views stay valid until the session's next request.
struct ExchangeOutcome {
    int httpStatus = 0;         // 0 when no response was read
    std::string_view location;  // the last redirect's Location; empty when none
    std::string_view body;      // of the last response
};
int32_t executeRequest(HttpSession& session, const EffectiveRequest& request, BodyRef& previousBody,
                       int32_t* measuredMicros = nullptr, ExchangeOutcome* outcome = nullptr);

}  // namespace velk
