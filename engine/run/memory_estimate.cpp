#include "run/memory_estimate.h"

#include <climits>

#include "platform/resource_limits.h"
#include "results/request_latency.h"
#include "run/test_run.h"

namespace velk {
namespace {

constexpr int64_t kTaskUserBytes = 16 << 10;
// A script-driven user has a thread and an interpreter of its own.
constexpr int64_t kScriptUserBytes = 256 << 10;
constexpr int64_t kSectionBytes = 700;

int64_t sectionBytes(const RequestDef& r) {
    int64_t bytes = kSectionBytes + int64_t(r.uri.size() + r.name.size() + r.boundary.size());
    if (r.server) bytes += int64_t(r.server->size());
    if (r.content) bytes += int64_t(r.content->size());
    if (r.headerLines)
        for (const ParamEntry& line : *r.headerLines) {
            bytes += int64_t(line.name.size()) + 64;
            for (const ValuePiece& piece : line.pieces) bytes += int64_t(piece.text.size());
        }
    for (const auto& [key, value] : r.overrides) bytes += int64_t(key.size() + value.size()) + 64;
    return bytes;
}

// Adds without overflow: the figures of absurd scripts saturate.
int64_t add(int64_t a, int64_t b) {
    return a > INT64_MAX - b ? INT64_MAX : a + b;
}

int64_t times(int64_t a, int64_t b) {
    return b != 0 && a > INT64_MAX / b ? INT64_MAX : a * b;
}

}  // namespace

MemoryEstimate estimateRunMemory(const TestRun& set) {
    const GeneralOptions& o = set.test.options;
    int64_t users = 0;
    for (int32_t u = 0; u < o.clients; ++u) users += set.userShare.owns(u) ? 1 : 0;
    const bool script = set.test.scriptDriven();
    const int64_t positions = int64_t(set.test.testSeq.length());
    MemoryEstimate e;
    e.users = times(users, script ? kScriptUserBytes : kTaskUserBytes);
    int64_t sections = 0;
    for (const auto& [name, def] : set.test.requests) sections = add(sections, sectionBytes(*def));
    // The parsed test holds one copy, each user another; a user also keeps the
    // response times of each sequence position.
    const int64_t latency =
        int64_t(sizeof(RequestLatency)) *
        int64_t(positions + set.test.initSeq.length() + set.test.finalSeq.length());
    e.requests = times(users + 1, add(sections, script ? 0 : latency));
    if (!script) {
        const int64_t perUser = o.nodetails ? positions * 20
                                            : add(times(times(positions, o.requests), 4),
                                                  o.timestamp ? int64_t(o.requests) * 8 : 0);
        e.results = times(users, perUser);
    }
    e.total = add(add(e.users, e.requests), e.results);
    return e;
}

int64_t machineAvailableMemory() {
    return platform::availableMemoryBytes();
}

}  // namespace velk
