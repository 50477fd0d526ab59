#include "http/url_encoding.h"

#include "base/ascii.h"

namespace velk {
namespace {

// Longest run of digits a numeric reference may have before its ";".
constexpr size_t kMaxReferenceDigits = 7;
constexpr uint32_t kReplacementCharacter = 0xFFFD;

int digitValue(char c, int base) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : 99;
    return v < base ? v : -1;
}

size_t numericReference(std::string_view text, uint32_t& codePoint) {
    // text starts after "&#".
    int base = 10;
    size_t start = 0;
    if (!text.empty() && (text[0] == 'x' || text[0] == 'X')) {
        base = 16;
        start = 1;
    }
    size_t semicolon = text.find(';', start);
    if (semicolon == std::string_view::npos || semicolon == start ||
        semicolon - start > kMaxReferenceDigits)
        return 0;
    uint32_t value = 0;
    for (size_t i = start; i < semicolon; ++i) {
        int d = digitValue(text[i], base);
        if (d < 0) return 0;  // not a number: the "&" is literal text
        value = value * uint32_t(base) + uint32_t(d);
    }
    codePoint = value;
    return semicolon + 1;
}

struct NamedReference {
    std::string_view name;
    char value;
};
constexpr NamedReference kNamed[] = {
    {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}, {"lt;", '<'}, {"gt;", '>'}};

// False when the byte does not fit whole; the value then ends before it.
bool appendByte(unsigned char c, TextBuffer& out, size_t limit) {
    static const char kHex[] = "0123456789ABCDEF";
    if (isSafeUrlByte(c)) {
        if (out.size() >= limit) return false;
        out.append(reinterpret_cast<const char*>(&c), 1);
        return true;
    }
    if (out.size() + 3 > limit) return false;
    const char escape[3] = {'%', kHex[c >> 4], kHex[c & 15]};
    out.append(escape, 3);
    return true;
}

// UTF-8 for a code point above 255: the reference names a character that has no
// byte of its own, and pages are overwhelmingly UTF-8.
bool appendUtf8(uint32_t cp, TextBuffer& out, size_t limit) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
    unsigned char bytes[4];
    size_t n;
    if (cp < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    // A character is written whole or not at all.
    if (out.size() + 3 * n > limit) return false;
    for (size_t i = 0; i < n; ++i) appendByte(bytes[i], out, limit);
    return true;
}

}  // namespace

bool isSafeUrlByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

size_t decodeCharacterReference(std::string_view text, uint32_t& codePoint) {
    if (text.size() < 2 || text[0] != '&') return 0;
    if (text[1] == '#') {
        size_t n = numericReference(text.substr(2), codePoint);
        return n ? n + 2 : 0;
    }
    for (const NamedReference& ref : kNamed) {
        if (startsWithNoCase(text.substr(1), ref.name)) {
            codePoint = static_cast<unsigned char>(ref.value);
            return ref.name.size() + 1;
        }
    }
    return 0;
}

void appendDecodedAndEncoded(std::string_view text, TextBuffer& out, size_t capacity) {
    if (capacity == 0) return;
    const size_t limit = out.size() + capacity - 1;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = static_cast<unsigned char>(text[i]);
        size_t n = text[i] == '&' ? decodeCharacterReference(text.substr(i), cp) : 0;
        bool fitted = cp <= 0xFF ? appendByte(static_cast<unsigned char>(cp), out, limit)
                                 : appendUtf8(cp, out, limit);
        if (!fitted) return;
        i += n ? n : 1;
    }
}

}  // namespace velk
