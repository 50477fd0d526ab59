#include "net/plain_socket_transport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

namespace velk::net {

bool setSocketBlocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

bool setSliceTimeouts(int fd, int millis) {
    timeval tv{};
    tv.tv_sec = millis / 1000;
    tv.tv_usec = (millis % 1000) * 1000;
    return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
           setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

bool setNoDelay(int fd) {
    // A request is written whole; the kernel's small-packet delay would only hold
    // its last piece back until the server acknowledged the first.
    const int on = 1;
    return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

std::unique_ptr<PlainSocketTransport> PlainSocketTransport::connect(uint32_t address, uint16_t port,
                                                                    int timeoutMillis,
                                                                    const AbortWatch* abort,
                                                                    int& error) {
    SocketAddress to;
    auto* sa = reinterpret_cast<sockaddr_in*>(&to.storage);
    sa->sin_family = AF_INET;
    sa->sin_port = port;
    sa->sin_addr.s_addr = address;
    to.length = sizeof(sockaddr_in);
    return connect(to, timeoutMillis, abort, error);
}

std::unique_ptr<PlainSocketTransport> PlainSocketTransport::connect(const SocketAddress& to,
                                                                    int timeoutMillis,
                                                                    const AbortWatch* abort,
                                                                    int& error) {
    SocketHandle socket(::socket(to.family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.valid()) {
        error = errno;
        return nullptr;
    }
    const int fd = socket.get();
    // Non-blocking while connecting, so the timeout bounds it instead of the
    // system's minutes-long default.
    if (!setSocketBlocking(fd, false)) {
        error = errno;
        return nullptr;
    }
    if (::connect(fd, to.get(), to.length) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return nullptr;
        }
        int ready = waitForSocket(fd, Readiness::kWrite, timeoutMillis, abort);
        if (ready <= 0) {
            error = ready == 0 ? ETIMEDOUT : errno;
            return nullptr;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            error = err != 0 ? err : errno;
            return nullptr;
        }
    }
    // Closing resets the connection at once instead of lingering in TIME_WAIT.
    linger off{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    setNoDelay(fd);
    return std::make_unique<PlainSocketTransport>(std::move(socket));
}

int PlainSocketTransport::read(void* buffer, int size) {
    ssize_t n;
    do {
        n = ::recv(m_socket.get(), buffer, size_t(size), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && isSliceEnd(errno)) {
        m_wants = Readiness::kRead;
        return kWouldBlock;
    }
    return int(n);
}

int PlainSocketTransport::write(const void* data, int length) {
    ssize_t n;
    do {
        n = ::send(m_socket.get(), data, size_t(length), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && isSliceEnd(errno)) {
        m_wants = Readiness::kWrite;
        return kWouldBlock;
    }
    return int(n);
}

}  // namespace velk::net
