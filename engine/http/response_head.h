#pragma once
// The header of one response, taken a line at a time as the reader receives it:
// the status line, the framing (Content-Length, chunked), whether the server
// closes the connection, and where the Location and Set-Cookie values and the
// body lie in the stored response.  Each line is looked at once, when it
// arrives; what it finds is the record every later step of the request reads.
//
// An interim block (status 100) is dropped whole: its status, Location and
// cookies are forgotten and the next block is read as the response, while its
// framing and connection headers still count, as the reader has always had them.
//
// A user reuses one for all its exchanges: the cookie offsets keep their room, so
// a response allocates nothing once the list has grown.  Not shared.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velk {

// A piece of the stored response, as offsets: the buffer may move while the
// response is read.
struct TextSpan {
    uint32_t offset = 0;
    uint32_t length = 0;
    std::string_view in(std::string_view text) const { return text.substr(offset, length); }
};

// Set-Cookie lines noted per response; later ones are ignored.  (A user keeps at
// most kMaxCookies cookies anyway; this bounds what a hostile header can make a
// user hold before it is judged.)
inline constexpr size_t kMaxSetCookieLines = 1000;

class ResponseHead {
public:
    enum class Verdict {
        kMore,        // read the next header line
        kInterimEnd,  // an interim block ended: drop what is stored and read on
        kEnd,         // the header ended: the body follows
        kBadLength,   // a Content-Length that is no length (badLength() shows it)
    };

    // Starts a new response.  proxied: whether a "Proxy-Connection: close" counts.
    void start(bool proxied);

    // Takes one header line as read, line end included.  It was stored from
    // storedAt to storedEnd in the response (less than the whole line when the
    // response's memory is spent: such a line's values are not noted).
    Verdict take(std::string_view line, size_t storedAt, size_t storedEnd);

    // The status of the block's first line ("HTTP/1.x nnn"); 0 when that line
    // is no status line.
    int status() const { return m_status; }
    // Whether a header or an HTTP/1.0 status line says the connection closes.
    bool closes() const { return m_closes; }
    // -1 when the header gave none.
    int64_t contentLength() const { return m_contentLength; }
    bool chunked() const { return m_chunked; }
    // Where the body starts in the stored response, once take() said kEnd.
    size_t body() const { return m_body; }
    // The last "Location:" value, blanks before it and the line end left out.
    TextSpan location() const { return m_location; }
    // The text after each "Set-Cookie:", line end left out, in order.
    std::span<const TextSpan> cookies() const { return m_cookies; }
    // The value of a Content-Length that take() refused (a view of its line).
    std::string_view badLength() const { return m_badLength; }

private:
    void forgetBlock();

    bool m_proxied = false;
    bool m_firstLine = true;
    int m_status = 0;
    bool m_closes = false;
    int64_t m_contentLength = -1;
    bool m_chunked = false;
    size_t m_body = 0;
    TextSpan m_location;
    std::vector<TextSpan> m_cookies;
    std::string_view m_badLength;
};

}  // namespace velk
