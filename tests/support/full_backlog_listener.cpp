#include "support/full_backlog_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "support/loopback_listener.h"

namespace velk::test {

FullBacklogListener::FullBacklogListener() {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    // A backlog of 0 holds one pending connection; the filler takes it.
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::listen(m_listenFd, 0) != 0 ||
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        if (m_listenFd >= 0) ::close(m_listenFd);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(sa.sin_port);
    m_fillerFd = connectLoopback(m_port, 5000);
}

FullBacklogListener::~FullBacklogListener() {
    if (m_fillerFd >= 0) ::close(m_fillerFd);
    ::close(m_listenFd);
}

}  // namespace velk::test
