#pragma once
// Text that came from a server or a file, made safe to show: control
// characters (ESC, BEL, NUL ..., DEL and the C1 controls U+0080..U+009F) are
// written as visible escapes ("\x1b", "\u009b"), so a page title or a request
// name cannot move the cursor, retitle the terminal or clear the screen.  Every
// place velkrun or the desktop program shows such text goes through here.
// Plain functions.
#include <string>
#include <string_view>

namespace velk::base {

// For one field of a line (a title, a name): tab, line feed and carriage
// return are escaped too.
std::string escapeControls(std::string_view text);

// For text of several lines (a report, a message): tab and line feed stay as
// they are, every other control is escaped (a carriage return too, except
// right before a line feed).
std::string escapeControlsKeepLines(std::string_view text);

}  // namespace velk::base
