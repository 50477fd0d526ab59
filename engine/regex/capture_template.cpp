#include "regex/capture_template.h"

namespace velk {

std::string expandCaptureTemplate(std::string_view pattern, std::string_view text,
                                  const int32_t* captures, int pairCount, TemplateDollars dollars,
                                  size_t maxLength) {
    std::string out;
    auto append = [&](std::string_view piece) {
        if (out.size() < maxLength) out.append(piece.substr(0, maxLength - out.size()));
    };
    for (size_t i = 0; i < pattern.size() && out.size() < maxLength; ++i) {
        char c = pattern[i];
        if (c != '$') {
            out.push_back(c);
            continue;
        }
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (next >= '0' && next <= '9') {
            int g = next - '0';
            ++i;
            if (!captures || g >= pairCount) continue;
            int32_t from = captures[2 * g];
            int32_t to = captures[2 * g + 1];
            // Offsets come from a match of this text; anything else yields nothing.
            if (from < 0 || to < from || static_cast<size_t>(to) > text.size()) continue;
            append(text.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
        } else if (dollars == TemplateDollars::kDigitsOnly) {
            out.push_back(c);
        } else {
            if (next == '$') out.push_back('$');
            ++i;  // the character after "$" goes with it; a final "$" goes alone
        }
    }
    return out;
}

}  // namespace velk
