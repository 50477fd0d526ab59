#include "results/aggregate_record.h"

#include <algorithm>
#include <limits>

namespace velk {

std::vector<PositionTally> tallyAggregated(std::span<const UserRecord* const> users,
                                           size_t positions) {
    std::vector<PositionTally> tallies(positions);
    for (const UserRecord* user : users) {
        if (!user || user->results.mode() != ResultMode::Aggregated) continue;
        const UserResults& r = user->results;
        size_t n = std::min(positions, size_t(std::max(r.positions(), 0)));
        for (size_t k = 0; k < n; ++k) {
            int32_t p = int32_t(k);
            tallies[k].merge(r.minimum(p), r.maximum(p), r.count(p), r.sum(p));
        }
    }
    return tallies;
}

std::vector<AggregateRecord> aggregateForCaller(std::span<const UserRecord* const> users,
                                                size_t positions) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    std::vector<AggregateRecord> records;
    records.reserve(positions);
    for (const PositionTally& t : tallyAggregated(users, positions)) {
        int64_t sum = t.sum;
        int64_t count = t.count;
        // Halving both keeps sum / count, the one figure callers derive from them.
        while (sum > kMax) {
            sum /= 2;
            count /= 2;
        }
        records.push_back({t.minimum, int32_t(sum), int32_t(std::min(count, kMax)), t.maximum});
    }
    return records;
}

}  // namespace velk
