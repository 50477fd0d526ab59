#include "app/graphs/graph_statistics.h"

#include <algorithm>

namespace velk::graphs {

namespace {
constexpr double kMsPerUnit = 0.001;
}

void EntryStatistics::addValue(int32_t value) {
    if (value < 0) return;
    m_maximum = std::max<int64_t>(m_maximum, value);
    m_sum += value;
    m_count += 1;
    if (value != kNoMinimum) m_minimum = std::min<int64_t>(m_minimum, value);
}

void EntryStatistics::addSummary(const std::vector<int32_t>& values) {
    if (values.size() < 4) return;
    const int32_t minimum = values[0], sum = values[1], count = values[2], maximum = values[3];
    if (maximum >= 0) m_maximum = std::max<int64_t>(m_maximum, maximum);
    if (minimum >= 0 && minimum != kNoMinimum) m_minimum = std::min<int64_t>(m_minimum, minimum);
    // The engine halves sum and count together, so only their ratio is
    // meaningful; a record with a count but a negative sum has no mean.
    if (count > 0 && sum >= 0) {
        m_sum += sum;
        m_count += count;
    }
}

void EntryStatistics::addRecordEntry(const results::CResultsStore& record, size_t entry) {
    for (const auto& row : record.timings) {
        if (entry >= row.size()) continue;
        if (record.summaryForm) {
            addSummary(row[entry]);
        } else {
            for (int32_t value : row[entry]) addValue(value);
        }
    }
}

void addRecordEntries(const results::CResultsStore& record, std::vector<EntryStatistics>& stats) {
    for (const auto& row : record.timings) {
        const size_t n = std::min(row.size(), stats.size());
        for (size_t entry = 0; entry < n; ++entry) {
            if (record.summaryForm) {
                stats[entry].addSummary(row[entry]);
            } else {
                for (int32_t value : row[entry]) stats[entry].addValue(value);
            }
        }
    }
}

double EntryStatistics::maximumMs() const {
    return m_maximum < 0 ? 0 : m_maximum * kMsPerUnit;
}

double EntryStatistics::averageMs() const {
    return m_count > 0 ? m_sum / m_count * kMsPerUnit : 0;
}

double EntryStatistics::minimumMs() const {
    return m_minimum == INT64_MAX ? 0 : m_minimum * kMsPerUnit;
}

}  // namespace velk::graphs
