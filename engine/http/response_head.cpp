#include "http/response_head.h"

#include <charconv>
#include <utility>

#include "base/ascii.h"
#include "http/status_line.h"

namespace velk {
namespace {

// The line without its line end ("\n", then one "\r").
std::string_view withoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The text after "Name:" with blanks skipped.
std::string_view headerValue(std::string_view line, size_t nameLength) {
    std::string_view v = line.substr(nameLength);
    while (!v.empty() && (v[0] == ' ' || v[0] == '\t')) v.remove_prefix(1);
    return v;
}

TextSpan spanOf(std::string_view value, std::string_view line, size_t storedAt) {
    return TextSpan{uint32_t(storedAt + size_t(value.data() - line.data())),
                    uint32_t(value.size())};
}

}  // namespace

void ResponseHead::start(bool proxied) {
    m_proxied = proxied;
    m_closes = false;
    m_contentLength = -1;
    m_chunked = false;
    m_body = 0;
    m_badLength = {};
    forgetBlock();
}

void ResponseHead::forgetBlock() {
    m_firstLine = true;
    m_status = 0;
    m_location = {};
    m_cookies.clear();
}

ResponseHead::Verdict ResponseHead::take(std::string_view line, size_t storedAt, size_t storedEnd) {
    const bool firstLine = std::exchange(m_firstLine, false);
    if (line.empty()) return Verdict::kMore;
    const bool whole = storedEnd - storedAt == line.size();
    if (line.starts_with("HTTP")) {
        int minor = 1, status = 0;
        if (scanStatusLine(line, minor, status) >= 1 && minor == 0) m_closes = true;
        if (firstLine) m_status = status;
        return Verdict::kMore;
    }
    // Most lines are none of the headers looked for; their first letter says so.
    const char first = asciiLower(line[0]);
    if (first == 'c' && startsWithNoCase(line, "Content-Length:")) {
        std::string_view v = headerValue(line, 15);
        int64_t length = -1;
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), length);
        if (ec != std::errc() || length < 0) {
            m_badLength = v;
            return Verdict::kBadLength;
        }
        m_contentLength = length;
    } else if (first == 't' && startsWithNoCase(line, "Transfer-Encoding:")) {
        if (startsWithNoCase(headerValue(line, 18), "chunked")) m_chunked = true;
    } else if (first == 'c' && startsWithNoCase(line, "Connection:")) {
        if (startsWithNoCase(headerValue(line, 11), "close")) m_closes = true;
    } else if (m_proxied && first == 'p' && startsWithNoCase(line, "Proxy-Connection:")) {
        if (startsWithNoCase(headerValue(line, 17), "close")) m_closes = true;
    } else if (first == 'l' && startsWithNoCase(line, "Location:")) {
        if (whole) m_location = spanOf(headerValue(withoutLineEnd(line), 9), line, storedAt);
    } else if (first == 's' && startsWithNoCase(line, "Set-Cookie:")) {
        if (whole && m_cookies.size() < kMaxSetCookieLines)
            m_cookies.push_back(spanOf(withoutLineEnd(line).substr(11), line, storedAt));
    } else if (line == "\r\n" || line == "\n") {
        if (m_status == 100) {
            forgetBlock();
            return Verdict::kInterimEnd;
        }
        m_body = storedEnd;
        return Verdict::kEnd;
    }
    return Verdict::kMore;
}

}  // namespace velk
