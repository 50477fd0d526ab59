#include "http/http2_exchange.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "http/http_session.h"
#include "net/connection.h"
#include "net/http2_session.h"
#include "platform/clock.h"

namespace velk {
namespace {

// HTTP/2 carries no reason phrase; the HTTP/1.1-style text gets the usual one.
std::string_view reasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "";
    }
}

// Header lines of HTTP/1.1 that HTTP/2 forbids (the connection's own business)
// or carries as a pseudo-header (Host).
bool isDroppedField(std::string_view lowerName, std::string_view value) {
    return lowerName == "host" || lowerName == "connection" || lowerName == "keep-alive" ||
           lowerName == "proxy-connection" || lowerName == "transfer-encoding" ||
           lowerName == "upgrade" || (lowerName == "te" && !equalsNoCase(value, "trailers"));
}

std::string_view trimBlanks(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
        v.remove_suffix(1);
    return v;
}

// The composed HTTP/1.1 request as HTTP/2 fields and a body.  Views point into
// the request text and into names (the lower-cased field names).
struct Http2Request {
    std::vector<net::Http2Header> fields;
    std::string names;
    std::string_view body;
};

// False when the text is no request line and header (then nothing is sent).
bool translateRequest(std::string_view text, bool secure, std::string_view fallbackAuthority,
                      Http2Request& out) {
    const size_t headerEnd = text.find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) return false;
    out.body = text.substr(headerEnd + 4);
    std::string_view head = text.substr(0, headerEnd + 2);
    const size_t lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    head.remove_prefix(lineEnd + 2);
    const size_t firstBlank = requestLine.find(' ');
    const size_t lastBlank = requestLine.rfind(' ');
    if (firstBlank == std::string_view::npos || lastBlank <= firstBlank) return false;
    const std::string_view method = requestLine.substr(0, firstBlank);
    const std::string_view path = requestLine.substr(firstBlank + 1, lastBlank - firstBlank - 1);

    // Names first, all of them, so the views into the string stay put.
    struct Line {
        size_t nameAt, nameLength;
        std::string_view value;
    };
    std::vector<Line> lines;
    std::string_view authority = fallbackAuthority;
    out.names.clear();
    out.names.reserve(head.size());
    while (!head.empty()) {
        const size_t end = head.find("\r\n");
        const std::string_view line = head.substr(0, end);
        head.remove_prefix(end == std::string_view::npos ? head.size() : end + 2);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        const std::string_view name = trimBlanks(line.substr(0, colon));
        const std::string_view value = trimBlanks(line.substr(colon + 1));
        const size_t at = out.names.size();
        for (char c : name) out.names.push_back(asciiLower(c));
        const std::string_view lower(out.names.data() + at, name.size());
        if (lower == "host") authority = value;
        if (isDroppedField(lower, value)) {
            out.names.resize(at);
            continue;
        }
        lines.push_back(Line{at, name.size(), value});
    }
    out.fields.clear();
    out.fields.push_back({":method", method});
    out.fields.push_back({":scheme", secure ? "https" : "http"});
    out.fields.push_back({":authority", authority});
    out.fields.push_back({":path", path.empty() ? std::string_view("/") : path});
    for (const Line& l : lines)
        out.fields.push_back(
            {std::string_view(out.names.data() + l.nameAt, l.nameLength), l.value});
    return true;
}

// Writes the response into the session as the HTTP/1.1 reader would have stored
// it, and notes its header through the session's ResponseHead.
class ResponseText final : public net::Http2ResponseSink {
public:
    ResponseText(HttpSession& s, bool timedToFirstByte) : m_s(s), m_firstByte(timedToFirstByte) {}

