#include "token_store.h"

#include "random_token.h"

namespace velk::demo {

std::string TokenStore::issue() {
    std::string token = randomToken();
    std::lock_guard lock(m_mutex);
    m_tokens.put(token, true);
    return token;
}

bool TokenStore::redeem(const std::string& token) {
    std::lock_guard lock(m_mutex);
    return m_tokens.take(token).has_value();
}

}  // namespace velk::demo
