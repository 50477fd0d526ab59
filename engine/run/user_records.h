#pragma once
// The records of a run's users by global user index: those this process ran
// and those brought in from others.  A run of every user in one process gives
// exactly its users in order; a shared run gives `clients` entries, null
// where the user's results are not here.
//
// Read after the run, on the caller's thread (no user thread runs then).
#include <cstdint>
#include <string>
#include <vector>

#include "results/run_record.h"
#include "run/run_state.h"

namespace velk {

struct TestRun;

std::vector<UserRecord*> recordsByUser(RunState& run, int32_t clients);

// The record of the user with that global index, or null when it is not here.
// Needs run.imported in index order (as ImportResultData keeps it).
UserRecord* recordOfUser(RunState& run, int32_t index);

// Merges the response-time figures of every user here, run or brought in, into
// run.latency: per request name of the test sequence (or of a script's
// results) and for the whole run.
void mergeRunLatency(const TestRun& set, RunState& run);
// The request name of each slot of the users' response-time figures: the test
// sequence's positions, then the initial and final sequences' (none for a
// script-driven test).
std::vector<std::string> latencySlotNames(const TestRun& set);

}  // namespace velk
