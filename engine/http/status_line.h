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

// The statuses after which a request goes on (cookies, redirects, $fail): 100,
// every 2xx, the redirects and 304 (a cached copy is still good).  Any other is
// an HTTP error.
inline bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
inline bool isSuccessStatus(int status) {
    return status == 100 || (status >= 200 && status < 300) || status == 304 ||
           isRedirectStatus(status);
}
// 307 and 308 ask for the same request again elsewhere; 301, 302 and 303 for
// the page there.
inline bool keepsMethod(int status) {
    return status == 307 || status == 308;
}
// Answers that never carry a body, whatever their header says.
inline bool hasNoBody(int status) {
    return status == 204 || status == 304;
}

}  // namespace velk
