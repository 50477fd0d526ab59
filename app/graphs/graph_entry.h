#pragma once
// The Graphs page's computations: response times of one sequence entry.
// For a batch (cycling) list, Max/Avg/Min of the entry per pass against the
// cycled value; for a single pass in summary form, one point per series at
// x = 1; otherwise Max/Avg/Min over all users for every iteration.
// Pure functions over the records, safe from any thread.
#include <string>
#include <vector>

#include "app/graphs/graph_chart.h"
#include "app/graphs/graph_common.h"

namespace velk::graphs {

// The note of a single pass that kept summary times only: its graph is one
// point per series, with no times per iteration to show.
inline constexpr const char* kSummaryOnlyNote = "This run kept summary times only";

// What the page's drop-down offers: the first record's entry names; empty
// when there is nothing to draw (no records, or no entries).
std::vector<std::string> entryGraphChoices(const ResultsList& records);
// The chart for entry `entry` of the first record (titles, series, axes).
// An entry a record does not hold plots as 0.
GraphChart entryGraph(const ResultsList& records, size_t entry);

}  // namespace velk::graphs
