#pragma once
// The Batch Run Graphs page's computations: one point per pass of a cycling
// run at x = the pass's cycled value, for one of six figures (mean, largest
// and smallest time per entry, overall requests per second, the share of
// errors, and the server's and the users' bandwidth).  Pure functions over
// the records, safe from any thread.
#include <array>
#include <string>
#include <vector>

#include "app/graphs/graph_chart.h"
#include "app/graphs/graph_common.h"

namespace velk::graphs {

enum BatchGraph {
    kAverageTimeGraph,
    kMaximumTimeGraph,
    kMinimumTimeGraph,
    kPerformanceGraph,
    kErrorsGraph,
    kBandwidthGraph,
    kBatchGraphCount
};

inline constexpr std::array<const char*, kBatchGraphCount> kBatchGraphNames{
    "Average request processing time",
    "Maximum request processing time",
    "Minimum request processing time",
    "Overall performance",
    "Errors",
    "Average bandwidth",
};

// The per-entry graphs draw at most this many series (no legend can show
// more) and this many points in all: past them the last entries are left
// out, so that a file of many passes and many entries cannot keep the window
// busy or exhaust memory.
inline constexpr size_t kMaxBatchEntrySeries = 200;
inline constexpr size_t kMaxBatchPoints = 1000000;

// The six graph names when the first record belongs to a batch run; empty
// (nothing to draw) otherwise.
std::vector<std::string> batchGraphChoices(const ResultsList& records);
// The chart for one of the six graphs.  Figures a damaged file makes
// infinite or not-a-number plot as 0; the share of errors stays in 0..100.
GraphChart batchGraph(const ResultsList& records, BatchGraph graph);
// errors * 100 / requests, 100 when there were no requests, within 0..100.
double errorPercentage(int32_t errors, int32_t requests);

}  // namespace velk::graphs
