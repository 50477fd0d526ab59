#include "regex/bracket_set_parser.h"

#include "regex/char_tables.h"
#include "regex/delimited_pattern.h"
#include "regex/regex_escapes.h"

namespace velk {

BracketSetParser::BracketSetParser(std::string_view text, bool ignoreCase, bool strictEscapes)
    : m_text(text), m_ignoreCase(ignoreCase), m_strict(strictEscapes) {}

bool BracketSetParser::fail(int code, size_t position) {
    m_error = code;
    m_errorPosition = position;
    return false;
}

bool BracketSetParser::parse(size_t start) {
    m_pos = start + 1;
    m_single = -1;
    bool negate = false;
    if (m_pos < m_text.size() && m_text[m_pos] == '^') {
        negate = true;
        ++m_pos;
    }
    CharSet chars;
    CharSet classes;
    int members = 0;
    int single = -1;
    for (;;) {
        if (m_pos >= m_text.size()) return fail(kPatternUnbalanced, start);
        if (m_text[m_pos] == ']') {
            ++m_pos;
            break;
        }
        int lo = -1;
        if (!member(lo, classes, start)) return false;
        ++members;
        if (lo < 0) continue;
        if (m_pos + 1 < m_text.size() && m_text[m_pos] == '-' && m_text[m_pos + 1] != ']') {
            ++m_pos;
            int hi = -1;
            CharSet hiClass;
            if (!member(hi, hiClass, start)) return false;
            ++members;
            if (hi < 0) {  // "a-\d": the "-" is a member of its own
                chars.add(static_cast<unsigned char>(lo));
                chars.add('-');
                classes.addAll(hiClass);
            } else if (hi >= lo) {
                chars.addRange(static_cast<unsigned char>(lo), static_cast<unsigned char>(hi));
            }
            continue;
        }
        chars.add(static_cast<unsigned char>(lo));
        single = lo;
    }
    if (members == 1 && single >= 0 && !negate) {
        m_single = single;
        return true;
    }
    if (m_ignoreCase) {
        const CharTables& tables = CharTables::instance();
        CharSet lowered;
        for (int c = 0; c < 256; ++c)
            if (chars.test(static_cast<unsigned char>(c)))
                lowered.add(tables.lower(static_cast<unsigned char>(c)));
        for (int c = 0; c < 256; ++c)
            if (lowered.test(tables.lower(static_cast<unsigned char>(c))))
                chars.add(static_cast<unsigned char>(c));
    }
    chars.addAll(classes);
    if (negate) chars.invert();
    m_set = chars;
    return true;
}

// One member: a byte (ch) or a class escape (added to classes, ch = -1).
bool BracketSetParser::member(int& ch, CharSet& classes, size_t setStart) {
    unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
    if (c != '\\') {
        ch = c;
        ++m_pos;
        return true;
    }
    if (m_pos + 1 >= m_text.size()) return fail(kPatternUnbalanced, setStart);
    size_t at = m_pos;
    unsigned char e = static_cast<unsigned char>(m_text[m_pos + 1]);
    m_pos += 2;
    CharSet cls;
    if (classEscape(e, cls)) {
        classes.addAll(cls);
        ch = -1;
        return true;
    }
    // [^\r\n] must mean what every script author expects, so the character
    // escapes work inside sets as they do outside.
    ch = controlEscape(e);
    if (ch >= 0) return true;
    if (e == 'x') {
        ch = readHexEscape(m_text, m_pos);
        return ch >= 0 || fail(kPatternMalformed, at);
    }
    if (isAsciiLetter(e) && m_strict) return fail(kPatternUnknownEscape, at);
    ch = e;
    return true;
}

}  // namespace velk
