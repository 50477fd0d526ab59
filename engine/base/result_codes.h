#pragma once
// The result of one request as users record it and reports print it: a time in
// microseconds when it succeeded, otherwise one of the negative error classes
// that the C interface names.  One name per class, used alike by the request
// path and the results.
#include <cstdint>

#include "velkcore.h"

namespace velk {

inline constexpr int32_t kResultNetwork = VELK_RESULT_NETWORK;
inline constexpr int32_t kResultHttp = VELK_RESULT_HTTP;
inline constexpr int32_t kResultFail = VELK_RESULT_FAIL;
inline constexpr int32_t kResultTimeout = VELK_RESULT_TIMEOUT;
inline constexpr int32_t kNotRun = VELK_RESULT_NOT_RUN;

}  // namespace velk
