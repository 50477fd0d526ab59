#pragma once
// CResultsStore: the record of one collected pass of a run: the engine's text
// report, the pass's headline figures and the timing arrays of every user and
// sequence entry.  Records are shared by reference count (std::shared_ptr):
// the results list holds one reference, every reader that fetched one holds
// another, so a view may keep using a record after the list was cleared.
//
// A record is filled by one thread and then only read: once it is in the
// results list nobody changes it, so readers on any thread need no lock.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/results/pass_figures.h"

namespace velk::results {

struct CResultsStore {
    int32_t runNumber = 0;  // given by the list when the record is added (1, 2, ...)
    int32_t users = 0;      // virtual users of the pass (1 in summary form)
    int32_t sequenceLength = 0;
    int32_t iterations = 0;   // per user (1 in summary form)
    int32_t summaryForm = 0;  // 1: ran without details, only summary figures exist
    std::string report;       // the engine's text report, line ends "\r\n"
    // The engine's warning when its event loops ran late enough to distort the
    // times ("" when not); shown beside the report.  A file keeps it with the
    // pass's figures (figures->totals).
    std::string lagWarning;

    int32_t batchNumber = 0;  // the runner's batch when cycling, else 0
    int32_t cycleValue = 0;   // the cycled option's value for this pass
    std::string cycleLabel;   // "Iterations" or "Virtual users"
    int32_t cycleByIterations = 0;

    // Figures from the engine's summary record, in this order.
    float requestsPerSecond = 0;
    float msPerRequest = 0;
    double serverBandwidth = 0;
    double userBandwidth = 0;
    int32_t totalRequests = 0;
    int32_t totalErrors = 0;

    std::string title;                    // "%H:%M - <pass title>"
    std::vector<std::string> entryNames;  // one per test sequence entry

    // timings[row][entry] holds that entry's values: response times in
    // microseconds or negative error codes.  One row per user in the detailed
    // form; one row of five values per entry in the summary form.  The value
    // count of an entry is the size of its vector.
    std::vector<std::vector<std::vector<int32_t>>> timings;

    // Response-time figures and timeline; none for a pass read from a file
    // that does not hold them.
    std::optional<PassFigures> figures;
};

using ResultsStorePtr = std::shared_ptr<const CResultsStore>;

}  // namespace velk::results