    void requestSent() override { m_sentAt = platform::nowMicros(); }
    void responseStarted() override {
        if (m_firstByte) m_firstByteAt = platform::nowMicros();
    }
    void header(std::string_view name, std::string_view value) override {
        if (name == ":status") {
            // A new block: a final one replaces whatever interim block came before.
            m_s.response.clear();
            m_s.head.start(false);
            m_status = 0;
            std::from_chars(value.data(), value.data() + value.size(), m_status);
            const std::string_view reason = reasonPhrase(m_status);
            m_line.assign("HTTP/1.1 ");
            m_line.append(std::to_string(m_status));
            if (!reason.empty()) m_line.append(" ").append(reason);
            m_line.append("\r\n");
            takeLine(m_line);
            m_inBlock = true;
            return;
        }
        if (!m_inBlock || name.empty() || name[0] == ':') return;  // trailers, pseudo-headers
        m_line.clear();
        // Header names as HTTP/1.1 writes them: "set-cookie" becomes "Set-Cookie".
        bool upper = true;
        for (char c : name) {
            m_line.push_back(upper && c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
            upper = c == '-';
        }
        m_line.append(": ");
        m_line.append(value);
        m_line.append("\r\n");
        takeLine(m_line);
    }
    void headerBlockEnd() override {
        if (!m_inBlock) return;
        m_inBlock = false;
        if (m_status >= 100 && m_status < 200) return;  // interim: the real one follows
        takeLine("\r\n");
        m_final = true;
    }
    void data(std::string_view bytes) override {
        if (m_final) store(bytes);
    }

    bool complete() const { return m_final; }
    int status() const { return m_status; }
    int64_t sentAt() const { return m_sentAt; }
    int64_t firstByteAt() const { return m_firstByteAt; }
    uint64_t discarded() const { return m_discarded; }

private:
    void takeLine(std::string_view line) {
        const size_t at = m_s.response.size();
        store(line);
        m_s.head.take(line, at, m_s.response.size());
    }
    // As the HTTP/1.1 reader stores: at most kMaxStoredResponse per response and
    // what the run's budget allows; the rest is counted, not kept.
    void store(std::string_view bytes) {
        const size_t size = m_s.response.size();
        const size_t wanted = std::min(kMaxStoredResponse, size + bytes.size());
        if (m_s.responseBudget && wanted > m_s.responseAllowance) {
            constexpr size_t kStep = size_t(64) << 10;
            const size_t more = std::min(kMaxStoredResponse, (wanted + kStep - 1) / kStep * kStep) -
                                m_s.responseAllowance;
            m_s.responseAllowance += m_s.responseBudget->take(more);
        }
        const size_t limit = m_s.responseBudget ? std::min(wanted, m_s.responseAllowance) : wanted;
        const size_t kept = limit > size ? std::min(limit - size, bytes.size()) : 0;
        m_s.response.append(bytes.data(), kept);
        m_discarded += bytes.size() - kept;
    }

    HttpSession& m_s;
    bool m_firstByte;
    int m_status = 0;
    bool m_inBlock = false;
    bool m_final = false;
    std::string m_line;
    int64_t m_sentAt = 0;
    int64_t m_firstByteAt = 0;
    uint64_t m_discarded = 0;
};

int32_t microsSince(int64_t startMicros, int64_t endMicros) {
    return int32_t(std::clamp<int64_t>(endMicros - startMicros, 0, INT32_MAX));
}

ResponseRecord runHttp2(HttpSession& s, net::Connection& conn, net::Http2Session& session,
                        std::string_view request, bool keepAlive) {
    if (s.log.isOpen())
        s.log.write(conn.carriesTls() ? "Sent as HTTP/2 (h2, chosen by ALPN).\r\n"
                                      : "Sent as HTTP/2 (h2c, prior knowledge).\r\n");
    auto failed = [&](StatusCode code, const std::string& why) {
        s.log.write(why);
        session.close();
        conn.close();
        conn.setReusable(false);
        return ResponseRecord::failed(code);
    };
    Http2Request translated;
    if (!translateRequest(request, conn.carriesTls(), conn.host(), translated))
        return failed(StatusCode::kNetwork, "HTTP/2: the request has no header to send\r\n");

    const int timingMode = s.options.timingmode;
    ResponseText text(s, timingMode == 1);
    s.head.start(false);
    const int64_t started = platform::nowMicros();
    const Status outcome = session.exchange(translated.fields, translated.body, text);
    const int64_t ended = platform::nowMicros();
    const int64_t sentAt = text.sentAt() != 0 ? text.sentAt() : ended;
    s.bytesSent += session.bytesSent();
    s.sendTimeMs += double(sentAt - started) / 1000.0;
    if (!outcome) return failed(outcome.code(), outcome.message());
    if (!text.complete())
        return failed(StatusCode::kNetwork, "HTTP/2: the stream ended without a response\r\n");
    s.bytesReceived += s.response.size() + text.discarded();
    s.receiveTimeMs += double(ended - sentAt) / 1000.0;

    const bool keep = keepAlive && session.reusable();
    if (!keep) {
        session.close();
        conn.close();
    }
    conn.setReusable(keep);

    ResponseRecord record;
    const int64_t clockStart = timingMode == 2 ? started : sentAt;
    const int64_t clockEnd =
        timingMode == 1 && text.firstByteAt() != 0 ? text.firstByteAt() : ended;
    record.measured = microsSince(clockStart, clockEnd);
    record.time = int32_t(roundResponseTime(record.measured, s.options.round));
    const std::string_view response = s.response.view();
    record.httpStatus = s.head.status();
    record.body = std::min(s.head.body(), response.size());
    record.location = s.head.location().in(response);
    record.cookies = s.head.cookies();
    record.keepAlive = keep;
    return record;
}

}  // namespace

bool goesAsHttp2(const HttpSession& s, const net::Connection& conn) {
    if (s.options.http2 == 0 || s.proxy.kind == net::ProxyKind::kHttp || !conn.isOpen())
        return false;
    if (conn.carriesTls()) return conn.negotiatedProtocol() == "h2";
    return s.options.http2 == 2;
}

ResponseRecord exchangeOverConnection(HttpSession& s, net::Connection& conn,
                                      std::string_view request, bool keepAlive) {
    if (!goesAsHttp2(s, conn)) {
        if (s.options.http2 != 0 && conn.carriesTls() && !s.http2FallbackNoted) {
            s.http2FallbackNoted = true;
            s.log.printf("HTTP/2 not offered by %s (ALPN): HTTP/1.1 is used.\r\n",
                         conn.host().c_str());
        }
        return readResponse(s, conn, request, keepAlive);
    }
    if (&conn != &s.connection) {
        // A temporary connection (a redirect elsewhere) serves one exchange.
        net::Http2Session once(conn);
        return runHttp2(s, conn, once, request, false);
    }
    if (!s.http2) s.http2 = std::make_unique<net::Http2Session>(conn);
    // A refused stream is sent again by the caller (http/resend_rule.h).
    return runHttp2(s, conn, *s.http2, request, keepAlive);
}

}  // namespace velk
