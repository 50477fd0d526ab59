#pragma once
// Successful response times of one test-sequence position, gathered over users:
// smallest, largest, how many, and their 64-bit sum (microseconds).
//
// A plain value; not shared between threads.
#include <cstdint>
#include <limits>

#include "results/saturating.h"

namespace velk {

struct PositionTally {
    int32_t minimum = std::numeric_limits<int32_t>::max();  // as callers expect when empty
    int32_t maximum = 0;
    int64_t count = 0;
    int64_t sum = 0;

    bool empty() const { return count == 0; }
    void add(int32_t micros) { merge(micros, micros, 1, micros); }
    void merge(int32_t min, int32_t max, int64_t n, int64_t total) {
        if (n <= 0) return;
        if (min < minimum) minimum = min;
        if (max > maximum) maximum = max;
        count = addSaturated(count, n);
        sum = addSaturated(sum, total);
    }
};

}  // namespace velk
