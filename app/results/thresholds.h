#pragma once
// Pass/fail thresholds for CI: "p95<300", "p99.9<1000", "mean<100",
// "errors<1%", "rps>500", optionally for one request: "login:p95<200".
// Times are in milliseconds; "errors" is a count, or a share of the results
// with "%"; "rps" is results per second of the run.  Plain functions.
#include <string>
#include <vector>

#include "app/results/pass_figures.h"
#include "engine/base/status_or.h"

namespace velk::results {

struct Threshold {
    enum class Metric { Percentile, Min, Mean, Max, Stddev, Errors, Rps };
    enum class Compare { Less, LessOrEqual, Greater, GreaterOrEqual };

    std::string text;     // as the user wrote it
    std::string request;  // "" for all requests
    Metric metric = Metric::Mean;
    int percentile = 0;  // index into the engine's percentiles
    Compare compare = Compare::Less;
    double limit = 0;
    bool percent = false;  // errors as a share
};

struct ThresholdResult {
    bool measured = false;  // false: no such request, or nothing timed
    double value = 0;
    bool ok = false;
};

// The threshold text names; kInvalid with a message when it is not one.
StatusOr<Threshold> parseThreshold(const std::string& text);

ThresholdResult evaluateThreshold(const Threshold& threshold, const PassFigures& figures);

// Prints each threshold with its measured value and "ok" or "FAILED" on
// standard error; true when all held.  untimedRequests are those the script
// defines that no sequence made: a threshold on one says so rather than "no
// such request".
bool checkThresholds(const std::vector<Threshold>& thresholds, const PassFigures& figures,
                     const char* program = "velkrun",
                     const std::vector<std::string>& untimedRequests = {});

}  // namespace velk::results
