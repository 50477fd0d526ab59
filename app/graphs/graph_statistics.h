#pragma once
// EntryStatistics: the largest, mean and smallest response time of one
// sequence entry over some values of a results record, in milliseconds.
//
// Values are the engine's: microseconds, or negative error codes that mean
// "no value".  2147483647 is the engine's "no minimum" mark and counts for the
// maximum and the mean but never as a minimum.  A summary-form entry holds
// five values (minimum, sum, count, maximum, 0) and is taken as they stand.
// Each figure is 0 when nothing gave it a value.  Not thread-safe; a plain
// value type.
#include <cstdint>
#include <vector>

#include "app/results/results_store.h"

namespace velk::graphs {

class EntryStatistics {
public:
    static constexpr int32_t kNoMinimum = 2147483647;

    void addValue(int32_t value);
    // One summary-form entry: minimum, sum, count, maximum (and a 0).
    void addSummary(const std::vector<int32_t>& values);
    // Every value of entry `entry` in the record, all rows; a summary-form
    // record gives its summary values.  Missing rows or entries add nothing.
    void addRecordEntry(const results::CResultsStore& record, size_t entry);

    double maximumMs() const;
    double averageMs() const;
    double minimumMs() const;

private:
    int64_t m_maximum = -1;
    int64_t m_minimum = INT64_MAX;
    double m_sum = 0;
    double m_count = 0;
};

// The figures of entries 0 .. stats.size() - 1 of the record in one pass over
// its rows: stats[k] gets what addRecordEntry(record, k) would add.
void addRecordEntries(const results::CResultsStore& record, std::vector<EntryStatistics>& stats);

}  // namespace velk::graphs
