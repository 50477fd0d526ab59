#pragma once
// The records of a run's users by global user index: those this process ran
// and those brought in from others.  A run of every user in one process gives
// exactly its users in order; a shared run gives `clients` entries, null
// where the user's results are not here.
//
// Read after the run, on the caller's thread (no user thread runs then).
#include <cstdint>
#include <vector>

#include "results/run_record.h"
#include "run/run_state.h"

namespace velk {

std::vector<UserRecord*> recordsByUser(RunState& run, int32_t clients);

// The record of the user with that global index, or null when it is not here.
// Needs run.imported in index order (as ImportResultData keeps it).
UserRecord* recordOfUser(RunState& run, int32_t index);

}  // namespace velk
