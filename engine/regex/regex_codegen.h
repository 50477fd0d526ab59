#pragma once
// Translates a RegexTree into a RegexProgram.  Counted repetition of groups and
// back-references becomes a loop with counters, never copies of the body, so
// the program's size follows the pattern's length whatever the counts.
#include "regex/regex_program.h"
#include "regex/regex_tree.h"

namespace velk {

class RegexCodegen {
public:
    RegexCodegen(const RegexTree& tree, bool ignoreCase, RegexProgram& out);
    void generate();

private:
    size_t emit(Op op);
    // Recurses once per nesting level of groups and nowhere else, which keeps
    // the stack use of a pattern at the parser's nesting limit small.
    void group(const RegexNode& g);
    void loopStart(const RegexNode& n, size_t& head, int32_t& registers);
    void loopEnd(const RegexNode& n, size_t head, int32_t registers);
    bool plainChar(int32_t node) const;
    bool singleByteChoice(const RegexNode& n, CharSet& merged) const;
    void setHints();

    const RegexTree& m_tree;
    bool m_ignoreCase;
    RegexProgram& m_out;
};

}  // namespace velk
