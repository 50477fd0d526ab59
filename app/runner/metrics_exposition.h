#pragma once
// The live figures of a run in the Prometheus text exposition format (0.0.4),
// which Prometheus and OpenMetrics scrapers read: what velkrun --metrics
// serves.  Names follow Prometheus' conventions: a "velk_" prefix, base units
// (seconds, bytes), counters ending in "_total".  Request names come from
// test scripts and are untrusted: in label values a backslash, a double quote
// and a line feed are escaped, and bytes that are not UTF-8 become U+FFFD.
// Series are bounded: at most VELK_LIVE_MAX_NAMES request names (each with
// five outcomes and a histogram of VELK_LIVE_BUCKETS buckets) and the status
// codes seen (below 1000).  A pure function; safe from any thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "velkcore.h"

namespace velk::runner {

struct MetricsReading {
    bool running = false;
    int32_t users = 0;  // the users of the run (or of this process's share)
    VelkLiveTraffic traffic{};
    std::vector<VelkLiveRequest> requests;
    // Errors of the test sequence's requests by class (what the live line
    // shows): network, HTTP, failed check, time-out.
    int64_t errors[4] = {};
};

// The Content-Type of the text.
inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string metricsExposition(const MetricsReading& reading);

// value as a label value between double quotes: escaped, valid UTF-8.
std::string metricsLabelValue(std::string_view value);

// Reads the live figures of set (running or not) into a reading.
MetricsReading readMetrics(TestSet* set, bool running, int32_t users);

}  // namespace velk::runner
