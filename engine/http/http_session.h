#pragma once
// What one virtual user needs to send requests and read responses: its
// connection, buffers, referrer, cookies, variables and traffic counters, and
// borrowed references to the test's options and shared run state.
//
// Owned by one user thread; the shared parts it borrows (CurrentTarget,
// HttpCounters) guard themselves.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/text_buffer.h"
#include "http/current_target.h"
#include "http/http_counters.h"
#include "http/redirect_location.h"
#include "http/response_budget.h"
#include "http/response_head.h"
#include "http/user_log.h"
#include "net/abort_watch.h"
#include "net/connection.h"
#include "net/http2_session.h"
#include "net/proxy_spec.h"
#include "script/general_options.h"
#include "script/user_random.h"

namespace velk {

// Longest referrer kept.
inline constexpr size_t kMaxPreviousUrl = 511;

// Bytes that are written before they are read: unlike a vector's, a resize
// does not fill them, so pages a user never writes cost it no memory.
class ScratchBytes {
public:
    ScratchBytes() = default;
    ScratchBytes(ScratchBytes&& other) noexcept
        : m_bytes(std::move(other.m_bytes)), m_size(std::exchange(other.m_size, 0)) {}
    ScratchBytes& operator=(ScratchBytes&& other) noexcept {
        m_bytes = std::move(other.m_bytes);
        m_size = std::exchange(other.m_size, 0);
        return *this;
    }
    char* data() { return m_bytes.get(); }
    size_t size() const { return m_size; }
    void resize(size_t size) {
        m_bytes = std::make_unique_for_overwrite<char[]>(size);
        m_size = size;
    }

private:
    std::unique_ptr<char[]> m_bytes;
    size_t m_size = 0;
};

struct HttpSession {
    HttpSession(const GeneralOptions& options, const std::vector<std::string>& headers,
                CurrentTarget& target, HttpCounters& counters)
        : options(options), commonHeaders(headers), target(target), counters(counters) {}
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Borrowed from the test.
    const GeneralOptions& options;
    const std::vector<std::string>& commonHeaders;
    CurrentTarget& target;
    HttpCounters& counters;

    // Who this user is.
    int32_t userIndex = 0;
    uint32_t completedPasses = 0;
    UserRandom random;

    // Where requests go.
    net::ProxySpec proxy;
    net::Connection connection;
    net::AbortWatch abortWatch;  // the connections' view of the run's abort
    // The HTTP/2 session over connection, once a request went as HTTP/2, and
    // whether the log has said that a server did not offer HTTP/2.
    std::unique_ptr<net::Http2Session> http2;
    bool http2FallbackNoted = false;
    std::string connectionHost;  // where the connection was last initialised for
    int32_t connectionPort = 0;
    bool aimedAtMainServer = false;
    std::string currentHost;  // host of the request composed last
    Target current;           // scratch copy of the test's current target

    // Buffers reused for every request.  They grow to what the user's pages
    // need and keep it; small starts (and none for a user that sends no body)
    // keep thousands of users small.
    TextBuffer request{512};
    TextBuffer data{128};
    TextBuffer response{1024};
    // The run's budget for stored responses (none: only the per-response cap)
    // and what this user has taken from it; given back when the user ends.
    ResponseBudget* responseBudget = nullptr;
    size_t responseAllowance = 0;
    // Header lines and body pieces on their way in; held only while a response
    // is read (the response reader lends it from its thread's pool).
    ScratchBytes work;
    int32_t readSize = 4096;
    // What the last response's header said, as the reader found it.
    ResponseHead head;

    std::string previousUrl;
    RedirectScratch redirect;
    std::vector<std::pair<std::string, std::string>> cookies;
    std::map<std::string, std::string, std::less<>> variables;
    std::vector<int32_t> slots;

    UserLog log;

    // Traffic, added up by the response reader.
    int32_t requestsMade = 0;
    uint64_t bytesSent = 0;
    double sendTimeMs = 0;
    uint64_t bytesReceived = 0;
    double receiveTimeMs = 0;
};

}  // namespace velk
