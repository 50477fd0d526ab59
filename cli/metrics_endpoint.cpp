#include "cli/metrics_endpoint.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/runner/metrics_exposition.h"

namespace velk::cli {
namespace {

using Clock = std::chrono::steady_clock;

bool isLoopback(const sockaddr* a) {
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) {
        const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        // ::ffff:127.x.x.x
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Sends all of text before the deadline; false when the peer went or is too slow.
bool sendAll(int fd, std::string_view text, Clock::time_point deadline) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            text.remove_prefix(size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

std::string response(int status, const char* reason, const std::string& body, bool head,
                     const char* type = "text/plain; charset=utf-8", const char* extra = "") {
    std::string r = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                    "\r\nContent-Type: " + type +
                    "\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n" + extra + "\r\n";
    return head ? r : r + body;
}

}  // namespace

StatusOr<MetricsAddress> parseMetricsAddress(const std::string& text) {
    const size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
    const std::string port = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        host.clear();  // an IPv6 address needs its brackets
    char* end = nullptr;
    const long p = port.empty() ? -1 : std::strtol(port.c_str(), &end, 10);
    if (host.empty() || port.empty() || *end != '\0' || p < 0 || p > 65535)
        return {StatusCode::kInvalid, "--metrics " + text +
                                          ": expected ADDRESS:PORT, as in --metrics "
                                          "127.0.0.1:9464 or --metrics [::1]:9464"};
    return MetricsAddress{host, uint16_t(p)};
}

MetricsEndpoint::~MetricsEndpoint() {
    if (m_thread.joinable()) {
        const char stop = 's';
        while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int fd : {m_listen, m_wake[0], m_wake[1]})
        if (fd >= 0) ::close(fd);
}

Status MetricsEndpoint::start(const MetricsAddress& address, bool allowPublic) {
    const std::string where = "--metrics " + address.host + ":" + std::to_string(address.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | (address.host == "localhost" ? 0 : AI_NUMERICHOST);
    addrinfo* found = nullptr;
    const int looked =
        ::getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (looked != 0 || !found)
        return {StatusCode::kInvalid,
                where + ": not an address to listen on (" + ::gai_strerror(looked) + ")"};
    const addrinfo* a = found;
    if (!isLoopback(a->ai_addr) && !allowPublic) {
        ::freeaddrinfo(found);
        return {StatusCode::kInvalid,
                where +
                    ": not a loopback address; the figures name your requests and servers, so "
                    "add --metrics-public to serve them to other machines"};
    }
    m_listen = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int one = 1;
    bool ok = m_listen >= 0 &&
              ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
              ::bind(m_listen, a->ai_addr, a->ai_addrlen) == 0 && ::listen(m_listen, 16) == 0;
    std::string error;
    if (!ok) error = where + ": cannot listen: " + std::strerror(errno);
    ::freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (ok && ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = where + ": cannot listen: " + std::strerror(errno);
        ok = false;
    }
    if (ok && ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = where + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) return {StatusCode::kNetwork, std::move(error)};
    char text[INET6_ADDRSTRLEN] = "";
    uint16_t port = 0;
    if (bound.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&bound);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
        m_url = "http://[" + std::string(text) + "]:" + std::to_string(port) + "/metrics";
    } else {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&bound);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
        m_url = "http://" + std::string(text) + ":" + std::to_string(port) + "/metrics";
    }
    m_thread = std::thread([this] { serve(); });
    return Status::ok();
}

void MetricsEndpoint::watch(TestSet* set, int32_t users) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = set;
    m_users = users;
}

void MetricsEndpoint::finish() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_set) return;
    m_final = velk::runner::metricsExposition(velk::runner::readMetrics(m_set, false, m_users));
    m_set = nullptr;
}

std::string MetricsEndpoint::body() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_set)
        return velk::runner::metricsExposition(velk::runner::readMetrics(m_set, true, m_users));
    if (!m_final.empty()) return m_final;
    // Before the first run starts: the run's gauges, nothing counted yet.
    return velk::runner::metricsExposition(velk::runner::MetricsReading{});
}

void MetricsEndpoint::serve() {
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        if (fds[0].revents == 0) continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            // Out of descriptors the connection stays queued and poll() returns at
            // once: wait a little rather than spin.
            if (errno == EMFILE || errno == ENFILE) ::poll(nullptr, 0, 100);
            continue;  // or the client went
        }
        answer(fd);
        ::close(fd);
    }
}

void MetricsEndpoint::answer(int fd) {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(kConnectionDeadlineMs);
    std::string head;
    char chunk[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() >= kMaxHead) {
            sendAll(
                fd,
                response(431, "Request Header Fields Too Large", "request head too large\n", false),
                deadline);
            return;
        }
        const ssize_t n = ::recv(fd, chunk, std::min(sizeof chunk, kMaxHead - head.size()), 0);
        if (n > 0) {
            head.append(chunk, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLIN, 0};
            if (remainingMs(deadline) > 0 && ::poll(&p, 1, remainingMs(deadline)) > 0) continue;
        }
        return;  // closed, failed or too slow: nothing to answer
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    const size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
    if (sp1 == std::string::npos || sp2 <= sp1 || !line.substr(sp2 + 1).starts_with("HTTP/1.")) {
        sendAll(fd, response(400, "Bad Request", "not an HTTP/1.x request\n", false), deadline);
        return;
    }
    const std::string method = line.substr(0, sp1), target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly) {
        sendAll(fd,
                response(405, "Method Not Allowed", "only GET\n", false,
                         "text/plain; charset=utf-8", "Allow: GET, HEAD\r\n"),
                deadline);
        return;
    }
    if (target != "/metrics" && !target.starts_with("/metrics?")) {
        sendAll(fd, response(404, "Not Found", "the figures are at /metrics\n", headOnly),
                deadline);
        return;
    }
    const std::string text = body();
    sendAll(fd, response(200, "OK", text, headOnly, velk::runner::kMetricsContentType), deadline);
}

}  // namespace velk::cli
