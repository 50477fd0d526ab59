// The status line is read as sscanf("HTTP/1.%d %d") reads it: the same count and
// the same fields, for well-formed, odd and broken lines alike.
#include "http/status_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace velk {
namespace {

struct Scanned {
    int count;
    int minor;
    int status;
};

Scanned withSscanf(const std::string& text) {
    Scanned s{0, -7, -9};
    s.count = std::sscanf(text.c_str(), "HTTP/1.%d %d", &s.minor, &s.status);
    return s;
}

Scanned withScanStatusLine(const std::string& text) {
    Scanned s{0, -7, -9};
    s.count = scanStatusLine(text.c_str(), s.minor, s.status);
    return s;
}

void expectSame(const std::string& text) {
    const Scanned want = withSscanf(text);
    const Scanned got = withScanStatusLine(text);
    EXPECT_EQ(got.count, want.count) << '"' << text << '"';
    EXPECT_EQ(got.minor, want.minor) << '"' << text << '"';
    EXPECT_EQ(got.status, want.status) << '"' << text << '"';
}

TEST(StatusLine, ReadsVersionAndStatus) {
    int minor = -1, status = -1;
    EXPECT_EQ(scanStatusLine("HTTP/1.1 200 OK\r\n", minor, status), 2);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(scanStatusLine("HTTP/1.0 404 Not Found\r\n", minor, status), 2);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(status, 404);
}

TEST(StatusLine, MatchesSscanfOnOddAndBrokenLines) {
    const char* cases[] = {
        "",
        "H",
        "HTTP/1",
        "HTTP/1.",
        "HTTP/1. ",
        "HTTP/1.1",
        "HTTP/1.1 ",
        "HTTP/1.1\r\n",
        "HTTP/1.1 abc",
        "HTTP/1.1  \t 302 Found",
        "HTTP/1.1200",
        "HTTP/1.x 200",
        "http/1.1 200",
        "HTTP/2 200",
        "HTTP/1.-1 -5",
        "HTTP/1.+1 +200",
        "HTTP/1.- 200",
        "HTTP/1.1 -",
        "HTTP/1.1 +",
        "HTTP/1. \t\n\v\f\r9 8",
        "HTTP/1.1 00000000000000000000000000200",
        "HTTP/1.1 2147483647",
        "HTTP/1.1 2147483648",
        "HTTP/1.1 -2147483649",
        "HTTP/1.1 9223372036854775807",
        "HTTP/1.1 9223372036854775808",
        "HTTP/1.1 -9223372036854775808",
        "HTTP/1.1 -9223372036854775809",
        "HTTP/1.1 99999999999999999999999",
        "HTTP/1.4294967297 4294967496",
        " HTTP/1.1 200",
        "HTTP/1.1\x01"
        "200",
        "HTTP/1.1 \xa0"
        "200",
        "HTTP/1.0\r\n\r\n",
    };
    for (const char* text : cases) expectSame(text);
}

// Random lines near the format: a prefix cut anywhere, then blanks, signs and digits.
TEST(StatusLine, MatchesSscanfOnRandomLines) {
    std::mt19937 rng(20261208);
    const std::string alphabet = "0123456789  +-\t\r\nHTP/.x";
    for (int i = 0; i < 20000; ++i) {
        std::string text = std::string("HTTP/1.").substr(0, rng() % 8);
        const size_t length = rng() % 30;
        for (size_t k = 0; k < length; ++k) text += alphabet[rng() % alphabet.size()];
        expectSame(text);
    }
}

// A line handed over as a view ends where the view does, even when digits follow
// in the buffer (as the next header line may).
TEST(StatusLine, ViewEndsAtItsEndAsTheStringAtItsNul) {
    std::mt19937 rng(20261209);
    const std::string alphabet = "0123456789  +-\t\r\nHTP/.x";
    for (int i = 0; i < 5000; ++i) {
        std::string text = std::string("HTTP/1.").substr(0, rng() % 8);
        const size_t length = rng() % 30;
        for (size_t k = 0; k < length; ++k) text += alphabet[rng() % alphabet.size()];
        const Scanned want = withSscanf(text);
        const std::string buffer = text + " 123 456";
        Scanned got{0, -7, -9};
        got.count =
            scanStatusLine(std::string_view(buffer).substr(0, text.size()), got.minor, got.status);
        EXPECT_EQ(got.count, want.count) << '"' << text << '"';
        EXPECT_EQ(got.minor, want.minor) << '"' << text << '"';
        EXPECT_EQ(got.status, want.status) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace velk
