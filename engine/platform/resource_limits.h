#pragma once
#include <cstdint>

namespace velk::platform {

// Raises the soft limit of open files towards needed (at most to the hard limit).
// Returns the limit now in force.
int64_t raiseOpenFileLimit(int64_t needed);

}  // namespace velk::platform
