#pragma once
// Counters that every user of a run adds to: HTTP requests sent and responses per
// status code.  Shared by all user threads; atomic, relaxed (they only count).
// The first host name of the run that did not resolve is kept under its mutex.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/mutex.h"

namespace velk {

struct HttpCounters {
    static constexpr int kStatusCodes = 1000;

    std::atomic<int32_t> httpRequests{0};
    // Bytes of the requests that have ended, for live figures (each user keeps
    // its own exact totals for the report).
    std::atomic<uint64_t> bytesSent{0};
    std::atomic<uint64_t> bytesReceived{0};
    std::array<std::atomic<int32_t>, kStatusCodes> statusCodes{};

    void clearStatusCodes() {
        for (auto& c : statusCodes) c.store(0, std::memory_order_relaxed);
    }
    void clearTraffic() {
        bytesSent.store(0, std::memory_order_relaxed);
        bytesReceived.store(0, std::memory_order_relaxed);
    }
    void countStatus(int code) {
        if (code >= 0 && code < kStatusCodes)
            statusCodes[size_t(code)].fetch_add(1, std::memory_order_relaxed);
    }

    // Longest host name kept.
    static constexpr size_t kMaxHostName = 255;
    void noteUnresolved(std::string_view host) {
        if (m_anyUnresolved.load(std::memory_order_relaxed)) return;
        MutexLock lock(m_mutex);
        if (!m_unresolved.empty()) return;
        m_unresolved.assign(host.substr(0, kMaxHostName));
        m_anyUnresolved.store(true, std::memory_order_relaxed);
    }
    std::string unresolvedHost() const {
        MutexLock lock(m_mutex);
        return m_unresolved;
    }
    void clearUnresolved() {
        MutexLock lock(m_mutex);
        m_unresolved.clear();
        m_anyUnresolved.store(false, std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_anyUnresolved{false};
    mutable Mutex m_mutex;
    std::string m_unresolved GUARDED_BY(m_mutex);
};

}  // namespace velk
