#pragma once
// LiveRequests: each request name's results of a run in progress, for a
// scraper: results by outcome, the timed responses' sum and a histogram whose
// bounds are every fourth boundary of LiveLatency's buckets (two to each power
// of two of microseconds, 128 us to about 50 s).  Fixed memory: at most
// kMaxNames names; past that the last one stands for all the others.
//
// Threads: prepare() on the driver's thread before the users start; record()
// from any user's thread or task (relaxed increments, no lock); read() and
// names() from any thread, at any time (the names are guarded by a mutex,
// the counts are atomics).
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "base/thread_annotations.h"

namespace velk {

class LiveRequests {
public:
    static constexpr int kMaxNames = 32;
    static constexpr int kBuckets = 38;
    static constexpr const char* kOtherName = "(other requests)";

    struct Reading {
        std::string name;
        std::array<int64_t, 5> results{};  // timed, network, HTTP, failed check, time-out
        int64_t timedSumMicros = 0;
        std::array<int64_t, kBuckets> below{};  // cumulative
    };

    // Gives each latency slot (the user's response-time figures: test
    // sequence, then init, then final entries) the index of its name, and
    // starts every count at 0.
    void prepare(const std::vector<std::string>& slotNames) EXCLUDES(m_mutex);
    // The name index of a latency slot, -1 for none.  Read-only during a run.
    int nameOf(int32_t slot) const {
        return slot >= 0 && size_t(slot) < m_nameOfSlot.size() ? m_nameOfSlot[size_t(slot)] : -1;
    }
    // A result of name index: a time in microseconds, or an error class.
    void record(int name, int32_t result);

    size_t count() const EXCLUDES(m_mutex);
    bool read(size_t index, Reading& out) const EXCLUDES(m_mutex);

    // The upper bound of bucket i in microseconds (exclusive), and the bucket
    // of a time (kBuckets when it is past the last bound).
    static int64_t boundMicros(int i);
    static int bucketOf(int64_t micros);

private:
    struct alignas(64) Counts {
        std::array<std::atomic<int64_t>, 5> results{};
        std::atomic<int64_t> timedSumMicros{0};
        std::array<std::atomic<int64_t>, kBuckets> within{};  // not cumulative
    };

    std::array<Counts, kMaxNames> m_counts{};
    mutable Mutex m_mutex;
    std::vector<std::string> m_names GUARDED_BY(m_mutex);
    std::vector<int> m_nameOfSlot;  // written by prepare() only, before users run
};

}  // namespace velk
