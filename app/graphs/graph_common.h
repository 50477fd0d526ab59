#pragma once
// Rules both graph pages share: the subtitle, the names of the sequence
// entries as the first record gives them, and the colours of the series.
// Pure functions, safe from any thread.
#include <string>
#include <vector>

#include "app/graphs/graph_chart.h"
#include "app/results/results_store.h"

namespace velk::graphs {

using ResultsList = std::vector<results::ResultsStorePtr>;

inline constexpr GraphColor kMaxColor{250, 0, 0};
inline constexpr GraphColor kAvgColor{0, 0, 250};
inline constexpr GraphColor kMinColor{0, 240, 0};
inline constexpr GraphColor kValuesColor{0, 0, 255};
inline constexpr GraphColor kServerColor{255, 0, 0};
inline constexpr GraphColor kUserColor{0, 0, 255};

// "Number of virtual users = %d", or "Number of iterations = %d" for a batch
// record that cycles the users.
std::string graphSubtitle(const results::CResultsStore& record);
// The record's entry names; an entry the engine gave no name is called
// "Entry <n>" (1-based) so that lists and legends never show a blank; a name
// longer than a list can show is cut (titleForList).
std::vector<std::string> entryLabels(const results::CResultsStore& record);
// A colour for the series of entry `index` when a graph has one series per
// entry: distinct, dark enough to read on white.
GraphColor entryColor(size_t index);
// The first record of the list, or null when the list is empty.
const results::CResultsStore* firstRecord(const ResultsList& records);

}  // namespace velk::graphs
