#pragma once
// The form tokens the login page has handed out and that have not been used yet.
// A token is good for one login attempt.  Holds at most `capacity` tokens and
// forgets the oldest first.  Safe from any thread: m_mutex guards m_tokens.
#include <mutex>
#include <string>

#include "bounded_map.h"

namespace velk::demo {

class TokenStore {
public:
    static constexpr size_t kDefaultCapacity = 20000;

    explicit TokenStore(size_t capacity = kDefaultCapacity) : m_tokens(capacity) {}

    // A fresh token, remembered until used or evicted.
    std::string issue();
    // True when token was issued and not used yet; either way it is used up now.
    bool redeem(const std::string& token);

private:
    std::mutex m_mutex;
    BoundedMap<bool> m_tokens;  // GUARDED_BY(m_mutex)
};

}  // namespace velk::demo
