#pragma once
// The checks a scenario passes before it is run: values that the engine would
// refuse while parsing the generated script (too long, a line break inside a
// one-line value, a request name used twice or taken by a section, a negative
// number where only digits are read) are caught here, with a message that
// names the request or option, instead of ending in a failed parse.
//
// Thread-safe as far as the scenario is: takes the requests container's lock
// for the walk; the general and run sections are read as the user-interface
// thread leaves them.
#include <cstddef>
#include <string>

#include "engine/base/status.h"

namespace velk::scenario {

class CScenario;

// The longest texts the engine accepts for these script values (its option
// buffers hold one byte more, for the end of the string).
inline constexpr size_t kMaxDescriptionLength = 63;
inline constexpr size_t kMaxProjectNameLength = 63;
inline constexpr size_t kMaxProxyMaskLength = 31;
inline constexpr size_t kMaxAuthorizationLength = 255;  // user, ':' and password
inline constexpr size_t kMaxOutfileLength = 255;
inline constexpr size_t kMaxLogDirectoryLength = 269;
inline constexpr size_t kMaxReportDirectoryLength = 269;
inline constexpr size_t kMaxRequestNameLength = 399;

// Ok when the scenario's script would be accepted as far as these values go;
// otherwise kInvalid with the first problem, for the user.
Status checkScenarioForRun(const CScenario& scenario);

}  // namespace velk::scenario
