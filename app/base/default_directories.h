#pragma once
// Where the program's writable defaults (the Logs and Reports directories) live:
// beside the program when its directory is writable, else under the user's data
// directory ($XDG_DATA_HOME/VELK, by default ~/.local/share/VELK).
#include <string>
#include <string_view>

namespace velk::base {

// The directory of the running program file; empty when it cannot be found.
std::string programDirectory();

// The default directory of that name ("Logs", "Reports"), an absolute path.
std::string defaultDataDirectory(std::string_view name);

}  // namespace velk::base
