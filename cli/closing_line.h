#pragma once
// What velkrun says when a run ends: its figures, each named by what it counts
// and over which time, as the --summary JSON and the HTML report name them:
//   660 HTTP requests sent (161.76/s while all users ran), 600 results
//   (105.50/s over 5.7 s), 0 errors
// HTTP requests sent are every request that went out, logins and redirects
// included; a result is what one request of a sequence (or of the script)
// recorded: its time or its error.  Stateless; on the thread that ran the test,
// from the figures read once after it (collectFigures).
#include <cstdint>
#include <optional>
#include <string>

#include "app/results/pass_figures.h"
#include "velkcore.h"

namespace velk::cli {

// What the engine's results arrays say about the run's test-sequence (or
// script) requests.
struct RequestTally {
    int64_t made = 0;      // executed, failed or not
    int64_t answered = 0;  // that got an answer: a time, an HTTP error or a failed check
    bool known = true;     // false where the results keep only times (errors are not in made)
    // Errors by class: network, HTTP, failed check, time-out.
    int64_t errors[4] = {};
};

RequestTally tallyResults(TestSet* set);

// The figures of the closing line, after "velkrun: " and the pass's label.
// The results and errors are those of every sequence, as the summary counts
// them; a script-driven run has them from tally.
std::string closingFigures(const std::optional<results::PassFigures>& figures,
                           const RequestTally& tally);

}  // namespace velk::cli
