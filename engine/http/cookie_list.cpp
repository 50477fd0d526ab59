#include "http/cookie_list.h"

#include "base/ascii.h"

namespace velk {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isIgnoredAttribute(std::string_view item) {
    for (std::string_view word : {"expires", "path", "domain", "version", "discard", "comment"})
        if (startsWithNoCase(item, word)) return true;
    return false;
}

CookieList::iterator findCookie(CookieList& cookies, std::string_view name) {
    for (auto it = cookies.begin(); it != cookies.end(); ++it)
        if (it->first == name) return it;
    return cookies.end();
}

// A max-age whose value is exactly one "0" (blanks before it allowed).
bool isZeroAge(std::string_view value) {
    while (!value.empty() && isBlank(value[0])) value.remove_prefix(1);
    return !value.empty() && value[0] == '0' &&
           (value.size() == 1 || value[1] < '0' || value[1] > '9');
}

// CR, LF or NUL would end or split the Cookie header the value goes back in.
bool breaksHeader(std::string_view item) {
    return item.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

void recordSetCookie(std::string_view text, CookieList& cookies) {
    std::string_view lastCookie;  // name of this line's last cookie item
    bool haveLastCookie = false;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isBlank(text[pos])) ++pos;
        size_t semicolon = text.find(';', pos);
        std::string_view item =
            text.substr(pos, semicolon == std::string_view::npos ? semicolon : semicolon - pos);
        pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
        size_t eq = item.find('=');
        if (eq == std::string_view::npos) break;
        std::string_view name = item.substr(0, eq);
        std::string_view value = item.substr(eq + 1);

        if (startsWithNoCase(item, "max-age")) {
            if (haveLastCookie && isZeroAge(value))
                if (auto it = findCookie(cookies, lastCookie); it != cookies.end())
                    it->second.clear();
            continue;
        }
        if (isIgnoredAttribute(item)) continue;

        std::string_view trimmed = value;
        while (!trimmed.empty() && isBlank(trimmed[0])) trimmed.remove_prefix(1);
        auto it = findCookie(cookies, name);
        if (trimmed.empty()) {
            if (it != cookies.end()) cookies.erase(it);
        } else if (name.size() + value.size() > kMaxCookieBytes || breaksHeader(item)) {
            continue;  // oversized or unsafe: ignored, and not the line's last cookie
        } else if (it != cookies.end()) {
            it->second.assign(value);
        } else if (cookies.size() < kMaxCookies) {
            cookies.emplace_back(name, value);
        } else {
            continue;
        }
        lastCookie = name;
        haveLastCookie = true;
    }
}

}  // namespace velk
