#pragma once
// Case-insensitive compares for protocol and script keywords.  Only the ASCII
// letters fold, whatever the process locale: header names, option names and
// script keywords are ASCII, and a host that sets a locale must not change what
// a test means.  Safe from any thread.
#include <cstddef>
#include <string_view>

namespace velk {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

constexpr bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// First occurrence of needle in text at or after from, ignoring case; npos if none.
constexpr size_t findNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
    for (size_t i = from; i + needle.size() <= text.size(); ++i)
        if (equalsNoCase(text.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

}  // namespace velk
