#include "app/runner/sequence_edit.h"

#include <algorithm>

namespace velk::runner {
namespace {

Rows sortedValid(const Rows& rows, size_t size) {
    Rows out;
    for (int r : rows)
        if (r >= 0 && size_t(r) < size) out.push_back(r);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

}  // namespace

Rows insertEntries(Sequence& sequence, const Rows& selected, const Sequence& names) {
    const Rows rows = sortedValid(selected, sequence.size());
    const size_t at = rows.empty() ? sequence.size() : size_t(rows.front()) + 1;
    sequence.insert(sequence.begin() + std::ptrdiff_t(at), names.begin(), names.end());
    Rows placed;
    for (size_t i = 0; i < names.size(); ++i) placed.push_back(int(at + i));
    return placed;
}

void removeEntries(Sequence& sequence, const Rows& selected) {
    const Rows rows = sortedValid(selected, sequence.size());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) sequence.erase(sequence.begin() + *it);
}

Rows moveEntriesUp(Sequence& sequence, const Rows& selected) {
    Rows rows = sortedValid(selected, sequence.size());
    if (rows.empty() || rows.front() == 0) return rows;
    for (int& r : rows) {
        std::swap(sequence[size_t(r)], sequence[size_t(r - 1)]);
        --r;
    }
    return rows;
}

Rows moveEntriesDown(Sequence& sequence, const Rows& selected) {
    Rows rows = sortedValid(selected, sequence.size());
    if (rows.empty() || size_t(rows.back()) + 1 >= sequence.size()) return rows;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        std::swap(sequence[size_t(*it)], sequence[size_t(*it + 1)]);
        ++*it;
    }
    return rows;
}

SequenceButtons sequenceButtons(int requestsSelected, int entries, const Rows& selected) {
    const Rows rows = sortedValid(selected, size_t(std::max(entries, 0)));
    SequenceButtons b;
    b.insert = requestsSelected > 0;
    b.remove = !rows.empty();
    b.moveUp = entries >= 2 && !rows.empty() && rows.front() != 0;
    b.moveDown = entries >= 2 && !rows.empty() && rows.back() != entries - 1;
    return b;
}

}  // namespace velk::runner
