#include "net/socket_handle.h"

#include <unistd.h>

namespace velk::net {

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void SocketHandle::reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

int SocketHandle::release() {
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

}  // namespace velk::net
