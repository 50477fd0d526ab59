#pragma once
// The report-name pattern: its macros (%n scenario, %c users, %r iterations,
// %y %m %d date, %t time, %% percent) and the characters a file name cannot
// hold.  Plain functions without state.
#include <ctime>
#include <string>

namespace velk::runner {

// The nine characters, in the order the message lists them.
inline constexpr const char* kForbiddenFileNameChars = "\\/:*?\"<>|";
// "A filename cannot contain any of the following characters:\n\\/:*?\"<>|"
std::string forbiddenFileNameMessage();
bool hasForbiddenFileNameChar(const std::string& name);

// The sample name of a pattern: each macro replaced in turn, with the date and
// time of when.
std::string expandReportPattern(const std::string& pattern, const std::string& scenarioName,
                                int users, int iterations, const std::tm& when);

}  // namespace velk::runner
