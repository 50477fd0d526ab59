#pragma once
// The result of one request as users record it and reports print it: a time in
// microseconds when it succeeded, otherwise one of these negative error classes.
// One name per class, used alike by the request path and the results.
#include <cstdint>

namespace velk {

inline constexpr int32_t kResultNetwork = -1;  // no connection, or it broke
inline constexpr int32_t kResultHttp = -2;     // the server answered with an error status
inline constexpr int32_t kResultFail = -3;     // a $fail check matched the response
inline constexpr int32_t kResultTimeout = -4;  // no complete answer in time
inline constexpr int32_t kNotRun = -255;       // the position was never reached

}  // namespace velk
