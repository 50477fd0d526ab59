// Recording one result the way every user does after each request: its own
// result cell (detailed) or running minimum/maximum/sum (nodetails), plus the
// counters all users share (requests sent, the status code, entries done).  Run
// with two threads as well, since those shared counters are what users contend on.
#include <benchmark/benchmark.h>

#include <atomic>

#include "http/http_counters.h"
#include "results/run_record.h"
#include "results/user_results.h"

namespace {

using namespace velk;

constexpr int32_t kPositions = 4;
constexpr int32_t kIterations = 4096;

HttpCounters g_counters;
std::atomic<int32_t> g_entriesDone{0};

void record(benchmark::State& state, ResultMode mode) {
    UserResults results;
    results.prepare(mode, kPositions, kIterations, false);
    int32_t iteration = 0, position = 0;
    for (auto _ : state) {
        const int32_t micros = 1200 + position * 7;
        g_counters.httpRequests.fetch_add(1, std::memory_order_relaxed);
        g_counters.countStatus(200);
        if (mode == ResultMode::Detailed)
            results.setCell(position, iteration, micros);
        else
            results.addTime(position, micros);
        g_entriesDone.fetch_add(1, std::memory_order_relaxed);
        if (++position == kPositions) {
            position = 0;
            if (++iteration == kIterations) iteration = 0;
        }
    }
    benchmark::DoNotOptimize(results);
}
BENCHMARK_CAPTURE(record, Detailed, ResultMode::Detailed)->Threads(1)->Threads(2);
BENCHMARK_CAPTURE(record, Aggregated, ResultMode::Aggregated)->Threads(1)->Threads(2);

}  // namespace

BENCHMARK_MAIN();
