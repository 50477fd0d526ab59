#pragma once
// The server and port that requests without their own $server go to.  They start
// as the server and port options and follow the host contacted last: every
// request's header block moves them, for all users of the test.
//
// Shared by all user threads of a run; every access is under the lock.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace velk {

struct Target {
    std::string server;
    int32_t port = 0;
};

class CurrentTarget {
public:
    void set(std::string_view server, int32_t port) {
        std::lock_guard lock(m_mutex);
        m_target.server.assign(server);
        m_target.port = port;
    }
    Target get() const {
        std::lock_guard lock(m_mutex);
        return m_target;
    }
    // Copies into out, reusing its storage (no allocation once it has grown).
    void copyTo(Target& out) const {
        std::lock_guard lock(m_mutex);
        out.server.assign(m_target.server);
        out.port = m_target.port;
    }
    int32_t port() const {
        std::lock_guard lock(m_mutex);
        return m_target.port;
    }

private:
    mutable std::mutex m_mutex;
    Target m_target;  // GUARDED_BY(m_mutex)
};

}  // namespace velk
