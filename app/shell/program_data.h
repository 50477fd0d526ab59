#pragma once
// Where the program finds what ships with it and where it writes its crash
// report.  Read-only data (Tips.txt, the help) lies beside the program in the
// build tree and under ../share/velk in an installed tree.  The crash report
// goes beside the program when its directory is writable, else under the
// user's data directory ($XDG_DATA_HOME/VELK).
#include <string>
#include <string_view>

namespace velk::shell {

// The path of a shipped file or directory; when none of the places holds it,
// the place beside the program (so messages name a sensible path).
std::string programDataPath(std::string_view name);

// The crash report file; its directory is made when missing.
std::string crashReportPath();

}  // namespace velk::shell
