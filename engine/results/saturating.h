#pragma once
// Sums of counts that stop at the type's largest value instead of wrapping:
// results brought together from several processes (or damaged ones that got
// past the checks) must never turn a large count into a negative one.
#include <cstdint>
#include <limits>

namespace velk {

inline int64_t addSaturated(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

inline int32_t addSaturated32(int32_t a, int64_t b) {
    const int64_t sum = addSaturated(int64_t(a), b);
    if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(sum);
}

inline uint64_t addSaturated(uint64_t a, uint64_t b) {
    uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<uint64_t>::max() : sum;
}

}  // namespace velk
