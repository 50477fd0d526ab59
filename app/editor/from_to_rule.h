#pragma once
// FromToRule: the range of the random kinds of a parameter component.  Both
// numbers are 0 to 2147483647; the first never goes below 0, and neither may
// pass the other: the changed one is put back to the other's value and the
// user is told why.
//
// Plain functions of their arguments; safe from any thread.
#include <cstdint>

namespace velk::editor {

class FromToRule {
public:
    static constexpr const char* kMessage = "'From' field cannot be greater than 'To' field.";

    struct Result {
        int32_t from = 0;
        int32_t to = 0;
        bool refused = false;  // kMessage is to be shown
    };

    static Result fromChanged(int64_t from, int32_t to);
    static Result toChanged(int32_t from, int64_t to);
};

}  // namespace velk::editor
