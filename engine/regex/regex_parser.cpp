#include "regex/regex_parser.h"

#include <string>

#include "regex/bracket_set_parser.h"
#include "regex/delimited_pattern.h"
#include "regex/regex_escapes.h"

namespace velk {

RegexParser::RegexParser(std::string_view expression, int flags)
    : m_text(expression),
      m_ignoreCase(flags & kFlagIgnoreCase),
      m_dotAll(flags & kFlagDotAll),
      m_multiLine(flags & kFlagMultiLine),
      m_extended(flags & kFlagExtended),
      m_strict(flags & kFlagStrictEscapes),
      m_tables(CharTables::instance()) {}

bool RegexParser::parse(RegexTree& tree) {
    tree = RegexTree{};
    m_tree = &tree;
    m_pos = 0;
    m_quoting = false;
    m_open.clear();
    m_backRefs.clear();
    RegexNode root;
    root.kind = NodeKind::kGroup;
    root.groupKind = GroupKind::kPlain;
    root.alternatives.emplace_back();
    tree.root = addNode(root);
    m_open.emplace_back(tree.root, 0);
    while (m_pos < m_text.size())
        if (!step()) return false;
    if (m_open.size() > 1) return fail(kPatternUnbalanced, m_open.back().second);
    // Back-references may name a group that opens later in the pattern.
    for (const auto& [number, position] : m_backRefs)
        if (number > tree.groups) return fail(kPatternNoSuchGroup, position);
    return true;
}

bool RegexParser::fail(int code, size_t position) {
    m_error = code;
    m_errorPosition = position;
    return false;
}

bool RegexParser::inLookBehind() const {
    GroupKind k = m_tree->nodes[m_open.back().first].groupKind;
    return k == GroupKind::kBehind || k == GroupKind::kNotBehind;
}

std::vector<int32_t>& RegexParser::currentAlternative() {
    return m_tree->nodes[m_open.back().first].alternatives.back();
}

int32_t RegexParser::addNode(const RegexNode& node) {
    m_tree->nodes.push_back(node);
    return static_cast<int32_t>(m_tree->nodes.size() - 1);
}

void RegexParser::addLiteral(unsigned char c) {
    if (m_ignoreCase) {
        CharSet variants = m_tables.caseVariants(c);
        if (variants.count() > 1) {
            addSet(variants);
            return;
        }
    }
    RegexNode n;
    n.kind = NodeKind::kChar;
    n.ch = c;
    currentAlternative().push_back(addNode(n));
}

void RegexParser::addSet(const CharSet& set) {
    RegexNode n;
    n.kind = NodeKind::kSet;
    n.set = static_cast<int32_t>(m_tree->sets.size());
    m_tree->sets.push_back(set);
    currentAlternative().push_back(addNode(n));
}

void RegexParser::addAssert(AssertKind kind) {
    RegexNode n;
    n.kind = NodeKind::kAssert;
    n.assertKind = kind;
    currentAlternative().push_back(addNode(n));
}

void RegexParser::skipPatternSpace() {
    while (m_extended && m_pos < m_text.size()) {
        char c = m_text[m_pos];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
        ++m_pos;
    }
}

CharSet RegexParser::dotSet() const {
    CharSet any;
    any.invert();
    if (!m_dotAll) any.bits[0] &= ~((uint64_t{1} << '\n') | (uint64_t{1} << '\r'));
    return any;
}

bool RegexParser::step() {
    unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
    if (m_quoting) {
        if (c == '\\' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == 'E') {
            m_quoting = false;
            m_pos += 2;
            return true;
        }
        addLiteral(c);
        ++m_pos;
        return true;
    }
    if (m_extended && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
        ++m_pos;
        return true;
    }
    if (inLookBehind()) return stepLookBehind(c);
    switch (c) {
        case '(':
            return openGroup();
        case ')':
            return closeGroup();
        case '|':
            m_tree->nodes[m_open.back().first].alternatives.emplace_back();
            ++m_pos;
            return true;
        case '*':
            return quantify(m_pos++, 0, kUnbounded);
        case '+':
            return quantify(m_pos++, 1, kUnbounded);
        case '?':
            return quantify(m_pos++, 0, 1);
        case '{':
            return braces();
        case '[':
            return parseSet();
        case '\\':
            return escape();
        case '^':
            addAssert(m_multiLine ? AssertKind::kLineStart : AssertKind::kTextStart);
            break;
        case '$':
            if (m_multiLine) {
                RegexNode n;
                n.kind = NodeKind::kEndOfLine;
                currentAlternative().push_back(addNode(n));
            } else {
                addAssert(AssertKind::kTextEnd);
            }
            break;
        case '.':
            addSet(dotSet());
            break;
        default:
            addLiteral(c);
            break;
    }
    ++m_pos;
    return true;
}

// A look-behind holds single-width items only, so that it can step back by a
// fixed count: grouping and repetition characters are plain literals there.
bool RegexParser::stepLookBehind(unsigned char c) {
    switch (c) {
        case ')':
            return closeGroup();
        case '|':
        case '^':
        case '$':
            return fail(kPatternMalformed, m_pos);
        case '[':
            return parseSet();
        case '\\':
            return escape();
        case '.':
            addSet(dotSet());
            break;
        default:
            addLiteral(c);
            break;
    }
    ++m_pos;
    return true;
}

bool RegexParser::openGroup() {
    size_t at = m_pos++;
    GroupKind kind = GroupKind::kCapture;
    std::string_view rest = m_text.substr(m_pos);
    if (rest.starts_with("?:"))
        kind = GroupKind::kPlain, m_pos += 2;
    else if (rest.starts_with("?="))
        kind = GroupKind::kAhead, m_pos += 2;
    else if (rest.starts_with("?!"))
        kind = GroupKind::kNotAhead, m_pos += 2;
    else if (rest.starts_with("?<="))
        kind = GroupKind::kBehind, m_pos += 3;
    else if (rest.starts_with("?<!"))
        kind = GroupKind::kNotBehind, m_pos += 3;
    if (m_open.size() - 1 >= kMaxOpenGroups) return fail(kPatternTooDeep, at);
    RegexNode n;
    n.kind = NodeKind::kGroup;
    n.groupKind = kind;
    n.alternatives.emplace_back();
    if (kind == GroupKind::kCapture) n.number = ++m_tree->groups;
    if (kind == GroupKind::kAhead || kind == GroupKind::kNotAhead) m_tree->hasLookAhead = true;
    int32_t id = addNode(n);
    currentAlternative().push_back(id);
    m_open.emplace_back(id, at);
    return true;
}

bool RegexParser::closeGroup() {
    if (m_open.size() == 1) return fail(kPatternUnbalanced, m_pos);
    RegexNode& n = m_tree->nodes[m_open.back().first];
    if (n.groupKind == GroupKind::kBehind || n.groupKind == GroupKind::kNotBehind)
        n.width = static_cast<int32_t>(n.alternatives[0].size());
    m_open.pop_back();
    ++m_pos;
    return true;
}

// m_pos is past the operator (and its braces); a "?" after it makes it lazy.
bool RegexParser::quantify(size_t at, int32_t min, int32_t max) {
    std::vector<int32_t>& items = currentAlternative();
    if (items.empty()) return fail(kPatternNothingToRepeat, at);
    RegexNode& n = m_tree->nodes[items.back()];
    if (!m_tree->repeatable(n) || n.quantified) return fail(kPatternNothingToRepeat, at);
    skipPatternSpace();
    bool lazy = false;
    if (m_pos < m_text.size() && m_text[m_pos] == '?') {
        lazy = true;
        ++m_pos;
    }
    if (min == 1 && max == 1) return true;
    n.min = min;
    n.max = max;
    n.lazy = lazy;
    n.quantified = true;
    return true;
}

bool RegexParser::braces() {
    size_t at = m_pos;
    size_t close = m_text.find('}', at);
    if (close == std::string_view::npos) return fail(kPatternUnbalanced, at);
    std::vector<int32_t>& items = currentAlternative();
    if (items.empty() || !m_tree->repeatable(m_tree->nodes[items.back()]) ||
        m_tree->nodes[items.back()].quantified)
        return fail(kPatternNothingToRepeat, at);
    std::string counts;
    for (size_t i = at + 1; i < close; ++i) {
        char c = m_text[i];
        if (!(m_extended && (c == ' ' || c == '\t' || c == '\r' || c == '\n'))) counts.push_back(c);
    }
    // Counts are bounded so that they fit the matcher's 32-bit counters; they
    // are never unrolled, so a large count costs nothing at compile time.
    size_t i = 0;
    auto number = [&](int32_t& out) {
        size_t begin = i;
        int64_t v = 0;
        while (i < counts.size() && isDigit(static_cast<unsigned char>(counts[i]))) {
            v = v * 10 + (counts[i] - '0');
            if (v >= kUnbounded) return false;
            ++i;
        }
        out = static_cast<int32_t>(v);
        return i > begin;
    };
    int32_t min = 0;
    int32_t max = 0;
    if (!number(min)) return fail(kPatternBadCount, at);
    if (i == counts.size()) {
        max = min;
    } else if (counts[i] == ',') {
        ++i;
        if (i == counts.size())
            max = kUnbounded;
        else if (!number(max) || i != counts.size() || max < min)
            return fail(kPatternBadCount, at);
    } else {
        return fail(kPatternBadCount, at);
    }
    m_pos = close + 1;
    return quantify(at, min, max);
}

bool RegexParser::escape() {
    size_t at = m_pos;
    if (m_pos + 1 >= m_text.size()) return fail(kPatternMalformed, at);
    unsigned char e = static_cast<unsigned char>(m_text[m_pos + 1]);
    m_pos += 2;
    CharSet cls;
    if (classEscape(e, cls)) {
        addSet(cls);
        return true;
    }
    int control = controlEscape(e);
    if (control >= 0) {
        addLiteral(static_cast<unsigned char>(control));
        return true;
    }
    bool zeroWidth = e == 'b' || e == 'B' || e == 'A' || e == 'Z' || e == 'O' || isDigit(e);
    if (zeroWidth && inLookBehind()) return fail(kPatternMalformed, at);
    switch (e) {
        case 'b':
            addAssert(AssertKind::kWordBoundary);
            return true;
        case 'B':
            addAssert(AssertKind::kNotWordBoundary);
            return true;
        case 'A':
            addAssert(AssertKind::kTextStart);
            return true;
        case 'Z':
            addAssert(AssertKind::kTextEnd);
            return true;
        case 'O': {
            RegexNode n;
            n.kind = NodeKind::kCommit;
            currentAlternative().push_back(addNode(n));
            return true;
        }
        case 'Q':
            m_quoting = true;
            return true;
        case 'E':
            return true;  // an "\E" without "\Q" ends nothing
        case 'x': {
            int v = readHexEscape(m_text, m_pos);
            if (v < 0) return fail(kPatternMalformed, at);
            addLiteral(static_cast<unsigned char>(v));
            return true;
        }
        default:
            break;
    }
    if (isDigit(e)) return escapedDigits(at);
    if (isAsciiLetter(e) && m_strict) return fail(kPatternUnknownEscape, at);
    addLiteral(e);
    // Property classes are not supported, but "\p{Letters}" is taken as the
    // literal text it spells rather than as a repetition of "p".
    if (e == 'p' && m_pos < m_text.size() && m_text[m_pos] == '{') {
        size_t i = m_pos + 1;
        while (i < m_text.size() && isAsciiLetter(static_cast<unsigned char>(m_text[i]))) ++i;
        if (i > m_pos + 1 && i < m_text.size() && m_text[i] == '}') {
            for (; m_pos <= i; ++m_pos) addLiteral(static_cast<unsigned char>(m_text[m_pos]));
        }
    }
    return true;
}

bool RegexParser::escapedDigits(size_t at) {
    // m_pos is past the first digit.
    int64_t number = m_text[m_pos - 1] - '0';
    while (m_pos < m_text.size() && isDigit(static_cast<unsigned char>(m_text[m_pos]))) {
        // Beyond any possible group count the exact value no longer matters.
        if (number < kUnbounded) number = number * 10 + (m_text[m_pos] - '0');
        ++m_pos;
    }
    int32_t n = number < kUnbounded ? static_cast<int32_t>(number) : kUnbounded;
    m_backRefs.emplace_back(n, at);
    if (n > m_tree->maxBackRef) m_tree->maxBackRef = n;
    RegexNode node;
    node.kind = NodeKind::kBackRef;
    node.number = n;
    currentAlternative().push_back(addNode(node));
    return true;
}

bool RegexParser::parseSet() {
    BracketSetParser set(m_text, m_ignoreCase, m_strict);
    if (!set.parse(m_pos)) return fail(set.error(), set.errorPosition());
    m_pos = set.end();
    if (set.single() >= 0)
        addLiteral(static_cast<unsigned char>(set.single()));
    else
        addSet(set.set());
    return true;
}

}  // namespace velk
