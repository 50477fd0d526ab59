#pragma once
// DelayFieldRule: what the request's two delay fields ("Delay from", "to", in
// seconds) make of what the user types.  While typing, an empty field becomes
// "0" (selected, so the next digit replaces it); on leaving, an empty field gets
// its last accepted value back.  A number with trailing non-digits restores the
// last accepted value, a negative one becomes 0, one above 86400 becomes 86400.
// The other field then follows, so that "from" never exceeds "to".
//
// Plain functions of their arguments; safe from any thread.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::editor {

class DelayFieldRule {
public:
    static constexpr int32_t kMaxSeconds = 86400;

    enum class Moment { kTyping, kLeaving };
    struct Result {
        int32_t value = 0;
        std::string text;        // what the field shows from now on
        bool selectAll = false;  // the field's text is to be selected
    };

    static Result normalise(std::string_view text, int32_t lastAccepted, Moment moment);

    // After the first field (fromChanged) or the second took its value: the
    // first takes the second's value when it is smaller, or the reverse.
    static void follow(bool fromChanged, int32_t& from, int32_t& to);
};

}  // namespace velk::editor
