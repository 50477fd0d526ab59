#pragma once
// Sends one composed request and reads its whole response into the session's
// response buffer (header lines as received, then the body, de-chunked), timing
// it by the timingmode option and rounding it by the round option.
//
// Runs on the user's thread.  Network failures never raise: they come back as
// -1 (network error) or -4 (time-out) with a line in the user's log.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/result_codes.h"

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

// Sends request over conn and reads the response.  keepAlive comes in as the
// request's flag and goes out as whether the connection stays open.  Returns the
// response time in microseconds, or kResultNetwork / kResultTimeout.
int32_t readResponse(HttpSession& session, net::Connection& conn, std::string_view request,
                     bool& keepAlive);

}  // namespace velk
