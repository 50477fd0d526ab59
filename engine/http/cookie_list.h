#pragma once
// A user's cookies: one ordered list for the whole run, without regard to
// domain, path or expiry.  Names compare with exact case; an entry whose value
// was taken away (max-age=0) stays in place but is not sent.
//
// Owned by one user thread.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk {

using CookieList = std::vector<std::pair<std::string, std::string>>;

// A server cannot grow a user's list without bound: beyond this many entries new
// names are ignored, and a cookie whose name and value together are longer than
// kMaxCookieBytes is ignored (a browser keeps at most about 4 KiB per cookie).
inline constexpr size_t kMaxCookies = 300;
inline constexpr size_t kMaxCookieBytes = 4096;

// Applies the text after "Set-Cookie:" to cookies.  Items are separated by ";";
// max-age with the value 0 takes the value of the line's last cookie away;
// expires, path, domain, version, discard and comment are ignored (as is any
// cookie whose name begins with one of them); any other name=value sets or
// appends that cookie, or removes it when the value is empty or blank; an item
// without "=" ends the line.
void recordSetCookie(std::string_view text, CookieList& cookies);

}  // namespace velk
