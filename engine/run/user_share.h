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

    // The maxrequests limit of this process, set by the driver for each run: the
    // test's limit shared out by users, so that the processes together send
    // about as many requests as one would.
    int32_t maxRequests = 0;

    bool owns(int32_t user) const { return shards <= 1 || user % shards == shard; }
    int32_t shareOfLimit(int32_t limit, int32_t clients, int64_t users) const {
        if (shards <= 1 || limit <= 0 || clients <= 0) return limit;
        const int64_t share = (int64_t(limit) * users + clients - 1) / clients;
        return share < 1 ? 1 : int32_t(share);
    }
};

}  // namespace velk
