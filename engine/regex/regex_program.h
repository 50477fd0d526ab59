#pragma once
// The compiled form of a pattern: a flat array of instructions run by
// RegexMatcher.  Read-only once built, so any number of threads may run it.
#include <cstdint>
#include <string>
#include <vector>

#include "regex/char_set.h"

namespace velk {

enum class Op : uint8_t {
    kChar,        // ch
    kString,      // literals[a, a + b)
    kSet,         // sets[a]
    kRepeatChar,  // ch repeated min..max times, greedy or lazy
    kRepeatSet,   // sets[a] repeated min..max times
    kSplit,       // try pc + 1, on failure a
    kJump,        // a
    kOpen,        // group a starts here
    kClose,       // group a ends here
    kAssert,      // kind is an AssertKind
    kEndOfLine,   // a line end or the end of the text; consumes the line end
    kBackRef,     // group a; kind 1: without case
    kLoopInit,    // loop registers at a: count = 0
    kLoopHead,    // registers a; b is the exit; min, max, lazy
    kLoopTail,    // registers a; b is the head; min
    kLookStart,   // kind is a GroupKind; a is the exit; b is the look-behind width
    kLookEnd,
    kCommit,
    kMatch,
};

struct RegexInst {
    Op op = Op::kMatch;
    uint8_t kind = 0;
    bool lazy = false;
    unsigned char ch = 0;
    int32_t a = 0;
    int32_t b = 0;
    int32_t min = 0;
    int32_t max = 0;
    // Repeats: the byte the rest of the program must begin with, or -1.  Lets a
    // repeat skip counts that cannot lead anywhere.
    int32_t hint = -1;
};

struct RegexProgram {
    std::vector<RegexInst> code;
    std::vector<CharSet> sets;
    std::string literals;
    int32_t groups = 0;  // capture groups, group 0 not counted
    int32_t maxBackRef = 0;
    int32_t loops = 0;      // counted loops, two registers each
    bool anchored = false;  // a match can only start at offset 0
    bool hasFirstChars = false;
    CharSet firstChars;  // every match begins with one of these bytes

    // Register file of one match: capture pairs, the pending start of each
    // open group, then the loop registers (count, start of the iteration).
    int32_t openRegister(int32_t group) const { return 2 * (groups + 1) + group; }
    int32_t loopRegister(int32_t loop) const { return 3 * (groups + 1) + 2 * loop; }
    int32_t registerCount() const { return 3 * (groups + 1) + 2 * loops; }
};

}  // namespace velk
