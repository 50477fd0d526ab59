#pragma once
// A value of a user's last JSON answer, for $Json and $exportjson: found by
// its path, or none, with a line in the user's log saying why when the body
// is damaged or has no such value.  Plain function; the log is the caller's.
#include <optional>
#include <string>
#include <string_view>

#include "base/json_path.h"

namespace velk {

class UserLog;

// Longest value $exportjson keeps (a bearer token is longer than the 255
// characters $exportvar keeps).
inline constexpr size_t kMaxJsonExport = 65536;

std::optional<std::string> jsonValue(UserLog& log, std::string_view body, const json::Path& path,
                                     std::string_view pathText);

}  // namespace velk
