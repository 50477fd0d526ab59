#include "listen_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

namespace velk::demo {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

ListenSocket::ListenSocket(uint16_t port, int backlog)
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
    if (!m_fd.valid()) fail("socket");
    const int on = 1;
    // A restarted demo site can take its port back while old connections linger.
    if (::setsockopt(m_fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) fail("setsockopt");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        fail("bind");
    if (::listen(m_fd.get(), backlog) != 0) fail("listen");
    socklen_t len = sizeof addr;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        fail("getsockname");
    m_port = ntohs(addr.sin_port);
}

UniqueFd ListenSocket::accept() {
    return UniqueFd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

}  // namespace velk::demo
