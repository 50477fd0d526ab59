#include "http/page_values.h"

#include <array>

#include "base/ascii.h"
#include "http/url_encoding.h"
#include "regex/capture_template.h"
#include "regex/regex.h"

namespace velk {
namespace {

constexpr int kCaptureSlots = 10;

// The (start, length) pairs one scan collects; kept on the stack.
class Candidates {
public:
    void add(size_t start, size_t length) {
        if (m_count < kMaxCandidates) m_items[m_count++] = {start, length};
    }
    bool full() const { return m_count == kMaxCandidates; }
    std::optional<std::string_view> pick(std::string_view body, UserRandom& random) const {
        if (m_count == 0) return std::nullopt;
        const auto& [start, length] = m_items[size_t(random.next(int32_t(m_count)))];
        return body.substr(start, length < kMaxPageValue ? length : kMaxPageValue);
    }

private:
    std::array<std::pair<size_t, size_t>, kMaxCandidates> m_items;
    size_t m_count = 0;
};

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
}

// Walks a page once for extractHidden.  Occurrences come in increasing order,
// so the nearest blank and "<" before each, and the next ">" and " value=" after
// its tag's "<", are carried forward instead of searched anew: a hostile page
// cannot make the scan quadratic.
class HiddenFieldScan {
public:
    explicit HiddenFieldScan(std::string_view body) : m_body(body) {}

    // The value of the field whose name occurs at pos (nameLength bytes), or
    // none when that is not a name attribute or its tag has no value.
    std::optional<std::pair<size_t, size_t>> valueAt(size_t pos, size_t nameLength) {
        for (; m_cursor <= pos; ++m_cursor) {
            if (m_body[m_cursor] == ' ')
                m_lastBlank = m_cursor;
            else if (m_body[m_cursor] == '<')
                m_lastOpen = m_cursor;
        }
        if (m_lastBlank == kNone || !startsWithNoCase(m_body.substr(m_lastBlank + 1), "name"))
            return std::nullopt;
        size_t after = pos + nameLength;
        if (after >= m_body.size() ||
            (m_body[after] != ' ' && m_body[after] != '"' && m_body[after] != '>'))
            return std::nullopt;
        if (m_lastOpen == kNone) return std::nullopt;
        const size_t open = m_lastOpen;
        if (m_close == kNone || m_close < open) {
            m_close = m_body.find('>', open);
            if (m_close == kNone) m_close = m_body.size();
        }
        if (!m_valueSearched || (m_value != kNone && m_value < open)) {
            m_value = findNoCase(m_body, " value=", open);
            m_valueSearched = true;
        }
        if (m_value == kNone || m_value >= m_close) return std::nullopt;
        size_t start = m_value + 7;
        const char stop = start < m_close && m_body[start] == '"' ? '"' : ' ';
        if (stop == '"') ++start;
        size_t end = start;
        while (end < m_close && m_body[end] != stop) ++end;
        return std::pair{start, end - start};
    }

private:
    static constexpr size_t kNone = std::string_view::npos;
    std::string_view m_body;
    size_t m_cursor = 0;
    size_t m_lastBlank = kNone;
    size_t m_lastOpen = kNone;
    size_t m_close = kNone;  // the first ">" at or after the current tag's "<"
    size_t m_value = kNone;  // the first " value=" at or after it
    bool m_valueSearched = false;
};

// Reads the attributes of one tag, from just after its name up to its ">".
class TagAttributes {
public:
    explicit TagAttributes(std::string_view tag) : m_tag(tag) {}

