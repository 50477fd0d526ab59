#pragma once
// The 32-byte summary of a run that the text report fills for its caller, laid
// out exactly as the public C record.
#include <cstddef>
#include <cstdint>

namespace velk {

struct SummaryRecord {
    int32_t requestsPerSecondX1000;  // truncated; 0 without summary times
    int32_t msPerRequestX1000;       // truncated; 0 without summary times
    double serverBandwidth;          // bytes sent and received per ms of test duration
    double userBandwidth;            // serverBandwidth / clients
    int32_t totalRequests;           // requests made by all users; 0 without summary times
    int32_t totalErrors;
};
static_assert(sizeof(SummaryRecord) == 32);
static_assert(offsetof(SummaryRecord, serverBandwidth) == 8);
static_assert(offsetof(SummaryRecord, userBandwidth) == 16);
static_assert(offsetof(SummaryRecord, totalRequests) == 24);
static_assert(offsetof(SummaryRecord, totalErrors) == 28);

}  // namespace velk
