#pragma once
// The rules of the runner page's cycle fields, as the page applies them while
// the user types: the step keeps to -999..999 and a change of its sign swaps
// the from and to values; from and to keep to 0..9999999.
//
// Plain functions without state.
#include <cstdint>
#include <optional>
#include <string>

namespace velk::runner {

inline constexpr int32_t kMaxStep = 999;
inline constexpr int32_t kMaxCycleBound = 9999999;

// A decimal integer with an optional minus sign and nothing else; values
// beyond the int range are clamped into it.
std::optional<int64_t> parseInteger(const std::string& text);

struct StepEdit {
    int32_t value = 0;  // the step now
    std::string text;   // what the field shows now
    bool swapFromTo = false;
};
// The step field's text changed while typing; previous is the step before.
StepEdit editStep(const std::string& text, int32_t previous);
// The step field lost the focus: an empty text shows the step again.
std::string leaveStep(const std::string& text, int32_t step);

struct BoundEdit {
    int32_t value = 0;
    std::string text;
};
// The from or to field's text changed; previous is its value before.
BoundEdit editCycleBound(const std::string& text, int32_t previous);

// Ranges the page checks when it saves (inclusive).
struct FieldRange {
    int64_t min;
    int64_t max;
};
// "Please enter an integer between %1 and %2." with the range filled in.
std::string rangeMessage(const FieldRange& range);
// "Please enter no more than %1 characters."
std::string lengthMessage(int32_t limit);

}  // namespace velk::runner
