#pragma once
#include <cstdint>

namespace velk::platform {

// Raises the soft limit of open files towards needed (at most to the hard limit).
// Returns the limit now in force.
int64_t raiseOpenFileLimit(int64_t needed);

// Bytes of memory the system can give a new workload without swapping: the
// kernel's MemAvailable, else the free physical pages; -1 when neither is known.
int64_t availableMemoryBytes();

}  // namespace velk::platform
