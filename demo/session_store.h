#pragma once
// Logged-in sessions: session cookie value -> user name.  Holds at most `capacity`
// sessions and drops the oldest first.  Safe from any thread: m_mutex guards
// m_sessions.
#include <mutex>
#include <optional>
#include <string>

#include "bounded_map.h"

namespace velk::demo {

class SessionStore {
public:
    static constexpr size_t kDefaultCapacity = 20000;

    explicit SessionStore(size_t capacity = kDefaultCapacity) : m_sessions(capacity) {}

    // Starts a session for user and returns its cookie value.
    std::string open(const std::string& user);
    // The user of a live session, or nullopt.
    std::optional<std::string> user(const std::string& sessionId) const;
    void close(const std::string& sessionId);

private:
    mutable std::mutex m_mutex;
    BoundedMap<std::string> m_sessions;  // GUARDED_BY(m_mutex)
};

}  // namespace velk::demo
