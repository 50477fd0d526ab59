#pragma once
// The parsed form of a pattern: what the parser hands to the code generator.
// Nodes live in one array and refer to each other by index, so deep nesting
// never means deep ownership chains.
#include <cstdint>
#include <vector>

#include "regex/char_set.h"

namespace velk {

enum class NodeKind : uint8_t {
    kChar,       // one literal byte
    kSet,        // one byte out of a set (., class escapes, [...], literals without case)
    kAssert,     // zero-width test of the position
    kEndOfLine,  // "$" under flag m: holds at a line end and consumes it
    kBackRef,
    kGroup,
    kCommit,
};

enum class AssertKind : uint8_t {
    kLineStart,
    kTextStart,
    kTextEnd,
    kWordBoundary,
    kNotWordBoundary,
};

enum class GroupKind : uint8_t {
    kCapture,
    kPlain,
    kAhead,
    kNotAhead,
    kBehind,
    kNotBehind,
};

inline constexpr int32_t kUnbounded = INT32_MAX;

struct RegexNode {
    NodeKind kind = NodeKind::kChar;
    AssertKind assertKind = AssertKind::kTextStart;
    GroupKind groupKind = GroupKind::kPlain;
    bool lazy = false;
    bool quantified = false;
    unsigned char ch = 0;
    int32_t set = -1;    // index into RegexTree::sets
    int32_t number = 0;  // capture group number, or the group a back-reference names
    int32_t min = 1;
    int32_t max = 1;
    int32_t width = 0;                               // look-behind: number of bytes it looks back
    std::vector<std::vector<int32_t>> alternatives;  // groups: items of each alternative
};

struct RegexTree {
    std::vector<RegexNode> nodes;
    std::vector<CharSet> sets;
    int32_t root = 0;    // a plain group holding the whole pattern
    int32_t groups = 0;  // capture groups, group 0 not counted
    int32_t maxBackRef = 0;
    bool hasLookAhead = false;

    bool repeatable(const RegexNode& n) const {
        switch (n.kind) {
            case NodeKind::kChar:
            case NodeKind::kSet:
            case NodeKind::kBackRef:
                return true;
            case NodeKind::kGroup:
                return n.groupKind == GroupKind::kCapture || n.groupKind == GroupKind::kPlain;
            default:
                return false;
        }
    }
};

}  // namespace velk
