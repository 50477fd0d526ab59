#pragma once
// Reads one HTTP/1.x request at a time out of the bytes a connection has received.
// Call parse() with everything received and not yet consumed; it answers NeedMore
// until a whole request (head and Content-Length body) is there.  Caps: the head
// (request line and headers) at maxHeaderBytes, the body at maxBodyBytes.  A bad
// request line is reported as soon as its line ends, without waiting for the rest.
// Bodies must come with Content-Length; chunked request bodies are not taken.
// One parser per connection; not safe for concurrent use.
#include <cstddef>
#include <string_view>

#include "http_request.h"

namespace velk::demo {

enum class ParseStatus {
    NeedMore,
    Complete,
    BadRequest,          // 400
    HeaderTooLarge,      // 431
    BodyTooLarge,        // 413
    NotImplemented,      // 501: Transfer-Encoding
    UnsupportedVersion,  // 505
};

// The status code to answer a parse failure with (0 for NeedMore and Complete).
int statusFor(ParseStatus status);

class RequestParser {
public:
    RequestParser(size_t maxHeaderBytes, size_t maxBodyBytes)
        : m_maxHeaderBytes(maxHeaderBytes), m_maxBodyBytes(maxBodyBytes) {}

    // On Complete, request holds the request and consumed the number of bytes of data it
    // took; the parser is then ready for the next request.  After a failure the
    // connection is beyond repair and the parser must not be used again.
    ParseStatus parse(std::string_view data, HttpRequest& request, size_t& consumed);

private:
    ParseStatus parseHead(std::string_view head);
    ParseStatus parseRequestLine(std::string_view line);
    ParseStatus parseHeaderLine(std::string_view line);

    size_t m_maxHeaderBytes;
    size_t m_maxBodyBytes;
    // State of the request being read; the head is parsed once, the body waited for.
    size_t m_scanned = 0;    // bytes already searched for the end of the head
    size_t m_headerEnd = 0;  // 0 until the head is complete
    size_t m_bodyLength = 0;
    bool m_haveLength = false;
    HttpRequest m_request;
};

}  // namespace velk::demo
