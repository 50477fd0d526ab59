#include "app/graphs/graph_batch.h"

#include <algorithm>
#include <cmath>

#include "app/graphs/graph_axis_rules.h"
#include "app/graphs/graph_statistics.h"
#include "app/results/report_view_text.h"

namespace velk::graphs {

namespace {

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0;
}

double entryFigure(const EntryStatistics& stats, BatchGraph graph) {
    switch (graph) {
        case kAverageTimeGraph:
            return stats.averageMs();
        case kMaximumTimeGraph:
            return stats.maximumMs();
        default:
            return stats.minimumMs();
    }
}

// One pass over each record's values gives the figures of all its entries, so
// the work grows with what the records hold, not with entries times rows.
void addEntrySeries(GraphChart& chart, const ResultsList& records, BatchGraph graph) {
    auto labels = entryLabels(*records.front());
    const size_t perSeries = std::max<size_t>(records.size(), 1);
    labels.resize(std::min({labels.size(), kMaxBatchEntrySeries, kMaxBatchPoints / perSeries}));
    for (size_t entry = 0; entry < labels.size(); ++entry)
        chart.series.push_back(GraphSeries{labels[entry], entryColor(entry), {}});
    std::vector<EntryStatistics> stats;
    for (const auto& record : records) {
        if (!record) continue;
        stats.assign(labels.size(), EntryStatistics());
        addRecordEntries(*record, stats);
        for (size_t entry = 0; entry < labels.size(); ++entry)
            chart.series[entry].points.push_back(
                {double(record->cycleValue), entryFigure(stats[entry], graph)});
    }
}

void addFigureSeries(GraphChart& chart, const ResultsList& records, BatchGraph graph) {
    if (graph == kBandwidthGraph) {
        GraphSeries server{"Server", kServerColor, {}};
        GraphSeries user{"User", kUserColor, {}};
        for (const auto& record : records) {
            if (!record) continue;
            const double x = record->cycleValue;
            server.points.push_back({x, finiteOrZero(record->serverBandwidth * 8)});
            user.points.push_back({x, finiteOrZero(record->userBandwidth * 8)});
        }
        chart.series.push_back(std::move(server));
        chart.series.push_back(std::move(user));
        return;
    }
    GraphSeries values{"Values", kValuesColor, {}};
    for (const auto& record : records) {
        if (!record) continue;
        const double y = graph == kErrorsGraph
                             ? errorPercentage(record->totalErrors, record->totalRequests)
                             : finiteOrZero(record->requestsPerSecond);
        values.points.push_back({double(record->cycleValue), y});
    }
    chart.series.push_back(std::move(values));
}

const char* verticalTitle(BatchGraph graph) {
    switch (graph) {
        case kPerformanceGraph:
            return "Overall performance (requests/sec)";
        case kErrorsGraph:
            return "Errors (%)";
        case kBandwidthGraph:
            return "Average bandwidth (Kbits/sec)";
        default:
            return "Time (ms)";
    }
}

}  // namespace

std::vector<std::string> batchGraphChoices(const ResultsList& records) {
    const results::CResultsStore* first = firstRecord(records);
    if (!first || first->batchNumber == 0) return {};
    return {kBatchGraphNames.begin(), kBatchGraphNames.end()};
}

double errorPercentage(int32_t errors, int32_t requests) {
    if (requests == 0) return 100;
    const double share = double(errors) * 100 / double(requests);
    return std::clamp(share, 0.0, 100.0);
}

GraphChart batchGraph(const ResultsList& records, BatchGraph graph) {
    GraphChart chart;
    const results::CResultsStore* first = firstRecord(records);
    if (!first || graph < 0 || graph >= kBatchGraphCount) return chart;
    chart.title = kBatchGraphNames[graph];
    chart.subtitle = graphSubtitle(*first);
    chart.horizontal.format = "%.0f";
    chart.horizontal.title = results::titleForList(first->cycleLabel);
    chart.vertical.format = "%.2f";
    chart.vertical.title = verticalTitle(graph);
    if (graph <= kMinimumTimeGraph)
        addEntrySeries(chart, records, graph);
    else
        addFigureSeries(chart, records, graph);
    scaleAxes(chart);
    if (graph == kErrorsGraph) {
        const GraphAxis errors = errorsAxis();
        chart.vertical.minimum = errors.minimum;
        chart.vertical.maximum = errors.maximum;
        chart.vertical.step = errors.step;
    }
    return chart;
}

}  // namespace velk::graphs
