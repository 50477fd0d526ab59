#pragma once
// What the report page shows of a record: its report and title made safe to
// lay out.  A text layout's time grows with the length of a line, and a damaged
// or hostile results file may hold a report of one line of megabytes, so
// every line is cut at kMaxShownLineBytes with " [...]"; the report's "\r\n"
// line ends become "\n".  Titles are cut the same way at kMaxShownTitleBytes.
// Cuts never split a UTF-8 sequence.  Pure functions, safe from any thread.
#include <cstddef>
#include <string>
#include <string_view>

namespace velk::results {

inline constexpr size_t kMaxShownLineBytes = 4096;
inline constexpr size_t kMaxShownTitleBytes = 256;
inline constexpr std::string_view kCutMark = " [...]";

std::string reportTextForView(std::string_view report);
std::string titleForList(std::string_view title);

}  // namespace velk::results
