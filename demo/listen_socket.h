#pragma once
// The server's listening socket, bound to 127.0.0.1 only: the demo site is for
// local load tests and must not be reachable from the network.  Accepted sockets
// come out non-blocking and close-on-exec.  Owned by the server; accept() is called
// from its acceptor thread only.
#include <cstdint>

#include "unique_fd.h"

namespace velk::demo {

class ListenSocket {
public:
    // Port 0 picks a free ephemeral port.  Throws std::system_error when the port
    // cannot be bound.
    explicit ListenSocket(uint16_t port, int backlog = 1024);

    int fd() const { return m_fd.get(); }
    uint16_t port() const { return m_port; }
    // One waiting connection, or an invalid handle with errno set (EAGAIN: none).
    UniqueFd accept();

private:
    UniqueFd m_fd;
    uint16_t m_port = 0;
};

}  // namespace velk::demo
