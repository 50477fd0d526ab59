// Shard results (--merge, velkrun-mpi's ranks) are untrusted bytes: any input
// must be merged or refused with a message, without crashing, overflowing or
// allocating more than the input could hold (run.sh gives a memory limit, so an
// amplification fails the run).  What merges must report: the statistics, the
// response-time figures and the timeline read every figure it brought.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "velkcore.h"

namespace {

// The test the seeds were made for: 2 users, 2 positions, 3 iterations.
constexpr char kScript[] = "clients=2\nrequests=3\nserver=127.0.0.1\n[a]\n[b]\n";

void discard(void*, const char*) {}
void quiet(void*, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        InitKS(0, 0);
        SetOutFunc(nullptr, quiet);
        return true;
    }();
    (void)ready;
    TestSet* set = CreateTestSet();
    if (!set) std::abort();
    if (!ParseTest(set, "shard", kScript)) std::abort();
    if (ImportResultData(set, data, int64_t(size))) {
        VelkSummary summary{};
        if (SaveResults(set, nullptr, discard, &summary) != 0) std::abort();
        VelkLatencyStats stats{};
        for (int32_t i = 0, n = GetLatencyStatsCount(set); i < n; ++i)
            GetLatencyStats(set, i, &stats);
        VelkTimeline timeline{};
        GetTimeline(set, &timeline);
    }
    FreeTestSet(set);
    return 0;
}
