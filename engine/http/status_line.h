#pragma once
// Reads the version and status from a response's status line exactly as
// sscanf(text, "HTTP/1.%d %d", &minor, &status) does in the "C" locale (same
// result, same fields set), without the cost of a format interpreter on every
// response.
//
// Plain functions; text ends at its NUL (or, as a view, at its end or its first
// NUL).
#include <string_view>

namespace velk {

// Returns the number of fields set (0, 1 or 2), or -1 when the text ends before
// the first one, as sscanf does.  A field that is not set keeps its value.
int scanStatusLine(const char* text, int& minor, int& status);
int scanStatusLine(std::string_view text, int& minor, int& status);

// The statuses after which a request goes on (cookies, redirects, $fail); any
// other is an HTTP error.
inline bool isSuccessStatus(int status) {
    return status == 100 || status == 200 || status == 301 || status == 302;
}

}  // namespace velk
