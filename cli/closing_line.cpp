#include "cli/closing_line.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace velk::cli {
namespace {

void countCode(int32_t code, RequestTally& tally) {
    if (code == VELK_RESULT_NOT_RUN) return;
    ++tally.made;
    // The classes run from VELK_RESULT_NETWORK (-1) down to VELK_RESULT_TIMEOUT.
    if (code <= VELK_RESULT_NETWORK && code >= VELK_RESULT_TIMEOUT)
        ++tally.errors[VELK_RESULT_NETWORK - code];
    if (code >= 0 || code == VELK_RESULT_HTTP || code == VELK_RESULT_FAIL) ++tally.answered;
}

// " (2 network errors, 1 HTTP error)": the classes of the errors, or nothing
// without any.  The count comes first, so that "HTTP 200" is never read as a
// status code.
std::string errorClasses(const int64_t (&errors)[4]) {
    static const char* const kNames[4] = {"network error", "HTTP error", "failed check",
                                          "time-out"};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (errors[i] == 0) continue;
        text += (text.empty() ? " (" : ", ") + std::to_string(errors[i]) + " " + kNames[i] +
                (errors[i] == 1 ? "" : "s");
    }
    return text.empty() ? text : text + ")";
}

// "over 5.7 s"; a run that short that it would read "0.0 s" gets more digits.
std::string overSeconds(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, seconds < 10 ? "over %.2f s" : "over %.1f s", seconds);
    return text;
}

std::string printed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

RequestTally tallyResults(TestSet* set) {
    RequestTally tally;
    TestInfo info{};
    GetInfo(set, &info);
    if (info.nodetails) {  // four values per position: minimum, sum, count, maximum
        tally.known = false;
        if (auto* cells = static_cast<int32_t*>(GetResults(set, 0)))
            for (int32_t pos = 0; pos < info.sequenceLength; ++pos)
                tally.made += cells[pos * 4 + 2];
        return tally;
    }
    for (int32_t user = 0; user < info.users; ++user) {
        auto** rows = static_cast<int32_t**>(GetResults(set, user));
        if (rows == nullptr) continue;
        if (info.iterations < 0) {  // script-driven: {n, result 1, ..., result n}
            if (rows[0] == nullptr) continue;
            for (int32_t i = 1; i <= rows[0][0]; ++i) countCode(rows[0][i], tally);
            continue;
        }
        for (int32_t pos = 0; pos < info.sequenceLength; ++pos)
            for (int32_t it = 0; rows[pos] != nullptr && it < info.iterations; ++it)
                countCode(rows[pos][it], tally);
    }
    return tally;
}

std::string closingFigures(const std::optional<results::PassFigures>& figures,
                           const RequestTally& tally) {
    static const results::RunTotals kNone;
    const results::RunTotals& totals = figures ? figures->run() : kNone;
    int64_t results = tally.made, errors[4] = {};
    for (int i = 0; i < 4; ++i) errors[i] = tally.errors[i];
    // Sequences give every result (initial and final sequences too) a time or an error class.
    if (figures && timesRequests(*figures)) {
        results = figures->overall.count;
        for (size_t i = 0; i < 4; ++i) results += errors[i] = figures->overall.errors[i];
    }
    const double seconds = totals.durationMs / 1000.0;
    std::string text = std::to_string(totals.httpRequests) + " HTTP requests sent";
    if (totals.httpRequestsPerSecond >= 0)
        text += printed(" (%.2f/s ", totals.httpRequestsPerSecond) +
                (totals.httpRateOverWholeRun ? overSeconds(seconds)
                                             : std::string("while all users ran")) +
                ")";
    text += ", " + std::to_string(results) + (results == 1 ? " result" : " results");
    if (totals.durationMs > 0)
        text += printed(" (%.2f/s ", double(results) / seconds) + overSeconds(seconds) + ")";
    const int64_t errorTotal = errors[0] + errors[1] + errors[2] + errors[3];
    text += ", " + std::to_string(errorTotal) + (errorTotal == 1 ? " error" : " errors");
    text += errorClasses(errors);
    // The exit status stays 0 (a threshold is what fails a run): the words must
    // not let a run of nothing but errors pass for a good one.
    if (results > 0 && errorTotal >= results) text += ": no request succeeded";
    return text;
}

}  // namespace velk::cli
