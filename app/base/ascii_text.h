#pragma once
// ASCII letter case for protocol texts (header names, tag names): bytes
// outside A-Z and a-z are compared as they are, whatever the locale.
#include <cstddef>
#include <string>
#include <string_view>

namespace velk::base {

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

inline std::string asciiLowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}

inline bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace velk::base
