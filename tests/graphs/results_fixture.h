#pragma once
// Builders of results records for the graph tests: detailed passes, summary
// passes and cycling batches, with the values the tests choose.
#include <memory>
#include <string>
#include <vector>

#include "app/results/results_store.h"

namespace velk::results::testing {

using Values = std::vector<int32_t>;

// A detailed pass: timings[user][entry] as given; users, sequence length and
// iterations taken from the shape of the first row.
inline std::shared_ptr<CResultsStore> detailedPass(std::vector<std::vector<Values>> timings,
                                                   std::vector<std::string> names) {
    auto record = std::make_shared<CResultsStore>();
    record->users = int32_t(timings.size());
    record->sequenceLength = int32_t(names.size());
    record->iterations = timings.empty() || timings[0].empty() ? 0 : int32_t(timings[0][0].size());
    record->entryNames = std::move(names);
    record->timings = std::move(timings);
    return record;
}

// A summary-form pass: one row, per entry {minimum, sum, count, maximum, 0}.
inline std::shared_ptr<CResultsStore> summaryPass(std::vector<Values> entries,
                                                  std::vector<std::string> names) {
    auto record = std::make_shared<CResultsStore>();
    record->users = 1;
    record->iterations = 1;
    record->summaryForm = 1;
    record->sequenceLength = int32_t(names.size());
    record->entryNames = std::move(names);
    record->timings = {std::move(entries)};
    return record;
}

// Marks a record as a pass of cycling batch 1 over users (or iterations).
inline std::shared_ptr<CResultsStore> inBatch(std::shared_ptr<CResultsStore> record,
                                              int32_t cycleValue, bool byIterations = false) {
    record->batchNumber = 1;
    record->cycleValue = cycleValue;
    record->cycleByIterations = byIterations ? 1 : 0;
    record->cycleLabel = byIterations ? "Iterations" : "Virtual users";
    return record;
}

}  // namespace velk::results::testing
