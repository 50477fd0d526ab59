#pragma once
// Escape sequences shared by the pattern parser and the bracket-set parser.
#include <cstddef>
#include <string_view>

#include "regex/char_set.h"
#include "regex/char_tables.h"

namespace velk {

inline bool isAsciiLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// The byte \e \f \n \r \t stands for, or -1 for any other letter.
inline int controlEscape(unsigned char c) {
    switch (c) {
        case 'e':
            return 27;
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        default:
            return -1;
    }
}

// One or two hexadecimal digits at pos (after "\x"), consumed; -1 when there is none.
inline int readHexEscape(std::string_view text, size_t& pos) {
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos < text.size()) {
        char c = text[pos];
        int h = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (h < 0) break;
        value = value * 16 + h;
        ++digits;
        ++pos;
    }
    return digits ? value : -1;
}

// The set of a class escape (\d \s \w \l \u \i; capitals negate); false for other letters.
inline bool classEscape(unsigned char letter, CharSet& out) {
    CharTables::Class cls;
    switch (letter | 0x20) {
        case 'd':
            cls = CharTables::kDigit;
            break;
        case 's':
            cls = CharTables::kSpace;
            break;
        case 'w':
            cls = CharTables::kWord;
            break;
        case 'l':
            cls = CharTables::kLower;
            break;
        case 'u':
            cls = CharTables::kUpper;
            break;
        case 'i':
            cls = CharTables::kLetter;
            break;
        default:
            return false;
    }
    out = CharTables::instance().set(cls);
    if (letter >= 'A' && letter <= 'Z') out.invert();
    return true;
}

}  // namespace velk
