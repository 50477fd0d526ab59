#pragma once
// --metrics for a run: its options, and the endpoint that serves each pass's
// live figures and, after the last, its final figures for a while
// (metrics_endpoint.h).
#include <functional>
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/metrics_endpoint.h"

namespace velk::cli {

// --metrics, --metrics-public and --metrics-linger: handled tells whether the
// argument was one of them; false with parsed.error set when its value is refused.
bool parseMetricsOption(int argc, const char* const* argv, int& i, ParsedCli& parsed,
                        bool& handled);
// The options' combination; false with parsed.error set.
bool checkMetricsOptions(ParsedCli& parsed);
// velkrun-mpi: each rank serves its own users' figures, rank K at PORT + K
// (port 0: each a free port of its own).  kInvalid past 65535.
Status metricsOptionsOfRank(CliOptions& options, int rank);

class MetricsRun {
public:
    // Starts the endpoint when options ask for it; false (said on standard
    // error) when it cannot listen.  Make it after the InterruptWatcher, so
    // that its thread leaves stop signals to the watcher.
    bool start(const CliOptions& options);
    void watch(TestSet* set, int32_t users) {
        if (m_endpoint) m_endpoint->watch(set, users);
    }
    void finish() {
        if (m_endpoint) m_endpoint->finish();
    }
    // After the last pass: keeps serving the final figures for the linger
    // time, or until stopped() (a stop signal).
    void linger(const std::function<bool()>& stopped);

private:
    std::unique_ptr<MetricsEndpoint> m_endpoint;
    int m_lingerSeconds = 0;
};

}  // namespace velk::cli
