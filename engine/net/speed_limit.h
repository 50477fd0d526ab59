#pragma once
// The pause that holds a connection to its bandwidth limit.  A pure function, safe
// from any thread.
#include <cstdint>

namespace velk::net {

// Longest pause ever taken; a longer computed pause is dropped (a stalled
// transfer must not put the user to sleep for minutes).
inline constexpr int64_t kMaxSpeedLimitPauseMillis = 120000;

// Milliseconds to sleep after moving bytesMoved bytes in elapsedMillis when the limit
// is bytesPerSecond (> 0): the time the bytes should have taken minus the time they
// took, rounded up to whole 10 ms; 0 when that is negative or above the maximum.
int64_t speedLimitPauseMillis(int64_t bytesMoved, int32_t bytesPerSecond, int64_t elapsedMillis);

}  // namespace velk::net
