#pragma once
// The sequence editor's list operations and button rules on a list of entry
// names with a set of selected rows.  Plain functions without state.
#include <string>
#include <vector>

namespace velk::runner {

using Sequence = std::vector<std::string>;
using Rows = std::vector<int>;  // selected rows, any order

// Inserts names right after the first selected entry, or at the end when none
// is selected; returns the rows they now have.
Rows insertEntries(Sequence& sequence, const Rows& selected, const Sequence& names);
void removeEntries(Sequence& sequence, const Rows& selected);
// Moves the selected entries one place up or down; returns their new rows.
Rows moveEntriesUp(Sequence& sequence, const Rows& selected);
Rows moveEntriesDown(Sequence& sequence, const Rows& selected);

struct SequenceButtons {
    bool insert = false;
    bool remove = false;
    bool moveUp = false;
    bool moveDown = false;
};
SequenceButtons sequenceButtons(int requestsSelected, int entries, const Rows& selected);

}  // namespace velk::runner
