#pragma once
// Case mappings and character classes of all 256 byte values, taken once from
// the C library's functions in the "C" locale, so that a host which changes its
// own locale never changes what a pattern matches.  Built on first use and then
// read-only: safe to share between any number of threads.
#include <cstdint>

#include "regex/char_set.h"

namespace velk {

class CharTables {
public:
    // Class bits of a byte.
    enum Class : uint8_t {
        kDigit = 1,
        kSpace = 2,
        kWord = 4,  // letter, digit or "_"
        kLower = 8,
        kUpper = 16,
        kLetter = 32,
    };

    static const CharTables& instance();

    unsigned char lower(unsigned char c) const { return m_lower[c]; }
    unsigned char upper(unsigned char c) const { return m_upper[c]; }
    bool is(unsigned char c, Class cls) const { return (m_class[c] & cls) != 0; }
    bool isWord(unsigned char c) const { return is(c, kWord); }
    // The set of one class; the class escapes \d \s \w \l \u \i.
    const CharSet& set(Class cls) const;
    // Every byte whose lower-case mapping equals that of c.
    CharSet caseVariants(unsigned char c) const;

private:
    CharTables();

    unsigned char m_lower[256];
    unsigned char m_upper[256];
    uint8_t m_class[256];
    CharSet m_sets[6];
};

}  // namespace velk
