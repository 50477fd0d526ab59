#pragma once
// The per-position records a caller receives for an aggregated (nodetails) run,
// and the unscaled tallies they are made from.
#include <cstdint>
#include <span>
#include <vector>

#include "results/position_tally.h"
#include "results/run_record.h"

namespace velk {

// Four 32-bit values per position, in the order callers read them.  sum / count
// is the average; both are halved together until sum fits in 31 bits.
struct AggregateRecord {
    int32_t minimum;  // 2147483647 when there was no successful time
    int32_t sum;
    int32_t count;
    int32_t maximum;  // 0 when there was no successful time
};
static_assert(sizeof(AggregateRecord) == 16);

// Adds up the aggregated results of all users per position, without scaling.
// Users whose results are not aggregated, and null entries, are skipped.
std::vector<PositionTally> tallyAggregated(std::span<const UserRecord* const> users,
                                           size_t positions);

// The records GetResults hands out for an aggregated run.
std::vector<AggregateRecord> aggregateForCaller(std::span<const UserRecord* const> users,
                                                size_t positions);

}  // namespace velk
