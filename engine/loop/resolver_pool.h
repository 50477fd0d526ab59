#pragma once
// Name look-ups for tasks on event loops.  getaddrinfo blocks for network time,
// so it never runs on a loop thread: a few resolver threads do it and hand the
// answer back through the waiting task's loop (post + wake).  Answers are
// cached by host name for the pool's life (one pool per run).  A name that is
// not a well-formed host name fails at once, without a look-up.
//
// Thread-safe.  Destroy the pool before the loops it answers to: its threads
// post to them.  Look-ups still queued at destruction are dropped (their tasks
// are woken by the loop's stop()).
#include <sys/socket.h>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/cond_var.h"
#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "loop/event_loop.h"
#include "platform/thread.h"

namespace velk::loop {

struct ResolvedAddress {
    sockaddr_storage address{};  // port 0: the caller sets its own
    socklen_t length = 0;
};

struct ResolveResult {
    std::vector<ResolvedAddress> addresses;
    std::string error;  // empty when addresses were found
    bool ok() const { return error.empty(); }
};

class ResolverPool {
public:
    explicit ResolverPool(size_t threads = 2);
    ~ResolverPool();
    ResolverPool(const ResolverPool&) = delete;
    ResolverPool& operator=(const ResolverPool&) = delete;

    // From a task on an event loop: looks host up, parking the task meanwhile.
    ResolveResult resolve(const std::string& host, Deadline deadline = kNoDeadline)
        EXCLUDES(m_mutex);
    // Whether host is a syntactically valid name or address literal.
    static bool isWellFormedHost(const std::string& host);
    size_t lookups() const EXCLUDES(m_mutex);  // look-ups actually made (cache misses)

private:
    struct Request;
    void work() EXCLUDES(m_mutex);
    static ResolveResult lookUp(const std::string& host);

    mutable Mutex m_mutex;
    CondVar m_queued;
    std::deque<std::shared_ptr<Request>> m_queue GUARDED_BY(m_mutex);
    std::map<std::string, ResolveResult> m_cache GUARDED_BY(m_mutex);
    size_t m_lookups GUARDED_BY(m_mutex) = 0;
    bool m_closing GUARDED_BY(m_mutex) = false;
    std::vector<platform::Thread> m_threads;
};

}  // namespace velk::loop
