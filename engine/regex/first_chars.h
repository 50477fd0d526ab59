#pragma once
// Works out the bytes a match can begin with, so the matcher can pass over
// start positions that cannot match.  Conservative: when a match may be empty
// or may begin with something unknown (a back-reference), there is no set.
#include "regex/char_set.h"
#include "regex/regex_tree.h"

namespace velk {

class FirstChars {
public:
    explicit FirstChars(const RegexTree& tree) : m_tree(tree) {}

    // True with the set in out when every match begins with a byte of it.
    bool compute(CharSet& out);

private:
    // Adds the possible first bytes of group g; returns whether g can match empty.
    bool group(const RegexNode& g, CharSet& out);

    const RegexTree& m_tree;
    bool m_unknown = false;
};

}  // namespace velk
