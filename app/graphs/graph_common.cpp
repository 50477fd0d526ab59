#include "app/graphs/graph_common.h"

#include <array>

#include "app/results/report_view_text.h"

namespace velk::graphs {

std::string graphSubtitle(const results::CResultsStore& record) {
    if (record.batchNumber != 0 && !record.cycleByIterations)
        return "Number of iterations = " + std::to_string(record.iterations);
    return "Number of virtual users = " + std::to_string(record.users);
}

std::vector<std::string> entryLabels(const results::CResultsStore& record) {
    std::vector<std::string> labels;
    labels.reserve(record.entryNames.size());
    for (size_t i = 0; i < record.entryNames.size(); ++i)
        labels.push_back(record.entryNames[i].empty()
                             ? "Entry " + std::to_string(i + 1)
                             : results::titleForList(record.entryNames[i]));
    return labels;
}

GraphColor entryColor(size_t index) {
    static constexpr std::array<GraphColor, 12> kPalette{{
        {220, 0, 0},
        {0, 0, 220},
        {0, 160, 0},
        {200, 120, 0},
        {140, 0, 160},
        {0, 140, 160},
        {120, 80, 40},
        {230, 0, 140},
        {90, 90, 90},
        {100, 150, 0},
        {0, 80, 140},
        {160, 40, 40},
    }};
    return kPalette[index % kPalette.size()];
}

const results::CResultsStore* firstRecord(const ResultsList& records) {
    return records.empty() || !records.front() ? nullptr : records.front().get();
}

}  // namespace velk::graphs
