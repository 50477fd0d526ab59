#include "request_parser.h"

#include <utility>

#include "text_util.h"

namespace velk::demo {

namespace {

constexpr std::string_view kCrlf = "\r\n";

bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!isTokenChar(c)) return false;
    return true;
}

bool hasControlChars(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) return true;
    }
    return false;
}

// Clients may send stray CRLFs between requests (after a POST body, say).
size_t leadingEmptyLines(std::string_view data) {
    size_t skip = 0;
    while (data.substr(skip, 2) == kCrlf) skip += 2;
    return skip;
}

}  // namespace

int statusFor(ParseStatus status) {
    switch (status) {
        case ParseStatus::BadRequest:
            return 400;
        case ParseStatus::HeaderTooLarge:
            return 431;
        case ParseStatus::BodyTooLarge:
            return 413;
        case ParseStatus::NotImplemented:
            return 501;
        case ParseStatus::UnsupportedVersion:
            return 505;
        case ParseStatus::NeedMore:
        case ParseStatus::Complete:
            break;
    }
    return 0;
}

ParseStatus RequestParser::parse(std::string_view data, HttpRequest& request, size_t& consumed) {
    const size_t skip = leadingEmptyLines(data);
    const std::string_view rest = data.substr(skip);
    if (m_headerEnd == 0) {
        const size_t lineEnd = rest.find(kCrlf);
        if (lineEnd == std::string_view::npos) {
            if (data.size() > m_maxHeaderBytes) return ParseStatus::HeaderTooLarge;
            return ParseStatus::NeedMore;
        }
        if (const ParseStatus s = parseRequestLine(rest.substr(0, lineEnd));
            s != ParseStatus::Complete)
            return s;
        const size_t from = m_scanned > 3 ? m_scanned - 3 : 0;
        const size_t end = rest.find("\r\n\r\n", from);
        if (end == std::string_view::npos) {
            m_scanned = rest.size();
            if (data.size() > m_maxHeaderBytes) return ParseStatus::HeaderTooLarge;
            return ParseStatus::NeedMore;
        }
        if (skip + end + 4 > m_maxHeaderBytes) return ParseStatus::HeaderTooLarge;
        if (const ParseStatus s = parseHead(rest.substr(0, end + 2)); s != ParseStatus::Complete)
            return s;
        m_headerEnd = end + 4;
    }
    if (rest.size() - m_headerEnd < m_bodyLength) return ParseStatus::NeedMore;

    m_request.body.assign(rest.substr(m_headerEnd, m_bodyLength));
    consumed = skip + m_headerEnd + m_bodyLength;
    request = std::move(m_request);
    m_request = HttpRequest{};
    m_scanned = m_headerEnd = m_bodyLength = 0;
    m_haveLength = false;
    return ParseStatus::Complete;
}

ParseStatus RequestParser::parseHead(std::string_view head) {
    m_request.headers.clear();
    size_t pos = head.find(kCrlf) + 2;  // the request line was checked already
    while (pos < head.size()) {
        const size_t end = head.find(kCrlf, pos);
        if (const ParseStatus s = parseHeaderLine(head.substr(pos, end - pos));
            s != ParseStatus::Complete)
            return s;
        pos = end + 2;
    }
    return ParseStatus::Complete;
}

ParseStatus RequestParser::parseRequestLine(std::string_view line) {
    const size_t sp1 = line.find(' ');
    const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos)
        return ParseStatus::BadRequest;
    const std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    if (!isToken(method) || target.empty() || hasControlChars(target))
        return ParseStatus::BadRequest;
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
        return ParseStatus::BadRequest;
    if (version[5] != '1' || (version[7] != '0' && version[7] != '1'))
        return ParseStatus::UnsupportedVersion;

    // Absolute form, as sent to proxies: keep only the path and query.
    if (target.substr(0, 7) == "http://" || target.substr(0, 8) == "https://") {
        const size_t slash = target.find('/', target.find("//") + 2);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (target.front() != '/' && target != "*") return ParseStatus::BadRequest;

    const size_t question = target.find('?');
    m_request.method.assign(method);
    m_request.path.assign(target.substr(0, question));
    m_request.query.assign(question == std::string_view::npos ? std::string_view{}
                                                              : target.substr(question + 1));
    m_request.minorVersion = version[7] - '0';
    return ParseStatus::Complete;
}

ParseStatus RequestParser::parseHeaderLine(std::string_view line) {
    const size_t colon = line.find(':');
    // Also refuses folded continuation lines, which start with white space.
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
        return ParseStatus::BadRequest;
    const std::string_view value = trim(line.substr(colon + 1));
    if (hasControlChars(value)) return ParseStatus::BadRequest;
    std::string name = toLower(line.substr(0, colon));

    if (name == "transfer-encoding") return ParseStatus::NotImplemented;
    if (name == "content-length") {
        // Far above any cap, so that only real digits decide between 400 and 413.
        const auto length = parseUnsigned(value, 1ULL << 60);
        if (!length || (m_haveLength && *length != m_bodyLength)) return ParseStatus::BadRequest;
        if (*length > m_maxBodyBytes) return ParseStatus::BodyTooLarge;
        m_bodyLength = static_cast<size_t>(*length);
        m_haveLength = true;
    }
    m_request.headers.emplace_back(std::move(name), value);
    return ParseStatus::Complete;
}

}  // namespace velk::demo
