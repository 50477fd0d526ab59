#include "demo/demo_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace velk::demo::test {

namespace {

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::string ClientResponse::header(std::string_view lowerName) const {
    for (const auto& [name, value] : headers)
        if (name == lowerName) return value;
    return {};
}

int ClientResponse::headerCount(std::string_view lowerName) const {
    int count = 0;
    for (const auto& header : headers) count += header.first == lowerName;
    return count;
}

DemoClient::DemoClient(uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot connect to the demo site");
}

DemoClient::~DemoClient() {
    if (m_fd >= 0) ::close(m_fd);
}

bool DemoClient::send(std::string_view bytes) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!bytes.empty()) {
        pollfd p{m_fd, POLLOUT, 0};
        if (::poll(&p, 1, msLeft(deadline)) <= 0) return false;
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (n > 0) bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool DemoClient::fill() {
    if (msLeft(m_deadline) == 0) return false;
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, msLeft(m_deadline)) <= 0) return false;
    char chunk[16384];
    const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    m_buffer.append(chunk, static_cast<size_t>(n));
    return true;
}

std::optional<ClientResponse> DemoClient::read(bool withBody) {
    m_deadline = std::chrono::steady_clock::now() + kWait;
    size_t headEnd;
    while ((headEnd = m_buffer.find("\r\n\r\n")) == std::string::npos)
        if (!fill()) return std::nullopt;

    ClientResponse response;
    const std::string head = m_buffer.substr(0, headEnd + 2);
    size_t pos = head.find("\r\n");
    if (head.compare(0, 9, "HTTP/1.1 ") != 0) return std::nullopt;
    response.status = std::atoi(head.c_str() + 9);
    while (pos + 2 < head.size()) {
        const size_t end = head.find("\r\n", pos + 2);
        const std::string line = head.substr(pos + 2, end - pos - 2);
        const size_t colon = line.find(':');
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        response.headers.emplace_back(lower(line.substr(0, colon)), value);
        pos = end;
    }
    const size_t length =
        withBody ? std::strtoul(response.header("content-length").c_str(), nullptr, 10) : 0;
    while (m_buffer.size() < headEnd + 4 + length)
        if (!fill()) return std::nullopt;
    response.body = m_buffer.substr(headEnd + 4, length);
    m_buffer.erase(0, headEnd + 4 + length);
    return response;
}

std::optional<ClientResponse> DemoClient::request(std::string_view bytes) {
    if (!send(bytes)) return std::nullopt;
    return read();
}

bool DemoClient::closedByServer() {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    char chunk[4096];
    while (msLeft(deadline) > 0) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, msLeft(deadline)) <= 0) return false;
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) return true;
    }
    return false;
}

std::string getRequest(std::string_view target, std::string_view extraHeaders) {
    return "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
           std::string(extraHeaders) + "\r\n";
}

std::string postForm(std::string_view target, std::string_view body,
                     std::string_view extraHeaders) {
    return "POST " + std::string(target) +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + std::string(extraHeaders) + "\r\n" +
           std::string(body);
}

}  // namespace velk::demo::test
