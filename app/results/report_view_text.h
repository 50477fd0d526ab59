#pragma once
// What the report page shows of a record: its report and title made safe to
// lay out and easy to read.  The engine's report is tab-separated; each block
// of lines holding tabs is laid out as columns in blanks, every column as
// wide as its widest cell, so that a header stands over its values whatever
// the request names' lengths (the report itself stays tab-separated).
// A text layout's time grows with the length of a line, and a damaged or
// hostile results file may hold a report of one line of megabytes, so every
// line is cut at kMaxShownLineBytes with " [...]"; the report's "\r\n" line
// ends become "\n".  Titles are cut the same way at kMaxShownTitleBytes.
// Cuts never split a UTF-8 sequence.  Pure functions, safe from any thread.
#include <cstddef>
#include <string>
#include <string_view>

namespace velk::results {

inline constexpr size_t kMaxShownLineBytes = 4096;
inline constexpr size_t kMaxShownTitleBytes = 256;
inline constexpr std::string_view kCutMark = " [...]";
// A column is no wider than this many characters; a longer cell pushes the
// rest of its own line only.
inline constexpr size_t kMaxColumnChars = 60;
inline constexpr size_t kColumnGap = 2;
// Laying out may make the text this much longer than twice the report; past
// that (a hostile file of narrow cells under wide ones) blocks stay tabbed.
inline constexpr size_t kLayoutBudgetBytes = size_t(64) << 20;

std::string reportTextForView(std::string_view report);
std::string titleForList(std::string_view title);

}  // namespace velk::results
