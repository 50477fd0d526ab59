#pragma once
// Comparing a run with its baseline: per request and overall, the count, the
// error share and the 50th, 95th and 99th percentiles, with the change, and a
// verdict.  A change is a regression only when it exceeds both a relative and
// an absolute limit, so noise of a few per cent on a fast request (or a large
// relative change of a tiny error share) is not one.  Both programs use it:
// velkrun --compare on two summaries or results files, and the desktop
// program on two passes.  Plain data and pure functions; safe from any thread.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/results/pass_figures.h"
#include "engine/base/status_or.h"

namespace velk::results {

// One request name (or, with an empty name, the run) as a run measured it.
struct ComparedFigures {
    std::string name;
    int64_t count = 0;   // responses timed
    int64_t errors = 0;  // results that were errors
    // The 50th, 95th and 99th percentiles in ms; below 0 when nothing was timed.
    std::array<double, 3> quantilesMs{-1, -1, -1};

    int64_t results() const { return count + errors; }
    // Errors as a percentage of the results; below 0 without results.
    double errorShare() const;
};

struct ComparedRun {
    ComparedFigures overall;
    std::vector<ComparedFigures> requests;
};

// What a change must exceed, both at once, to be a regression.
struct RegressionLimits {
    double percent = 10;     // relative rise of a percentile or of the error share
    double latencyMs = 5;    // absolute rise of a percentile
    double errorPoints = 1;  // absolute rise of the error share, in percentage points
};

// current is worse than base (larger) by more than relativePercent of base and
// by more than absolute.  Unknown values (below 0) are never a regression.
bool exceedsLimits(double base, double current, double relativePercent, double absolute);

struct ComparedMeasure {
    double base = -1, current = -1;  // below 0: not known on that side
    bool regression = false;
    // The change in per cent of base; only when both are known and base is above 0.
    bool hasChangePercent() const { return base > 0 && current >= 0; }
    double changePercent() const { return (current - base) / base * 100; }
};

inline constexpr const char* kComparedQuantileNames[3] = {"p50", "p95", "p99"};

struct ComparisonRow {
    std::string name;  // "" for the run as a whole
    bool inBase = false, inCurrent = false;
    int64_t baseCount = 0, currentCount = 0;
    ComparedMeasure errorShare;
    std::array<ComparedMeasure, 3> quantiles;

    bool regression() const;
    // "p95 +34.5% (+35.0 ms), errors +2.0 points"; "" when none regressed.
    std::string regressionText() const;
};

struct Comparison {
    RegressionLimits limits;
    // The run first, then the requests in the current run's order, then those
    // only the baseline has.
    std::vector<ComparisonRow> rows;

    int regressions() const;
};

Comparison compareRuns(const ComparedRun& base, const ComparedRun& current,
                       const RegressionLimits& limits);

// A pass's figures (a results file's, or the desktop program's) as compared.
ComparedRun comparedRunFromFigures(const PassFigures& figures);

// Reads a run to compare from a file: a JSON summary (velkrun --summary), or a
// results file (.rlt, its last pass that holds figures).  kIo for a file that
// cannot be read, kInvalid for one that is neither or holds figures out of range.
StatusOr<ComparedRun> readComparedRun(const std::string& path);

// The same from a JSON summary's text.
StatusOr<ComparedRun> comparedRunFromSummary(std::string_view text);

}  // namespace velk::results
