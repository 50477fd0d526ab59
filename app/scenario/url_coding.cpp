#include "app/scenario/url_coding.h"

namespace velk::scenario {
namespace {

bool isPlain(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string urlEncode(std::string_view text, bool keepCommas) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '+';
        } else if (isPlain(c) || (c == ',' && keepCommas)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string urlDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c != '%') {
            out += c;
        } else if (i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (i + 2 < text.size()) {
            // The value of the leading hex digits of the two, as a number read
            // with "%x" would give it.
            int value = 0;
            if (int hi = hexValue(text[i + 1]); hi >= 0) {
                value = hi;
                if (int lo = hexValue(text[i + 2]); lo >= 0) value = value * 16 + lo;
            }
            if (value != 0) out += static_cast<char>(value);
            i += 2;
        } else {
            // Fewer than two characters after the "%": nothing for them.
            break;
        }
    }
    return out;
}

}  // namespace velk::scenario
