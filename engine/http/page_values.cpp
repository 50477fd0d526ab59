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

}  // namespace

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
