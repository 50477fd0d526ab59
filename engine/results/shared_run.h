#pragma once
// SharedRun: what all users of one run share: the target they move, the HTTP and
// error counters, the response budget, the abort flag, the start gate and the
// run's times.  Reset by the driver before a run starts.
//
// Thread safety: every member but runTimes is atomic or guards itself (with a
// mutex of its own); users on their threads and tasks read and update them during
// a run.  runTimes is written by the driver's thread only, before the users start
// and after they have all ended, and read by the host after the run.
#include <atomic>
#include <cstdint>

#include "http/current_target.h"
#include "http/http_counters.h"
#include "http/response_budget.h"
#include "loop/live_lag.h"
#include "platform/start_gate.h"
#include "results/live_latency.h"
#include "results/live_requests.h"
#include "results/run_record.h"

namespace velk {

struct SharedRun {
    CurrentTarget currentTarget;
    HttpCounters httpCounters;
    ResponseBudget responseBudget;
    std::atomic<int32_t> abortFlag{0};
    std::atomic<int32_t> requestsMade{0};           // test-sequence entries done by all users
    std::atomic<int32_t> scriptLoadFailureSaid{0};  // every user fails alike: said once
    ErrorCounters errorCounters;
    // What a host shows while the run goes on: every error by class, whatever
    // the results mode, and the users whose thread is running.
    ErrorCounters liveErrors;
    std::atomic<int32_t> usersActive{0};
    // Response times second by second, for the same hosts.
    LiveLatency liveLatency;
    // Each request name's results and the loops' lateness, for a scraper.
    LiveRequests liveRequests;
    loop::LiveLag liveLag;
    StartGate startGate;
    RunTimes runTimes;
};

}  // namespace velk
