#pragma once
// The Summary page's tables of a pass: per request and for all requests, the
// count, errors and response times in milliseconds; for paced runs a second
// table of the times from each request's intended start.  Each cell carries
// its text and the number its column sorts by.  Times are printed by the
// Text Report's rule (microseconds x 0.001, two decimals), so that a time
// reads the same on both pages.
//
// Plain data and pure functions; safe from any thread.
#include <optional>
#include <string>
#include <vector>

#include "app/results/pass_figures.h"

namespace velk::results {

// A request name is shown with blanks for control characters and cut at
// this many characters ("..." at the end): names come from files.
inline constexpr size_t kMaxSummaryName = 100;

struct SummaryCell {
    std::string text;
    double value = 0;  // what the column sorts by; for the name column 0
};

struct SummaryTable {
    std::vector<std::string> headers;
    // One row per request in test-sequence order, then "All requests".
    std::vector<std::vector<SummaryCell>> rows;
};

// What the counts hold, said above the table: the engine counts every
// request by its name, those of the initial and final sequences too, where
// the Text Report counts the test sequence's entries only.
inline constexpr const char* kSummaryCountsNote =
    "Times in milliseconds. Counts include the requests of the initial and final sequences; "
    "the Text Report counts the main sequence only.";

SummaryTable responseTimeTable(const PassFigures& figures);
// Figures of a paced run from each request's intended start.
SummaryTable intendedStartTable(const PassFigures& figures);

// The tables as Copy gives them: tab-separated lines under the headers, the
// second table (paced runs) after the line "From the intended start (paced
// requests)".  Without figures: "No percentiles in this file".
std::string summaryText(const std::optional<PassFigures>& figures);

// A time in milliseconds as the Text Report prints it: "%.2f" of the
// microseconds times 0.001.
std::string millisecondsText(double ms);

// Rows as tab-separated lines under the headers; a tab or line break inside
// a cell becomes a blank.
std::string tabSeparated(const std::vector<std::string>& headers,
                         const std::vector<std::vector<std::string>>& rows);

}  // namespace velk::results
