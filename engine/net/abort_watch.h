#pragma once
// When the run behind an abort flag counts as aborted for one user's waits: at
// once, or only after a grace period, so that a script-driven user's script can
// still make the last request it is allowed before its own watchdog stops it.
//
// Belongs to one user (its waits run on the user's thread); the flag it reads is
// the run's shared atomic abort flag.
#include <atomic>
#include <cstdint>

namespace velk::net {

class AbortWatch {
public:
    // Watches flag (null: never aborted); graceMs counts from when a wait first
    // sees the flag set.
    void watch(const std::atomic<int32_t>* flag, int64_t graceMs = 0) {
        m_flag = flag;
        m_graceMs = graceMs;
        m_seenAt = -1;
    }
    bool aborted() const;

private:
    const std::atomic<int32_t>* m_flag = nullptr;
    int64_t m_graceMs = 0;
    mutable int64_t m_seenAt = -1;
};

}  // namespace velk::net
