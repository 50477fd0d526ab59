#pragma once
// The numbers of a finished run that the text report and the summary record
// show: per-position times, error classes, traffic, per-user rates and the
// request rate measured over the window in which every user was running.
//
// computeStatistics only reads its input, so a report made twice shows the same
// numbers.  Every ratio whose divisor is zero is 0, never inf or NaN.
#include <cstdint>
#include <vector>

#include "results/report_input.h"

namespace velk {

struct PositionStatistics {
    bool known = false;  // at least one successful time
    double minimumMs = 0;
    double averageMs = 0;
    double maximumMs = 0;
};

struct ErrorTotals {
    int64_t http = 0;
    int64_t network = 0;
    int64_t fail = 0;
    int64_t timeout = 0;
    int64_t total = 0;  // every failed result, whatever its class

    void count(int32_t code);
};

struct UserRate {
    int32_t userNumber = 0;  // from 1
    int32_t requests = 0;
    int64_t workTimeMs = 0;
    double requestsPerSecond = 0;
    double msPerRequest = 0;
};

struct StatusCount {
    int32_t code = 0;
    int32_t count = 0;
};

struct RunStatistics {
    std::vector<PositionStatistics> positions;  // one per test-sequence entry
    ErrorTotals errors;
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    bool hasDuration = false;         // bandwidths are meaningful only then
    double serverBandwidth = 0;       // bytes per millisecond of test duration
    double userBandwidth = 0;         // serverBandwidth / clients
    std::vector<UserRate> userRates;  // users that made at least one request
    int64_t durationMs = 0;
    int64_t totalRequestsMade = 0;
    bool approximated = false;  // the exact-timing window was too short
    double requestsPerSecond = 0;
    double msPerRequest = 0;
    std::vector<StatusCount> statusCodes;  // counts above 0, ascending codes
};

RunStatistics computeStatistics(const ReportInput& input);

// The request rate of the report ("Total average requests per second"), which
// computeStatistics fills in too; hosts read it without the rest.
struct RequestRate {
    bool measured = false;      // some user made a request
    bool approximated = false;  // the exact-timing window was too short
    double requestsPerSecond = 0;
    double msPerRequest = 0;
};
RequestRate computeRequestRate(const ReportInput& input);

// Whether a detailed iteration counts and is listed: with showbadresults 0 an
// iteration holding any negative code (not-run cells included) is left out whole.
bool isIterationShown(const UserResults& results, int32_t iteration, bool showBadResults);

}  // namespace velk
