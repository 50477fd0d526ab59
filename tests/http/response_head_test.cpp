// What one pass over a response header finds, line by line as the reader takes it.
#include "http/response_head.h"

#include <gtest/gtest.h>

#include <string>

namespace velk {
namespace {

struct Found {
    ResponseHead::Verdict last = ResponseHead::Verdict::kMore;
    std::string body;
    std::string cookies;
};

// Feeds text to head a line at a time, each stored whole at its own offset, up
// to the end of the header.
Found feed(ResponseHead& head, const std::string& text, bool proxied = false) {
    head.start(proxied);
    Found found;
    size_t pos = 0;
    while (pos < text.size() && found.last != ResponseHead::Verdict::kEnd) {
        const size_t newline = text.find('\n', pos);
        const size_t next = newline == std::string::npos ? text.size() : newline + 1;
        found.last = head.take(std::string_view(text).substr(pos, next - pos), pos, next);
        if (found.last == ResponseHead::Verdict::kBadLength) return found;
        pos = next;
    }
    if (found.last == ResponseHead::Verdict::kEnd) found.body = text.substr(head.body());
    for (const TextSpan& c : head.cookies()) found.cookies += "[" + std::string(c.in(text)) + "]";
    return found;
}

TEST(ResponseHead, OnePassFindsStatusFramingConnectionLocationCookiesAndBody) {
    struct Case {
        const char* name;
        std::string text;
        bool proxied;
        int status;
        bool closes;
        int64_t length;
        bool chunked;
        std::string location;
        std::string cookies;
        std::string body;
    } cases[] = {
        {"redirect",
         "HTTP/1.1 302 Found\r\nlocation:  /a b\r\nSET-COOKIE: s=1\r\nX-Location: no\r\n"
         "Set-Cookie:t=2; path=/\r\nContent-Length: 3\r\n\r\nabc",
         false, 302, false, 3, false, "/a b", "[ s=1][t=2; path=/]", "abc"},
        {"last location wins", "HTTP/1.1 301 M\r\nLocation: /1\r\nLocation: /2\r\n\r\n", false, 301,
         false, -1, false, "/2", "", ""},
        {"HTTP/1.0 closes", "HTTP/1.0 200 OK\r\n\r\nx", false, 200, true, -1, false, "", "", "x"},
        {"Connection: close", "HTTP/1.1 200 OK\r\nconnection: Close\r\n\r\n", false, 200, true, -1,
         false, "", "", ""},
        {"Proxy-Connection without a proxy", "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\n\r\n",
         false, 200, false, -1, false, "", "", ""},
        {"Proxy-Connection through a proxy", "HTTP/1.1 200 OK\r\nProxy-Connection: close\r\n\r\n",
         true, 200, true, -1, false, "", "", ""},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n", false, 200, false,
         -1, true, "", "", "5\r\n"},
        {"bare line feeds", "HTTP/1.1 200 OK\nSet-Cookie: a=1\n\nSet-Cookie: b=2\n", false, 200,
         false, -1, false, "", "[ a=1]", "Set-Cookie: b=2\n"},
        {"interim block forgotten, its framing kept",
         "HTTP/1.1 100 Continue\r\nSet-Cookie: early=1\r\nLocation: /early\r\nContent-Length: 2\r\n"
         "\r\nHTTP/1.1 200 OK\r\nSet-Cookie: late=2\r\n\r\nok",
         false, 200, false, 2, false, "", "[ late=2]", "ok"},
        {"no status line first", "Hello\r\nHTTP/1.1 200 OK\r\n\r\n", false, 0, false, -1, false, "",
         "", ""},
    };
    ResponseHead head;  // one for all cases, as a user reuses it
    for (const Case& c : cases) {
        const Found found = feed(head, c.text, c.proxied);
        EXPECT_EQ(found.last, ResponseHead::Verdict::kEnd) << c.name;
        EXPECT_EQ(head.status(), c.status) << c.name;
        EXPECT_EQ(head.closes(), c.closes) << c.name;
        EXPECT_EQ(head.contentLength(), c.length) << c.name;
        EXPECT_EQ(head.chunked(), c.chunked) << c.name;
        EXPECT_EQ(head.location().in(c.text), c.location) << c.name;
        EXPECT_EQ(found.cookies, c.cookies) << c.name;
        EXPECT_EQ(found.body, c.body) << c.name;
    }
}

TEST(ResponseHead, ContentLengthThatIsNoLengthIsRefused) {
    ResponseHead head;
    for (const char* value : {"-5", "x", ""}) {
        const std::string text =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::string(value) + "\r\n\r\n";
        const Found found = feed(head, text);  // badLength() is a view of text
        EXPECT_EQ(found.last, ResponseHead::Verdict::kBadLength) << value;
        EXPECT_TRUE(head.badLength().starts_with(value)) << value;
    }
}

TEST(ResponseHead, ValuesOfLinesNotStoredWholeAreNotNoted) {
    // The run's memory for responses was spent inside these lines: their
    // offsets would point past what is stored.
    ResponseHead head;
    head.start(false);
    EXPECT_EQ(head.take("HTTP/1.1 302 Found\r\n", 0, 20), ResponseHead::Verdict::kMore);
    EXPECT_EQ(head.take("Location: /x\r\n", 20, 25), ResponseHead::Verdict::kMore);
    EXPECT_EQ(head.take("Set-Cookie: a=1\r\n", 25, 25), ResponseHead::Verdict::kMore);
    EXPECT_EQ(head.take("\r\n", 25, 25), ResponseHead::Verdict::kEnd);
    EXPECT_EQ(head.status(), 302);
    EXPECT_EQ(head.location().length, 0u);
    EXPECT_TRUE(head.cookies().empty());
    EXPECT_EQ(head.body(), 25u);
}

TEST(ResponseHead, SetCookieLinesNotedPerResponseAreCapped) {
    std::string text = "HTTP/1.1 200 OK\r\n";
    for (size_t i = 0; i < kMaxSetCookieLines + 5; ++i) text += "Set-Cookie: c=1\r\n";
    ResponseHead head;
    feed(head, text + "\r\n");
    EXPECT_EQ(head.cookies().size(), kMaxSetCookieLines);
}

}  // namespace
}  // namespace velk
