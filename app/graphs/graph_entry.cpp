#include "app/graphs/graph_entry.h"

#include <algorithm>

#include "app/graphs/graph_axis_rules.h"
#include "app/graphs/graph_statistics.h"
#include "app/results/report_view_text.h"

namespace velk::graphs {

namespace {

constexpr const char* kVerticalTitle = "Request processing time (ms)";

struct MaxAvgMin {
    GraphSeries max{"Max", kMaxColor, {}};
    GraphSeries avg{"Avg", kAvgColor, {}};
    GraphSeries min{"Min", kMinColor, {}};

    void add(double x, const EntryStatistics& stats) {
        max.points.push_back({x, stats.maximumMs()});
        avg.points.push_back({x, stats.averageMs()});
        min.points.push_back({x, stats.minimumMs()});
    }
    void moveInto(GraphChart& chart) {
        chart.series.push_back(std::move(max));
        chart.series.push_back(std::move(avg));
        chart.series.push_back(std::move(min));
    }
};

// Per-iteration figures over all users.  The record's iterations field says
// how many iterations there are; values beyond what the record actually
// holds would only be zeros, so a damaged file cannot make us plot (and
// allocate) billions of them.
void addIterations(const results::CResultsStore& record, size_t entry, MaxAvgMin& series) {
    size_t held = 0;
    for (const auto& row : record.timings)
        if (entry < row.size()) held = std::max(held, row[entry].size());
    const size_t iterations = record.iterations > 0 ? std::min(size_t(record.iterations), held) : 0;
    std::vector<EntryStatistics> perIteration(iterations);
    for (const auto& row : record.timings) {
        if (entry >= row.size()) continue;
        const auto& values = row[entry];
        const size_t n = std::min(iterations, values.size());
        for (size_t i = 0; i < n; ++i) perIteration[i].addValue(values[i]);
    }
    for (size_t i = 0; i < iterations; ++i) series.add(double(i + 1), perIteration[i]);
}

}  // namespace

std::vector<std::string> entryGraphChoices(const ResultsList& records) {
    const results::CResultsStore* first = firstRecord(records);
    if (!first) return {};
    return entryLabels(*first);
}

GraphChart entryGraph(const ResultsList& records, size_t entry) {
    GraphChart chart;
    const results::CResultsStore* first = firstRecord(records);
    if (!first) return chart;
    const auto labels = entryLabels(*first);
    chart.title = entry < labels.size() ? labels[entry] : std::string();
    chart.subtitle = graphSubtitle(*first);
    chart.horizontal.format = "%.0f";
    chart.vertical.format = "%.2f";
    chart.vertical.title = kVerticalTitle;

    MaxAvgMin series;
    if (first->batchNumber != 0) {
        chart.horizontal.title = results::titleForList(first->cycleLabel);
        for (const auto& record : records) {
            if (!record) continue;
            EntryStatistics stats;
            stats.addRecordEntry(*record, entry);
            series.add(record->cycleValue, stats);
        }
    } else if (first->summaryForm) {
        chart.horizontal.title = "Iteration";
        chart.note = kSummaryOnlyNote;
        EntryStatistics stats;
        stats.addRecordEntry(*first, entry);
        series.add(1, stats);
    } else {
        chart.horizontal.title = "Iteration";
        addIterations(*first, entry, series);
    }
    series.moveInto(chart);
    scaleAxes(chart);
    return chart;
}

}  // namespace velk::graphs
