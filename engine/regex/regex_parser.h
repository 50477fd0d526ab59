#pragma once
// Turns the text of one pattern (the expression alone, without delimiters) into
// a RegexTree, or reports the first error with its code and position.  Works
// without recursion, so a deeply nested pattern cannot exhaust a thread stack.
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

#include "regex/char_tables.h"
#include "regex/regex_tree.h"

namespace velk {

class RegexParser {
public:
    // More groups open at once than this is error 4.
    static constexpr size_t kMaxOpenGroups = 255;

    RegexParser(std::string_view expression, int flags);

    bool parse(RegexTree& tree);
    int error() const { return m_error; }
    size_t errorPosition() const { return m_errorPosition; }

private:
    bool step();
    bool stepLookBehind(unsigned char c);
    bool openGroup();
    bool closeGroup();
    bool quantify(size_t at, int32_t min, int32_t max);
    bool braces();
    bool escape();
    bool escapedDigits(size_t at);
    bool parseSet();
    bool fail(int code, size_t position);

    bool inLookBehind() const;
    std::vector<int32_t>& currentAlternative();
    int32_t addNode(const RegexNode& node);
    void addLiteral(unsigned char c);
    void addSet(const CharSet& set);
    void addAssert(AssertKind kind);
    void skipPatternSpace();
    CharSet dotSet() const;

    std::string_view m_text;
    size_t m_pos = 0;
    bool m_ignoreCase;
    bool m_dotAll;
    bool m_multiLine;
    bool m_extended;
    bool m_strict;
    bool m_quoting = false;
    const CharTables& m_tables;
    RegexTree* m_tree = nullptr;
    std::vector<std::pair<int32_t, size_t>> m_open;      // group node, position of "("
    std::vector<std::pair<int32_t, size_t>> m_backRefs;  // number, position
    int m_error = 0;
    size_t m_errorPosition = 0;
};

}  // namespace velk
