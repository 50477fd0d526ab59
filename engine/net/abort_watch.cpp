#include "net/abort_watch.h"

#include "platform/clock.h"

namespace velk::net {

bool AbortWatch::aborted() const {
    if (m_flag == nullptr || m_flag->load(std::memory_order_relaxed) == 0) return false;
    if (m_graceMs <= 0) return true;
    const int64_t now = platform::tickMillis();
    if (m_seenAt < 0) m_seenAt = now;
    return now - m_seenAt >= m_graceMs;
}

}  // namespace velk::net
