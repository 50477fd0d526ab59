#pragma once
// Counters that every user of a run adds to: HTTP requests sent and responses per
// status code.  Shared by all user threads; atomic, relaxed (they only count).
#include <array>
#include <atomic>
#include <cstdint>

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
};

}  // namespace velk
