#include "request_parser.h"

#include <gtest/gtest.h>

namespace velk::demo {
namespace {

constexpr size_t kHeaderCap = 256;
constexpr size_t kBodyCap = 64;

struct Outcome {
    ParseStatus status;
    HttpRequest request;
    size_t consumed = 0;
};

Outcome parseAll(std::string_view data) {
    RequestParser parser(kHeaderCap, kBodyCap);
    Outcome out;
    out.status = parser.parse(data, out.request, out.consumed);
    return out;
}

TEST(RequestParser, SplitsTargetAndLowerCasesHeaderNames) {
    const Outcome out = parseAll("GET /search?q=a+b HTTP/1.1\r\nHost: x\r\nX-Thing:  v 1 \r\n\r\n");
    ASSERT_EQ(out.status, ParseStatus::Complete);
    EXPECT_EQ(out.request.method, "GET");
    EXPECT_EQ(out.request.path, "/search");
    EXPECT_EQ(out.request.query, "q=a+b");
    EXPECT_EQ(out.request.minorVersion, 1);
    EXPECT_EQ(out.request.header("x-thing"), "v 1");
    EXPECT_EQ(out.request.header("host"), "x");
}

TEST(RequestParser, AbsoluteFormTargetKeepsPathAndQuery) {
    const Outcome out = parseAll("GET http://127.0.0.1:8080/product?id=3 HTTP/1.1\r\n\r\n");
    ASSERT_EQ(out.status, ParseStatus::Complete);
    EXPECT_EQ(out.request.path, "/product");
    EXPECT_EQ(out.request.query, "id=3");
    EXPECT_EQ(parseAll("GET http://host HTTP/1.1\r\n\r\n").request.path, "/");
}

TEST(RequestParser, ByteByByteGivesTheSameRequestAsAllAtOnce) {
    const std::string text =
        "POST /login HTTP/1.1\r\nContent-Length: 10\r\nCookie: a=b\r\n\r\nuser=x&p=yREST";
    RequestParser parser(kHeaderCap, kBodyCap);
    HttpRequest request;
    size_t consumed = 0;
    ParseStatus status = ParseStatus::NeedMore;
    size_t fed = 0;
    while (status == ParseStatus::NeedMore && fed < text.size())
        status = parser.parse(std::string_view(text).substr(0, ++fed), request, consumed);
    ASSERT_EQ(status, ParseStatus::Complete);
    EXPECT_EQ(request.body, "user=x&p=y");
    EXPECT_EQ(consumed, text.size() - 4);
    EXPECT_EQ(fed, consumed) << "complete as soon as the body's last byte is there";
}

TEST(RequestParser, ReadsPipelinedRequestsOneAfterTheOther) {
    const std::string text =
        "\r\nGET /a HTTP/1.1\r\n\r\nPOST /b HTTP/1.0\r\nContent-Length: 2\r\n\r\nhi";
    RequestParser parser(kHeaderCap, kBodyCap);
    HttpRequest request;
    size_t consumed = 0;
    ASSERT_EQ(parser.parse(text, request, consumed), ParseStatus::Complete);
    EXPECT_EQ(request.path, "/a");
    const std::string rest = text.substr(consumed);
    ASSERT_EQ(parser.parse(rest, request, consumed), ParseStatus::Complete);
    EXPECT_EQ(request.path, "/b");
    EXPECT_EQ(request.body, "hi");
    EXPECT_EQ(request.minorVersion, 0);
    EXPECT_EQ(consumed, rest.size());
}

TEST(RequestParser, RefusesWhatItCannotServe) {
    struct Case {
        std::string text;
        ParseStatus status;
    };
    const Case cases[] = {
        {"GARBAGE\r\n", ParseStatus::BadRequest},  // reported before the head ends
        {"GET / HTTP/1.1 extra\r\n\r\n", ParseStatus::BadRequest},
        {"GET  / HTTP/1.1\r\n\r\n", ParseStatus::BadRequest},
        {"GET relative HTTP/1.1\r\n\r\n", ParseStatus::BadRequest},
        {"G(T / HTTP/1.1\r\n\r\n", ParseStatus::BadRequest},
        {"GET / FTP/1.1\r\n\r\n", ParseStatus::BadRequest},
        {"GET / HTTP/3.0\r\n\r\n", ParseStatus::UnsupportedVersion},
        {"GET / HTTP/1.1\r\n folded: no\r\n\r\n", ParseStatus::BadRequest},
        {"GET / HTTP/1.1\r\nName : v\r\n\r\n", ParseStatus::BadRequest},
        {"GET / HTTP/1.1\r\nA: b\x01\r\n\r\n", ParseStatus::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", ParseStatus::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
         ParseStatus::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n",
         ParseStatus::BadRequest},
        {"POST / HTTP/1.1\r\nContent-Length: 65\r\n\r\n", ParseStatus::BodyTooLarge},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", ParseStatus::NotImplemented},
        {"GET / HTTP/1.1\r\nX: " + std::string(kHeaderCap, 'a') + "\r\n\r\n",
         ParseStatus::HeaderTooLarge},
        // Still unfinished, but already over the cap: no need to wait for the end.
        {"GET / HTTP/1.1\r\nX: " + std::string(kHeaderCap, 'a'), ParseStatus::HeaderTooLarge},
        {"GET /" + std::string(kHeaderCap, 'a'), ParseStatus::HeaderTooLarge},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseAll(c.text).status, c.status) << c.text.substr(0, 40);
    EXPECT_EQ(statusFor(ParseStatus::HeaderTooLarge), 431);
    EXPECT_EQ(statusFor(ParseStatus::BadRequest), 400);
}

TEST(RequestParser, EmptyLinesBeforeARequestCountTowardsTheHeaderCap) {
    std::string lines;
    for (size_t i = 0; i <= kHeaderCap / 2; ++i) lines += "\r\n";
    EXPECT_EQ(parseAll(lines).status, ParseStatus::HeaderTooLarge);
    EXPECT_EQ(parseAll("\r\n\r\nGET / HTTP/1.1\r\n\r\n").status, ParseStatus::Complete);
}

TEST(RequestParser, BodyAtTheCapIsAccepted) {
    const Outcome out =
        parseAll("POST / HTTP/1.1\r\nContent-Length: 64\r\n\r\n" + std::string(kBodyCap, 'b'));
    ASSERT_EQ(out.status, ParseStatus::Complete);
    EXPECT_EQ(out.request.body.size(), kBodyCap);
}

TEST(HttpRequest, KeepAliveFollowsVersionAndConnectionHeader) {
    struct Case {
        const char* text;
        bool keepAlive;
    };
    const Case cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nConnection: keep-alive\r\n\r\n", true},
        {"GET / HTTP/1.1\r\nConnection: CLOSE\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nConnection: upgrade, close\r\n\r\n", false},
        {"GET / HTTP/1.1\r\nConnection: closed\r\n\r\n", true},
        {"GET / HTTP/1.0\r\n\r\n", false},
        {"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        const Outcome out = parseAll(c.text);
        ASSERT_EQ(out.status, ParseStatus::Complete) << c.text;
        EXPECT_EQ(out.request.keepAlive(), c.keepAlive) << c.text;
    }
}

}  // namespace
}  // namespace velk::demo
