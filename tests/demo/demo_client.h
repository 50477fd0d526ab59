#pragma once
// A tiny blocking HTTP client for the demo site tests: one connection to
// 127.0.0.1, raw bytes out, one Content-Length framed response in.  Every wait is
// bounded (kWait), so a server that hangs fails the test instead of stalling it.
// Not safe for concurrent use; each test thread makes its own.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velk::demo::test {

struct ClientResponse {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // names lower-cased
    std::string body;

    // The first header of that lower-case name, or empty.
    std::string header(std::string_view lowerName) const;
    int headerCount(std::string_view lowerName) const;
};

class DemoClient {
public:
    static constexpr std::chrono::seconds kWait{10};

    explicit DemoClient(uint16_t port);
    ~DemoClient();
    DemoClient(const DemoClient&) = delete;
    DemoClient& operator=(const DemoClient&) = delete;

    // False when the server reset or closed the connection first.
    bool send(std::string_view bytes);
    // One response; nullopt when the connection ends or kWait passes first.  withBody
    // false reads the head only, as for an answer to HEAD.
    std::optional<ClientResponse> read(bool withBody = true);
    // send() then read().
    std::optional<ClientResponse> request(std::string_view bytes);
    // True when the server closes (or resets) the connection within kWait.
    bool closedByServer();

private:
    bool fill();  // reads more into m_buffer; false on close, error or time-out

    int m_fd = -1;
    std::string m_buffer;
    std::chrono::steady_clock::time_point m_deadline;
};

// "GET <target> HTTP/1.1" with Host and the extra header lines (each ending in CRLF).
std::string getRequest(std::string_view target, std::string_view extraHeaders = "");
// A form POST with Content-Type and Content-Length.
std::string postForm(std::string_view target, std::string_view body,
                     std::string_view extraHeaders = "");

}  // namespace velk::demo::test
