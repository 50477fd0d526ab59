#pragma once
// Reads the version and status from a response's status line exactly as
// sscanf(text, "HTTP/1.%d %d", &minor, &status) does in the "C" locale (same
// result, same fields set), without the cost of a format interpreter on every
// response.
//
// A plain function; text must be NUL-terminated.
namespace velk {

// Returns the number of fields set (0, 1 or 2), or -1 when the text ends before
// the first one, as sscanf does.  A field that is not set keeps its value.
int scanStatusLine(const char* text, int& minor, int& status);

}  // namespace velk
