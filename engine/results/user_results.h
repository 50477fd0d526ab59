#pragma once
// What one virtual user measured, in the form the test asked for:
//  - detailed: one result code per test-sequence position and iteration
//    (a time in microseconds, a negative error class, or kNotRun), with optional
//    start and end times of each iteration;
//  - aggregated (nodetails): minimum, maximum, count and sum per position;
//  - script-driven: the results the user's script recorded, in order.
//
// Written only by the user's own thread during a run; read after the run.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/result_codes.h"

namespace velk {

enum class ResultMode { Detailed, Aggregated, Scripted };

// Wall-clock seconds of an iteration's start and end; 0 when not recorded.
struct IterationTimes {
    int64_t start = 0;
    int64_t end = 0;
};

struct ScriptedResult {
    std::string name;
    int32_t value = kNotRun;
    int64_t start = 0;  // wall-clock seconds
    int64_t end = 0;
};

class UserResults {
public:
    void prepare(ResultMode mode, int32_t positions, int32_t iterations, bool timestamps);

    ResultMode mode() const { return m_mode; }
    int32_t positions() const { return m_positions; }
    int32_t iterations() const { return m_iterations; }

    // Detailed mode.
    int32_t cell(int32_t position, int32_t iteration) const {
        return m_cells[size_t(position) * size_t(m_iterations) + size_t(iteration)];
    }
    void setCell(int32_t position, int32_t iteration, int32_t value) {
        m_cells[size_t(position) * size_t(m_iterations) + size_t(iteration)] = value;
    }
    // One pointer per position to its iterations' cells, as callers of the
    // engine read them.
    int32_t** rows() { return m_rows.data(); }
    bool hasTimestamps() const { return !m_times.empty(); }
    IterationTimes& times(int32_t iteration) { return m_times[size_t(iteration)]; }
    const IterationTimes& times(int32_t iteration) const { return m_times[size_t(iteration)]; }

    // Aggregated mode: successful times only.
    void addTime(int32_t position, int32_t micros);
    int32_t minimum(int32_t position) const { return m_minimum[size_t(position)]; }
    int32_t maximum(int32_t position) const { return m_maximum[size_t(position)]; }
    int32_t count(int32_t position) const { return m_count[size_t(position)]; }
    int64_t sum(int32_t position) const { return m_sum[size_t(position)]; }
    // The figures of a position as another process measured them.
    void setAggregate(int32_t position, int32_t minimum, int32_t maximum, int32_t count,
                      int64_t sum) {
        m_minimum[size_t(position)] = minimum;
        m_maximum[size_t(position)] = maximum;
        m_count[size_t(position)] = count;
        m_sum[size_t(position)] = sum;
    }

    // Scripted mode.
    std::vector<ScriptedResult>& scripted() { return m_scripted; }
    const std::vector<ScriptedResult>& scripted() const { return m_scripted; }

private:
    ResultMode m_mode = ResultMode::Detailed;
    int32_t m_positions = 0;
    int32_t m_iterations = 0;
    std::vector<int32_t> m_cells;
    std::vector<int32_t*> m_rows;
    std::vector<IterationTimes> m_times;
    std::vector<int32_t> m_minimum, m_maximum, m_count;
    std::vector<int64_t> m_sum;
    std::vector<ScriptedResult> m_scripted;
};

}  // namespace velk
