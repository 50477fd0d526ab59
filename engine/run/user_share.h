#pragma once
// The part of a run that one process plays when several share it: the users
// whose global index i has i % shards == shard, out of the test's `clients`,
// and the host's barrier held just before the users are let go.
//
// Set on the caller's thread before RunTest; read by the driver on that thread.
#include <cstdint>

namespace velk {

struct UserShare {
    int32_t shard = 0;
    int32_t shards = 1;  // 1: this process runs every user
    // Called with barrierContext once every user is ready; 0 aborts the run.
    int32_t (*barrier)(void*) = nullptr;
    void* barrierContext = nullptr;

    bool owns(int32_t user) const { return shards <= 1 || user % shards == shard; }
};

}  // namespace velk
