#pragma once
// What a run will hold in memory before it starts, so that a run the machine
// cannot hold is refused at once instead of failing minutes later, out of
// memory.  Measured here: a waiting user about 16 KiB (its task's touched
// stack pages, session, connection), a user's copy of a request section about
// 700 bytes plus its texts, and the results as they are kept.  Pure; reads the
// parsed test only.
#include <cstdint>

namespace velk {

struct TestRun;

struct MemoryEstimate {
    int64_t users = 0;     // the users here: sessions, stacks, connections
    int64_t requests = 0;  // the parsed request sections and every user's copy of them
    int64_t results = 0;   // what the users record
    int64_t total = 0;
};

MemoryEstimate estimateRunMemory(const TestRun& set);

// What the machine has available for it, in bytes (-1 when not known).
int64_t machineAvailableMemory();

}  // namespace velk
