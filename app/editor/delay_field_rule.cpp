#include "app/editor/delay_field_rule.h"

#include <algorithm>

namespace velk::editor {

DelayFieldRule::Result DelayFieldRule::normalise(std::string_view text, int32_t lastAccepted,
                                                 Moment moment) {
    Result result;
    if (text.empty()) {
        result.value = moment == Moment::kTyping ? 0 : lastAccepted;
        result.text = std::to_string(result.value);
        result.selectAll = moment == Moment::kTyping;
        return result;
    }
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    const bool number = !text.empty() && std::all_of(text.begin(), text.end(),
                                                     [](char c) { return c >= '0' && c <= '9'; });
    if (!number) {
        result.value = lastAccepted;
    } else {
        // Saturates long before it could overflow: anything above the limit
        // becomes the limit anyway.
        int64_t value = 0;
        for (char c : text) value = std::min<int64_t>(value * 10 + (c - '0'), kMaxSeconds + 1);
        result.value = negative ? 0 : static_cast<int32_t>(std::min<int64_t>(value, kMaxSeconds));
    }
    result.text = std::to_string(result.value);
    return result;
}

void DelayFieldRule::follow(bool fromChanged, int32_t& from, int32_t& to) {
    if (to >= from) return;
    if (fromChanged)
        to = from;
    else
        from = to;
}

}  // namespace velk::editor
