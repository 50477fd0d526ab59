#pragma once
// velkrun --metrics ADDRESS:PORT: a small HTTP server on a thread of its own
// that answers GET /metrics with the run's live figures in the Prometheus text
// format (app/runner/metrics_exposition.h) while the test runs, and with the
// last figures once it has ended, until velkrun exits.
//
// It listens on a loopback address unless told that another is meant
// (--metrics-public): the figures name the requests and servers of the test.
// One connection at a time, each with a deadline, so a client that does not
// send cannot hold the endpoint; a request head is read up to kMaxHead bytes;
// only GET (and HEAD) of /metrics is answered, anything else gets its 4xx.
//
// Threads: the server thread renders from the watched test set under m_mutex;
// watch() and finish() take the same mutex, so a set is never read after
// finish() returned (the caller frees it then).
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "engine/base/status_or.h"
#include "velkcore.h"

namespace velk::cli {

struct MetricsAddress {
    std::string host;  // as the user wrote it ("127.0.0.1", "::1", "localhost")
    uint16_t port = 0;
};

// "HOST:PORT" or "[IPV6]:PORT"; kInvalid with a message otherwise.
StatusOr<MetricsAddress> parseMetricsAddress(const std::string& text);

class MetricsEndpoint {
public:
    static constexpr size_t kMaxHead = 8192;
    static constexpr int kConnectionDeadlineMs = 2000;

    MetricsEndpoint() = default;
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // Binds and starts serving (an empty run until watch()).  A non-loopback
    // address is refused unless allowPublic (kInvalid, as is a host that is no
    // address); kNetwork when it cannot listen.
    Status start(const MetricsAddress& address, bool allowPublic);
    // The URL scrapers use, with the port bound ("http://127.0.0.1:9464/metrics").
    const std::string& url() const { return m_url; }

    // Serves set's figures from now on, as a run of users users.
    void watch(TestSet* set, int32_t users);
    // Takes the set's final figures and stops reading it: call before the set is freed.
    void finish();

private:
    void serve();
    void answer(int fd);
    std::string body();

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::string m_url;
    std::thread m_thread;

    std::mutex m_mutex;
    TestSet* m_set = nullptr;  // GUARDED_BY(m_mutex)
    int32_t m_users = 0;       // GUARDED_BY(m_mutex)
    std::string m_final;       // GUARDED_BY(m_mutex): the figures once the run has ended
};

}  // namespace velk::cli