    // The next attribute; false at the end of the tag.
    bool next(std::string_view& name, std::string_view& value) {
        while (m_pos < m_tag.size() && (isBlankOrControl(m_tag[m_pos]) || m_tag[m_pos] == '/'))
            ++m_pos;
        if (m_pos >= m_tag.size() || m_tag[m_pos] == '>') return false;
        const size_t start = m_pos;
        while (m_pos < m_tag.size() && m_tag[m_pos] != '=' && m_tag[m_pos] != '>' &&
               !isBlankOrControl(m_tag[m_pos]))
            ++m_pos;
        name = m_tag.substr(start, m_pos - start);
        value = {};
        if (m_pos < m_tag.size() && m_tag[m_pos] == '=') {
            ++m_pos;
            const char quote = m_pos < m_tag.size() ? m_tag[m_pos] : '\0';
            if (quote == '"' || quote == '\'') {
                const size_t end = m_tag.find(quote, m_pos + 1);
                const size_t stop = end == std::string_view::npos ? m_tag.size() : end;
                value = m_tag.substr(m_pos + 1, stop - m_pos - 1);
                m_pos = stop + 1;
            } else {
                const size_t begin = m_pos;
                while (m_pos < m_tag.size() && m_tag[m_pos] != '>' &&
                       !isBlankOrControl(m_tag[m_pos]))
                    ++m_pos;
                value = m_tag.substr(begin, m_pos - begin);
            }
        } else if (m_pos == start) {
            ++m_pos;  // a stray character: step over it
        }
        return true;
    }

private:
    std::string_view m_tag;
    size_t m_pos = 0;
};

void appendUtf8(uint32_t c, TextBuffer& out) {
    char bytes[4];
    size_t n = 0;
    if (c < 0x80) {
        bytes[n++] = char(c);
    } else if (c < 0x800) {
        bytes[n++] = char(0xC0 | (c >> 6));
        bytes[n++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes[n++] = char(0xE0 | (c >> 12));
        bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = char(0x80 | (c & 0x3F));
    } else {
        bytes[n++] = char(0xF0 | ((c >> 18) & 0x07));
        bytes[n++] = char(0x80 | ((c >> 12) & 0x3F));
        bytes[n++] = char(0x80 | ((c >> 6) & 0x3F));
        bytes[n++] = char(0x80 | (c & 0x3F));
    }
    out.append(std::string_view(bytes, n));
}

}  // namespace

std::optional<std::string_view> extractMeta(std::string_view body, std::string_view name) {
    if (name.empty()) return std::nullopt;
    // Each tag is read once, up to its own ">": the scan stays linear.
    for (size_t at = findNoCase(body, "<meta"); at != std::string_view::npos;
         at = findNoCase(body, "<meta", at + 5)) {
        const size_t afterName = at + 5;
        if (afterName < body.size() && !isBlankOrControl(body[afterName]) && body[afterName] != '/')
            continue;  // <metadata> and the like
        const size_t close = body.find('>', afterName);
        TagAttributes attributes(body.substr(afterName, close == std::string_view::npos
                                                            ? body.size() - afterName
                                                            : close - afterName));
        std::string_view attribute, value;
        std::optional<std::string_view> content;
        bool named = false;
        while (attributes.next(attribute, value)) {
            if (equalsNoCase(attribute, "content") && !content)
                content = value;
            else if ((equalsNoCase(attribute, "name") || equalsNoCase(attribute, "property")) &&
                     equalsNoCase(value, name))
                named = true;
        }
        if (named && content) return content->substr(0, kMaxPageValue);
        if (close == std::string_view::npos) break;
        at = close - 4;  // the next search starts after this tag's ">"
    }
    return std::nullopt;
}

void appendMeta(std::string_view body, std::string_view name, bool encode, TextBuffer& out) {
    const std::optional<std::string_view> value = extractMeta(body, name);
    if (!value) return;
    if (encode) {
        appendDecodedAndEncoded(*value, out);
        return;
    }
    for (size_t i = 0; i < value->size();) {
        uint32_t codePoint = 0;
        const size_t used =
            (*value)[i] == '&' ? decodeCharacterReference(value->substr(i), codePoint) : 0;
        if (used == 0) {
            out.append(value->substr(i, 1));
            ++i;
            continue;
        }
        appendUtf8(codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000) ? 0xFFFD
                                                                                       : codePoint,
                   out);
        i += used;
    }
}

std::optional<std::string_view> extractUrlParam(std::string_view body, std::string_view name,
                                                UserRandom& random) {
    Candidates found;
    if (name.empty()) return std::nullopt;
    for (size_t pos = body.find(name, 1); pos != std::string_view::npos && !found.full();
         pos = body.find(name, pos + 1)) {
        if (body[pos - 1] != '?' && body[pos - 1] != '&') continue;
        size_t eq = body.find('=', pos + name.size());
        if (eq == std::string_view::npos) break;
        size_t end = eq + 1;
        // Blanks and control characters end the value too: it goes into a request
        // line as it is.
        while (end < body.size() && body[end] != '&' && body[end] != '"' && body[end] != '>' &&
               !isBlankOrControl(body[end]))
            ++end;
        found.add(eq + 1, end - eq - 1);
    }
    return found.pick(body, random);
}

std::optional<std::string_view> extractHidden(std::string_view body, std::string_view name,
                                              UserRandom& random) {
    Candidates found;
    if (name.empty()) return std::nullopt;
    HiddenFieldScan scan(body);
    for (size_t pos = body.find(name); pos != std::string_view::npos && !found.full();
         pos = body.find(name, pos + 1)) {
        if (auto value = scan.valueAt(pos, name.size())) found.add(value->first, value->second);
    }
    return found.pick(body, random);
}

void appendHidden(std::string_view body, std::string_view name, UserRandom& random, bool encode,
                  TextBuffer& out) {
    std::optional<std::string_view> value = extractHidden(body, name, random);
    if (!value) return;
    if (encode)
        appendDecodedAndEncoded(*value, out);
    else
        out.append(*value);
}

std::optional<std::string> expandBodyPattern(std::optional<std::string_view> body,
                                             const Regex& pattern, std::string_view valueTemplate) {
    if (!body) return std::nullopt;
    int32_t captures[2 * kCaptureSlots];
    int pairs = kCaptureSlots;
    if (!pattern.match(*body, captures, pairs)) return std::nullopt;
    return expandCaptureTemplate(valueTemplate, *body, captures, pairs,
                                 TemplateDollars::kDigitsOnly, kMaxPageValue);
}

}  // namespace velk
