#include "results/user_results.h"

namespace velk {

void UserResults::prepare(ResultMode mode, int32_t positions, int32_t iterations, bool timestamps) {
    m_mode = mode;
    m_positions = positions;
    m_iterations = iterations;
    m_cells.clear();
    m_rows.clear();
    m_times.clear();
    m_minimum.clear();
    m_maximum.clear();
    m_count.clear();
    m_sum.clear();
    m_scripted.clear();
    switch (mode) {
        case ResultMode::Detailed:
            m_cells.assign(size_t(positions) * size_t(iterations), kNotRun);
            for (int32_t p = 0; p < positions; ++p)
                m_rows.push_back(m_cells.data() + size_t(p) * size_t(iterations));
            if (timestamps) m_times.assign(size_t(iterations), IterationTimes{});
            break;
        case ResultMode::Aggregated:
            m_minimum.assign(size_t(positions), std::numeric_limits<int32_t>::max());
            m_maximum.assign(size_t(positions), 0);
            m_count.assign(size_t(positions), 0);
            m_sum.assign(size_t(positions), 0);
            break;
        case ResultMode::Scripted:
            break;
    }
}

void UserResults::addTime(int32_t position, int32_t micros) {
    size_t p = size_t(position);
    if (micros < m_minimum[p]) m_minimum[p] = micros;
    if (micros > m_maximum[p]) m_maximum[p] = micros;
    ++m_count[p];
    m_sum[p] += micros;
}

}  // namespace velk
