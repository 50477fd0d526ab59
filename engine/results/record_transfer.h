#pragma once
// The per-user records of a run as bytes, so that runs made by several
// processes (MPI ranks, shards of a Kubernetes job) can be brought together and
// reported as one.
//
// Layout (little-endian): "VELKSHRD", version, the test's shape, the run's
// times and shared counters, one length-prefixed block per user, then tagged
// run-wide sections.  A reader skips what a newer writer appended to a user's
// block and the sections it does not know, so per-user fields can be added at
// a block's end (its length covers them) and run-wide ones as sections.
//
// The bytes are untrusted (files from another machine): every count is checked
// against the bytes that remain before anything is allocated for it, and a
// damaged input gives an error and nothing else.
//
// Plain functions without shared state; safe from any thread.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "http/http_counters.h"
#include "results/run_record.h"
#include "results/run_timeline.h"

namespace velk {

// What the records must agree on to be reported together.
struct TransferShape {
    int32_t clients = 0;  // users of the whole run
    int32_t positions = 0;
    int32_t iterations = 0;
    ResultMode mode = ResultMode::Detailed;
    bool timestamps = false;
    bool operator==(const TransferShape&) const = default;
};

// The run-wide part of one process's results.
struct TransferRun {
    int64_t wallStart = 0;
    int64_t wallEnd = 0;
    int64_t durationMs = 0;
    int64_t httpRequests = 0;
    std::vector<std::pair<int32_t, int32_t>> statusCodes;  // code, count; counts above 0
    int32_t errors[4] = {};                                // HTTP, network, fail, time-out
};

using IndexedRecord = std::pair<int32_t, const UserRecord*>;  // global user index, record

// Ticks are written relative to runStartTick, the moment the processes share.
std::string encodeRecords(const TransferShape& shape, const RunTimes& times,
                          const HttpCounters& counters, const ErrorCounters& errors,
                          const std::vector<IndexedRecord>& users,
                          const std::vector<std::pair<uint32_t, std::string>>& sections = {});

// The run-wide section of the requests, errors and users per second.
inline constexpr uint32_t kTimelineSection = 0x4e4c4d54;  // "TMLN"
std::string encodeTimeline(int32_t bucketMs, const std::vector<TimelinePoint>& points);
// False when the bytes are no timeline a run could have made.
bool decodeTimeline(std::string_view bytes, int32_t& bucketMs, std::vector<TimelinePoint>& points);

struct DecodedRecords {
    TransferShape shape;
    TransferRun run;
    // Ticks relative to the run's start; counterDomain 0.
    std::vector<std::pair<int32_t, std::unique_ptr<UserRecord>>> users;
    // Run-wide sections of newer writers, by tag, for whoever knows them.
    std::vector<std::pair<uint32_t, std::string>> sections;
};

// False with a message for the user when the bytes are not such records, or
// (expected given) records of a test of another shape; the shape is compared
// before anything is allocated for the users.  Figures no run can make
// (negative counts or times, years past 9999) are refused as damage.
bool decodeRecords(std::string_view bytes, DecodedRecords& out, std::string& error,
                   const TransferShape* expected = nullptr);

}  // namespace velk
