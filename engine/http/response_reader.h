#pragma once
// Sends one composed request and reads its whole response into the session's
// response buffer (header lines as received, then the body, de-chunked), timing
// it by the timingmode option and rounding it by the round option.
//
// The header is read once, as it arrives (ResponseHead), and what it says comes
// back as one ResponseRecord that the rest of the request reads.
//
// Runs on the user's thread.  Network failures never raise: they come back as a
// network or time-out status with a line in the user's log.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/status.h"
#include "http/cookie_list.h"
#include "http/response_head.h"

namespace velk {

struct HttpSession;
namespace net {
class Connection;
}

// Most response bytes kept in memory; bytes beyond it are read, timed and
// counted, but not stored, so an endless body cannot exhaust memory.
inline constexpr size_t kMaxStoredResponse = size_t(64) << 20;
// Largest chunk a chunked body may announce.
inline constexpr int64_t kMaxChunkSize = int64_t(1) << 31;

// Rounds a time in microseconds down to a multiple of roundMs milliseconds
// (no rounding when roundMs is 0 or less).
int64_t roundResponseTime(int64_t micros, double roundMs);

// One exchange as read.  Views and offsets point into session.response and
// hold until the next exchange of the session.
struct ResponseRecord {
    // Ok when the response was read whole, else kNetwork or kTimeout (the reason
    // is in the user's log) and the fields below are not set.  The request's
    // later steps may turn a response read whole into kHttp or kFail.
    Status status;
    int32_t time = 0;                   // microseconds, by the timingmode and round options
    int32_t measured = 0;               // the same time before rounding (response-time figures)
    int httpStatus = 0;                 // of the status line; 0 when there is none
    size_t body = 0;                    // where the body starts in session.response
    std::string_view location;          // the last Location value; empty when none
    std::span<const TextSpan> cookies;  // each Set-Cookie value, in order
    bool keepAlive = false;             // whether the connection stays open

    static ResponseRecord failed(StatusCode code) {
        ResponseRecord record;
        record.status = Status(code);
        return record;
    }

    // Applies the response's Set-Cookie values to a user's cookies.
    void recordCookies(std::string_view response, CookieList& list) const {
        for (const TextSpan& cookie : cookies) recordSetCookie(cookie.in(response), list);
    }
};

// Sends request over conn and reads the response into session.response.
// keepAlive: whether the request asked to keep the connection.
ResponseRecord readResponse(HttpSession& session, net::Connection& conn, std::string_view request,
                            bool keepAlive);

}  // namespace velk
