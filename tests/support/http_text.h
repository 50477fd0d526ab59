#pragma once
// Builders for the response bytes tests script, so that a test reads as the exact
// text its server sends.
#include <string>
#include <string_view>
#include <vector>

namespace velk::test {

// "<version> <status> <reason>\r\nContent-Length: n\r\n<extraHeaders>\r\n<body>".
// extraHeaders is raw text, each line ending in "\r\n".
std::string httpResponse(int status, std::string_view body, std::string_view extraHeaders = "",
                         std::string_view version = "HTTP/1.1");

// A response head with "Transfer-Encoding: chunked" followed by the chunks and the
// final "0\r\n\r\n".
std::string chunkedResponse(int status, const std::vector<std::string>& chunks,
                            std::string_view extraHeaders = "");

// The reason phrase the builders use ("OK", "Not Found", ... or "Status").
std::string_view reasonPhrase(int status);

}  // namespace velk::test
