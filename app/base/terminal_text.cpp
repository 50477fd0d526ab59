#include "app/base/terminal_text.h"

namespace velk::base {
namespace {

void appendEscape(std::string& out, const char* prefix, unsigned value, int digits) {
    static const char kHex[] = "0123456789abcdef";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xf];
}

std::string escaped(std::string_view text, bool keepLines) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool lineEnd = c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
        if (keepLines && (c == '\t' || lineEnd)) {
            out += char(c);
        } else if (c < 0x20 || c == 0x7f) {
            appendEscape(out, "\\x", c, 2);
        } else if (c == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // A C1 control in UTF-8: some terminals take U+009B as CSI.
            appendEscape(out, "\\u", static_cast<unsigned char>(text[++i]), 4);
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace

std::string escapeControls(std::string_view text) {
    return escaped(text, false);
}

std::string escapeControlsKeepLines(std::string_view text) {
    return escaped(text, true);
}

}  // namespace velk::base
