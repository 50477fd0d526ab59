#pragma once
// The caps that keep one misbehaving or very busy client from taking the demo
// server down.  Defaults suit a load test of a few hundred users on a small machine;
// tests shrink them.
#include <chrono>
#include <cstddef>

namespace velk::demo {

struct ServerLimits {
    size_t maxHeaderBytes = 64 * 1024;  // request line and headers
    size_t maxBodyBytes = 1024 * 1024;
    int maxConnections = 2000;  // served at once; more get 503 and are closed
    // A connection that sends nothing (or accepts nothing) for this long is closed.
    std::chrono::milliseconds idleTimeout{30000};
};

}  // namespace velk::demo
