#include "app/results/json_value.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>

namespace velk::results {

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    bool document(JsonValue& out) {
        skipSpace();
        if (!value(out, 0)) return false;
        skipSpace();
        if (m_at != m_text.size()) return fail("text after the end of the document");
        return true;
    }
    std::string error() const { return "line " + std::to_string(m_line) + ": " + m_error; }

private:
    bool fail(const std::string& what) {
        if (m_error.empty()) m_error = what;
        return false;
    }
    bool atEnd() const { return m_at >= m_text.size(); }
    char peek() const { return atEnd() ? '\0' : m_text[m_at]; }
    void skipSpace() {
        while (!atEnd()) {
            const char c = m_text[m_at];
            if (c == '\n') ++m_line;
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
            ++m_at;
        }
    }
    bool literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) return fail("unexpected text");
        m_at += word.size();
        return true;
    }

    bool value(JsonValue& out, int depth) {
        if (++m_values > JsonValue::kMaxValues) return fail("too many values");
        switch (peek()) {
            case '{':
                return object(out, depth + 1);
            case '[':
                return array(out, depth + 1);
            case '"':
                out.m_kind = JsonValue::Kind::String;
                return string(out.m_string);
            case 't':
                out.m_kind = JsonValue::Kind::Boolean;
                out.m_boolean = true;
                return literal("true");
            case 'f':
                out.m_kind = JsonValue::Kind::Boolean;
                return literal("false");
            case 'n':
                return literal("null");
            default:
                return number(out);
        }
    }

    bool object(JsonValue& out, int depth) {
        if (depth > JsonValue::kMaxDepth) return fail("nested too deeply");
        out.m_kind = JsonValue::Kind::Object;
        ++m_at;
        skipSpace();
        if (peek() == '}') return ++m_at, true;
        for (;;) {
            skipSpace();
            if (peek() != '"') return fail("expected a member name");
            std::string key;
            if (!string(key)) return false;
            skipSpace();
            if (peek() != ':') return fail("expected ':'");
            ++m_at;
            skipSpace();
            out.m_keys.push_back(std::move(key));
            if (!value(out.m_items.emplace_back(), depth)) return false;
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            if (peek() != '}') return fail("expected ',' or '}'");
            ++m_at;
            return true;
        }
    }

    bool array(JsonValue& out, int depth) {
        if (depth > JsonValue::kMaxDepth) return fail("nested too deeply");
        out.m_kind = JsonValue::Kind::Array;
        ++m_at;
        skipSpace();
        if (peek() == ']') return ++m_at, true;
        for (;;) {
            skipSpace();
            if (!value(out.m_items.emplace_back(), depth)) return false;
            skipSpace();
            if (peek() == ',') {
                ++m_at;
                continue;
            }
            if (peek() != ']') return fail("expected ',' or ']'");
            ++m_at;
            return true;
        }
    }

    static void appendUtf8(std::string& s, uint32_t cp) {
        if (cp < 0x80) {
            s += char(cp);
        } else if (cp < 0x800) {
            s += char(0xC0 | (cp >> 6));
            s += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += char(0xE0 | (cp >> 12));
            s += char(0x80 | ((cp >> 6) & 0x3F));
            s += char(0x80 | (cp & 0x3F));
        } else {
            s += char(0xF0 | (cp >> 18));
            s += char(0x80 | ((cp >> 12) & 0x3F));
            s += char(0x80 | ((cp >> 6) & 0x3F));
            s += char(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(uint32_t& v) {
        if (m_at + 4 > m_text.size()) return fail("\\u needs four hex digits");
        v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = m_text[m_at++];
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
            if (d < 0) return fail("\\u needs four hex digits");
            v = v * 16 + uint32_t(d);
        }
        return true;
    }

    bool string(std::string& out) {
        ++m_at;  // the opening quote
        for (;;) {
            if (atEnd()) return fail("a string does not end");
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("a control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (atEnd()) return fail("a string does not end");
            const char e = m_text[m_at++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    uint32_t cp = 0;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF && m_text.substr(m_at, 2) == "\\u") {
                        m_at += 2;
                        uint32_t low = 0;
                        if (!hex4(low)) return false;
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        } else {
                            appendUtf8(out, 0xFFFD);
                            cp = low >= 0xD800 && low <= 0xDFFF ? 0xFFFD : low;
                        }
                    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
                        cp = 0xFFFD;
                    }
                    appendUtf8(out, cp);
                    break;
                }
                default:
                    return fail("an unknown escape in a string");
            }
        }
    }

    bool number(JsonValue& out) {
        const size_t start = m_at;
        if (peek() == '-') ++m_at;
        if (!(peek() >= '0' && peek() <= '9')) return fail("unexpected text");
        while (peek() >= '0' && peek() <= '9') ++m_at;
        if (peek() == '.') {
            ++m_at;
            if (!(peek() >= '0' && peek() <= '9')) return fail("a number without digits");
            while (peek() >= '0' && peek() <= '9') ++m_at;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_at;
            if (peek() == '+' || peek() == '-') ++m_at;
            if (!(peek() >= '0' && peek() <= '9')) return fail("a number without digits");
            while (peek() >= '0' && peek() <= '9') ++m_at;
        }
        // JSON numbers have a point whatever the user's locale says.
        const std::string digits(m_text.substr(start, m_at - start));
        locale_t c = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
        char* end = nullptr;
        out.m_number = c ? strtod_l(digits.c_str(), &end, c) : std::strtod(digits.c_str(), &end);
        if (c) freelocale(c);
        if (!std::isfinite(out.m_number)) return fail("a number out of range");
        out.m_kind = JsonValue::Kind::Number;
        return true;
    }

    std::string_view m_text;
    size_t m_at = 0;
    int m_line = 1;
    size_t m_values = 0;
    std::string m_error;
};

std::unique_ptr<JsonValue> JsonValue::parse(std::string_view text, std::string& error) {
    if (text.size() > kMaxTextBytes) {
        error = "the file is larger than " + std::to_string(kMaxTextBytes >> 20) + " MiB";
        return nullptr;
    }
    auto root = std::make_unique<JsonValue>();
    JsonReader reader(text);
    if (!reader.document(*root)) {
        error = reader.error();
        return nullptr;
    }
    return root;
}

const JsonValue* JsonValue::member(std::string_view key) const {
    if (m_kind != Kind::Object) return nullptr;
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i] == key) return &m_items[i];
    return nullptr;
}

}  // namespace velk::results
