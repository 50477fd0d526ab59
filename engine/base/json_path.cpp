#include "base/json_path.h"

#include <cstdio>

namespace velk::json {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    Lookup find(const Path& path);

private:
    bool fail(const char* what) {
        if (m_problem.empty()) {
            char text[160];
            std::snprintf(text, sizeof text, "%s at byte %zu", what, m_pos);
            m_problem = text;
        }
        return false;
    }
    void skipSpace() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool at(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool expect(char c, const char* what) {
        skipSpace();
        if (!at(c)) return fail(what);
        ++m_pos;
        return true;
    }
    bool readHex4(unsigned& code);
    // A string at m_pos (its opening quote); decoded into out when out is set.
    bool readString(std::string* out);
    bool skipNumber();
    bool skipLiteral();
    // Any value at m_pos, checked as it is passed over; depth is the nesting it
    // sits in.
    bool skipValue(size_t depth);

    std::string_view m_text;
    size_t m_pos = 0;
    std::string m_problem;
};

bool Reader::readHex4(unsigned& code) {
    if (m_text.size() - m_pos < 4) return fail("unfinished \\u escape");
    code = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = m_text[m_pos++];
        code <<= 4;
        if (isDigit(c))
            code |= unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            code |= unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            code |= unsigned(c - 'A' + 10);
        else
            return fail("invalid \\u escape");
    }
    return true;
}

bool Reader::readString(std::string* out) {
    ++m_pos;  // the opening quote
    for (;;) {
        if (m_pos >= m_text.size()) return fail("unterminated string");
        const unsigned char c = static_cast<unsigned char>(m_text[m_pos]);
        if (c == '"') {
            ++m_pos;
            return true;
        }
        if (c < 0x20) return fail("control character in a string");
        if (c != '\\') {
            if (out) *out += char(c);
            ++m_pos;
            continue;
        }
        if (++m_pos >= m_text.size()) return fail("unterminated string");
        const char e = m_text[m_pos++];
        char plain = 0;
        switch (e) {
            case '"':
            case '\\':
            case '/':
                plain = e;
                break;
            case 'b':
                plain = '\b';
                break;
            case 'f':
                plain = '\f';
                break;
            case 'n':
                plain = '\n';
                break;
            case 'r':
                plain = '\r';
                break;
            case 't':
                plain = '\t';
                break;
            case 'u': {
                unsigned code;
                if (!readHex4(code)) return false;
                if (code >= 0xD800 && code < 0xDC00 && m_text.substr(m_pos, 2) == "\\u") {
                    const size_t back = m_pos;
                    m_pos += 2;
                    unsigned low;
                    if (!readHex4(low)) return false;
                    if (low >= 0xDC00 && low < 0xE000)
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    else
                        m_pos = back;  // the second escape stands alone
                }
                if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
                if (out) appendUtf8(*out, code);
                continue;
            }
            default:
                --m_pos;
                return fail("invalid escape in a string");
        }
        if (out) *out += plain;
    }
}

bool Reader::skipNumber() {
    const size_t start = m_pos;
    if (at('-')) ++m_pos;
    if (at('0')) {
        ++m_pos;
    } else if (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
        while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
    } else {
        return fail("not a JSON value");
    }
    if (at('.')) {
        ++m_pos;
        if (m_pos >= m_text.size() || !isDigit(m_text[m_pos])) return fail("invalid number");
        while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
    }
    if (at('e') || at('E')) {
        ++m_pos;
        if (at('+') || at('-')) ++m_pos;
        if (m_pos >= m_text.size() || !isDigit(m_text[m_pos])) return fail("invalid number");
        while (m_pos < m_text.size() && isDigit(m_text[m_pos])) ++m_pos;
    }
    if (m_pos - start > kMaxJsonNumber) {
        m_pos = start;
        return fail("number longer than 64 characters");
    }
    return true;
}

bool Reader::skipLiteral() {
    for (std::string_view word : {"true", "false", "null"})
        if (m_text.substr(m_pos, word.size()) == word) {
            m_pos += word.size();
            return true;
        }
    return fail("not a JSON value");
}

bool Reader::skipValue(size_t depth) {
    // The containers open around the value, innermost last: no recursion, so a
    // deep text costs a counted stack, never the thread's.
    std::string open;
    for (;;) {
        skipSpace();
        if (m_pos >= m_text.size()) return fail("text ends where a value is expected");
        const char c = m_text[m_pos];
        bool valueDone = true;
        if (c == '{' || c == '[') {
            if (depth + open.size() >= kMaxJsonDepth) return fail("nested deeper than 256 levels");
            open += c;
            ++m_pos;
            skipSpace();
            if (at(c == '{' ? '}' : ']')) {
                ++m_pos;
                open.pop_back();
            } else if (c == '{') {
                if (!at('"')) return fail("member name expected");
                if (!readString(nullptr) || !expect(':', "':' expected")) return false;
                valueDone = false;
            } else {
                valueDone = false;
            }
        } else if (c == '"') {
            if (!readString(nullptr)) return false;
        } else if (c == '-' || isDigit(c)) {
            if (!skipNumber()) return false;
        } else if (!skipLiteral()) {
            return false;
        }
        if (!valueDone) continue;
        // After a value: close what ends here, or go on to the next member.
        for (;;) {
            if (open.empty()) return true;
            skipSpace();
            const char close = open.back() == '{' ? '}' : ']';
            if (at(close)) {
                ++m_pos;
                open.pop_back();
                continue;
            }
            if (!at(',')) return fail("',' or the end of an object or array expected");
            ++m_pos;
            if (open.back() == '{') {
                skipSpace();
                if (!at('"')) return fail("member name expected");
                if (!readString(nullptr) || !expect(':', "':' expected")) return false;
            }
            break;
        }
    }
}

