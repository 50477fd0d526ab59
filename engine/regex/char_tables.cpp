#include "regex/char_tables.h"

#include <ctype.h>
#include <locale.h>

namespace velk {

const CharTables& CharTables::instance() {
    static const CharTables tables;
    return tables;
}

CharTables::CharTables() {
    // The "C" locale always exists; the fallback to the process locale is only
    // for a C library that cannot create it.
    locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    for (int i = 0; i < 256; ++i) {
        auto has = [&](int (*withLocale)(int, locale_t), int (*plain)(int)) {
            return (c ? withLocale(i, c) : plain(i)) != 0;
        };
        m_lower[i] = static_cast<unsigned char>(c ? tolower_l(i, c) : ::tolower(i));
        m_upper[i] = static_cast<unsigned char>(c ? toupper_l(i, c) : ::toupper(i));
        uint8_t bits = 0;
        if (has(isdigit_l, ::isdigit)) bits |= kDigit;
        if (has(isspace_l, ::isspace)) bits |= kSpace;
        if (has(isalnum_l, ::isalnum) || i == '_') bits |= kWord;
        if (has(islower_l, ::islower)) bits |= kLower;
        if (has(isupper_l, ::isupper)) bits |= kUpper;
        if (has(isalpha_l, ::isalpha)) bits |= kLetter;
        m_class[i] = bits;
    }
    if (c) freelocale(c);
    for (int b = 0; b < 6; ++b)
        for (int i = 0; i < 256; ++i)
            if (m_class[i] & (1 << b)) m_sets[b].add(static_cast<unsigned char>(i));
}

const CharSet& CharTables::set(Class cls) const {
    return m_sets[__builtin_ctz(static_cast<unsigned>(cls))];
}

CharSet CharTables::caseVariants(unsigned char c) const {
    CharSet s;
    for (int i = 0; i < 256; ++i)
        if (m_lower[i] == m_lower[c]) s.add(static_cast<unsigned char>(i));
    return s;
}

}  // namespace velk
