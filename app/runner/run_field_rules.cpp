#include "app/runner/run_field_rules.h"

#include <algorithm>
#include <climits>

namespace velk::runner {

std::optional<int64_t> parseInteger(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t(INT_MAX) + 1);
    }
    value = negative ? -value : value;
    return std::clamp<int64_t>(value, INT_MIN, INT_MAX);
}

StepEdit editStep(const std::string& text, int32_t previous) {
    StepEdit edit;
    if (text.empty()) {
        edit.value = 0;
        edit.text = "0";
    } else if (text == "-") {
        // The start of a negative number: wait for its digits.
        edit.value = previous;
        edit.text = text;
        return edit;
    } else if (std::optional<int64_t> v = parseInteger(text)) {
        edit.value = int32_t(std::clamp<int64_t>(*v, -kMaxStep, kMaxStep));
        edit.text = edit.value == *v ? text : std::to_string(edit.value);
    } else {
        edit.value = previous;
        edit.text = std::to_string(previous);
    }
    edit.swapFromTo = (edit.value < 0) != (previous < 0);
    return edit;
}

std::string leaveStep(const std::string& text, int32_t step) {
    return text.empty() || text == "-" ? std::to_string(step) : text;
}

BoundEdit editCycleBound(const std::string& text, int32_t previous) {
    BoundEdit edit;
    if (text.empty()) return edit;
    std::optional<int64_t> v = parseInteger(text);
    if (!v) {
        edit.value = previous;
        edit.text = std::to_string(previous);
        return edit;
    }
    edit.value = int32_t(std::clamp<int64_t>(*v, 0, kMaxCycleBound));
    edit.text = edit.value == *v ? text : std::to_string(edit.value);
    return edit;
}

std::string rangeMessage(const FieldRange& range) {
    return "Please enter an integer between " + std::to_string(range.min) + " and " +
           std::to_string(range.max) + ".";
}

std::string lengthMessage(int32_t limit) {
    return "Please enter no more than " + std::to_string(limit) + " characters.";
}

}  // namespace velk::runner