Lookup Reader::find(const Path& path) {
    Lookup result;
    auto damaged = [&] {
        result.outcome = Lookup::Outcome::kDamaged;
        result.problem = m_problem;
        return result;
    };
    auto notFound = [&] {
        result.outcome = Lookup::Outcome::kNotFound;
        return result;
    };
    if (m_text.size() > kMaxJsonText) {
        fail("text longer than 8388608 bytes");
        m_problem = "text longer than 8388608 bytes";
        return damaged();
    }
    size_t depth = 0;
    std::string key;
    for (const PathStep& step : path) {
        skipSpace();
        const char opening = step.isIndex ? '[' : '{';
        if (m_pos >= m_text.size()) {
            fail("text ends where a value is expected");
            return damaged();
        }
        if (!at(opening)) {
            const char c = m_text[m_pos];
            if (c == '{' || c == '[' || c == '"' || c == '-' || isDigit(c) || c == 't' ||
                c == 'f' || c == 'n')
                return notFound();  // a value, but not one that has this step
            fail("not a JSON value");
            return damaged();
        }
        if (++depth > kMaxJsonDepth) {
            fail("nested deeper than 256 levels");
            return damaged();
        }
        ++m_pos;
        bool found = false;
        for (size_t i = 0; !found; ++i) {
            skipSpace();
            if (i == 0 && at(step.isIndex ? ']' : '}')) return notFound();
            if (!step.isIndex) {
                if (!at('"')) {
                    fail("member name expected");
                    return damaged();
                }
                key.clear();
                if (!readString(&key) || !expect(':', "':' expected")) return damaged();
                found = key == step.key;
            } else {
                found = i == step.index;
            }
            if (found) break;
            if (!skipValue(depth)) return damaged();
            skipSpace();
            if (at(step.isIndex ? ']' : '}')) return notFound();
            if (!at(',')) {
                fail("',' or the end of an object or array expected");
                return damaged();
            }
            ++m_pos;
        }
    }
    skipSpace();
    const size_t start = m_pos;
    if (at('"')) {
        if (!readString(&result.value)) return damaged();
    } else {
        if (!skipValue(depth)) return damaged();
        const std::string_view written = m_text.substr(start, m_pos - start);
        if (written != "null") result.value.assign(written);
    }
    result.outcome = Lookup::Outcome::kFound;
    return result;
}

}  // namespace

std::optional<Path> parsePath(std::string_view text, std::string* why) {
    auto refuse = [&](const char* what) -> std::optional<Path> {
        if (why) *why = what;
        return std::nullopt;
    };
    Path path;
    size_t pos = 0;
    if (!text.empty() && text[0] == '$') ++pos;
    bool needName = pos == 0;  // a bare first name needs no "."
    while (pos < text.size()) {
        if (path.size() >= kMaxPathSteps) return refuse("more than 64 steps");
        PathStep step;
        const char c = text[pos];
        if (c == '[') {
            ++pos;
            if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
                const char quote = text[pos++];
                for (;;) {
                    if (pos >= text.size()) return refuse("unterminated quoted name");
                    if (text[pos] == quote) break;
                    if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
                    step.key += text[pos++];
                }
                ++pos;
            } else {
                if (pos >= text.size() || !isDigit(text[pos])) return refuse("index expected");
                step.isIndex = true;
                while (pos < text.size() && isDigit(text[pos])) {
                    if (step.index > (size_t(1) << 40)) return refuse("index too large");
                    step.index = step.index * 10 + size_t(text[pos++] - '0');
                }
            }
            if (pos >= text.size() || text[pos] != ']') return refuse("']' expected");
            ++pos;
        } else {
            if (c == '.')
                ++pos;
            else if (!needName)
                return refuse("'.' or '[' expected");
            const size_t start = pos;
            while (pos < text.size() && text[pos] != '.' && text[pos] != '[') ++pos;
            if (pos == start) return refuse("name expected");
            step.key.assign(text.substr(start, pos - start));
        }
        needName = false;
        path.push_back(std::move(step));
    }
    return path;
}

Lookup find(std::string_view text, const Path& path) {
    return Reader(text).find(path);
}

}  // namespace velk::json
