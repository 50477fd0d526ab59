#include "session_store.h"

#include "random_token.h"

namespace velk::demo {

std::string SessionStore::open(const std::string& user) {
    std::string id = randomToken();
    std::lock_guard lock(m_mutex);
    m_sessions.put(id, user);
    return id;
}

std::optional<std::string> SessionStore::user(const std::string& sessionId) const {
    std::lock_guard lock(m_mutex);
    return m_sessions.get(sessionId);
}

void SessionStore::close(const std::string& sessionId) {
    std::lock_guard lock(m_mutex);
    m_sessions.erase(sessionId);
}

}  // namespace velk::demo
