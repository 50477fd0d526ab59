#pragma once
// Reads one bracket set "[...]" of a pattern: an optional "^", then single
// characters, ranges a-b (empty when b is below a) and class escapes up to the
// first unescaped "]".  Under ignore-case the characters written (not the
// class escapes) match in either case.
#include <cstddef>
#include <string_view>

#include "regex/char_set.h"

namespace velk {

class BracketSetParser {
public:
    BracketSetParser(std::string_view text, bool ignoreCase, bool strictEscapes);

    // text[start] is the "[".  False on an error (unbalanced, bad "\x", unknown
    // escape under strict escapes) with its code and position.
    bool parse(size_t start);

    const CharSet& set() const { return m_set; }
    // The one character of a set that holds exactly one and is not negated
    // (it is then an ordinary literal), otherwise -1.
    int single() const { return m_single; }
    size_t end() const { return m_pos; }  // just past the "]"
    int error() const { return m_error; }
    size_t errorPosition() const { return m_errorPosition; }

private:
    bool member(int& ch, CharSet& classes, size_t setStart);
    bool fail(int code, size_t position);

    std::string_view m_text;
    bool m_ignoreCase;
    bool m_strict;
    size_t m_pos = 0;
    CharSet m_set;
    int m_single = -1;
    int m_error = 0;
    size_t m_errorPosition = 0;
};

}  // namespace velk
