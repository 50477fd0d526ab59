#include "support/many_connection_server.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_map>

namespace velk::test {
namespace {

constexpr char kAnswer[] =
    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Type: text/plain\r\n\r\nok";

}  // namespace

ManyConnectionServer::ManyConnectionServer() {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const bool ok = m_listenFd >= 0 && m_epoll >= 0 && m_stopFd >= 0 &&
                    bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    listen(m_listenFd, 65535) == 0 &&
                    getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_listenFd;
    const bool watched = ok && epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listenFd, &event) == 0;
    event.data.fd = m_stopFd;
    if (!watched || epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_stopFd, &event) != 0) {
        if (m_listenFd >= 0) close(m_listenFd);
        m_listenFd = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

ManyConnectionServer::~ManyConnectionServer() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_stopFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_listenFd >= 0) close(m_listenFd);
    if (m_stopFd >= 0) close(m_stopFd);
    if (m_epoll >= 0) close(m_epoll);
}

void ManyConnectionServer::serve() {
    std::unordered_map<int, std::string> heads;  // bytes of the request being read
    epoll_event events[256];
    for (;;) {
        const int count = epoll_wait(m_epoll, events, 256, -1);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) break;
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_stopFd) {
                for (auto& [open, unused] : heads) close(open);
                return;
            }
            if (fd == m_listenFd) {
                for (int taken = 0; taken < 1024; ++taken) {
                    const int peer =
                        accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (peer < 0) break;
                    epoll_event event{};
                    event.events = EPOLLIN | EPOLLRDHUP;
                    event.data.fd = peer;
                    if (epoll_ctl(m_epoll, EPOLL_CTL_ADD, peer, &event) != 0) {
                        close(peer);
                        continue;
                    }
                    heads[peer];
                    ++m_accepted;
                }
                continue;
            }
            std::string& head = heads[fd];
            char buffer[4096];
            bool drop = false;
            for (int reads = 0; reads < 64; ++reads) {
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    head.append(buffer, size_t(n));
                    continue;
                }
                drop = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
                break;
            }
            for (size_t end; !drop && (end = head.find("\r\n\r\n")) != std::string::npos;) {
                head.erase(0, end + 4);
                ++m_requests;
                // A small answer always fits a fresh socket's send buffer.
                drop = send(fd, kAnswer, sizeof kAnswer - 1, MSG_NOSIGNAL) !=
                       ssize_t(sizeof kAnswer - 1);
            }
            if (drop || head.size() > kMaxHead) {
                epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
                close(fd);
                heads.erase(fd);
            }
        }
    }
}

}  // namespace velk::test
