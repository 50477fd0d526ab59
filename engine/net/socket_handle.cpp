#include "net/socket_handle.h"

#include <unistd.h>

#include "loop/event_loop.h"

namespace velk::net {

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void SocketHandle::reset(int fd) {
    if (m_fd >= 0) {
        // A loop that watched the descriptor must let go of it first, or a new
        // socket given the same number would never be seen.
        if (loop::EventLoop* loop = loop::EventLoop::current()) loop->forget(m_fd);
        ::close(m_fd);
    }
    m_fd = fd;
}

int SocketHandle::release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

}  // namespace velk::net
