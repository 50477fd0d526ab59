#pragma once
// The bottom of a connection's stack: one connected TCP socket (IPv4 or IPv6), owned and
// closed with the transport.  Reads are one recv, writes one send with
// MSG_NOSIGNAL; a receive or send that ends with EAGAIN (a non-blocking socket,
// or a blocking one whose time-out slice passed) gives kWouldBlock, and one cut
// short by a signal is repeated.  Not safe for concurrent use.
#include <cstdint>
#include <memory>

#include "net/abort_watch.h"
#include "net/ipv4_resolver.h"
#include "net/socket_handle.h"
#include "net/transport.h"

namespace velk::net {

class PlainSocketTransport final : public Transport {
public:
    explicit PlainSocketTransport(SocketHandle socket) : m_socket(std::move(socket)) {}

    // Connects a new socket to address:port (both in network byte order) within
    // timeoutMillis, looking at abort while waiting, and sets SO_LINGER {1, 0} so
    // that closing resets at once, and TCP_NODELAY.  The socket is left non-blocking.  nullptr on
    // failure with the reason in error.
    static std::unique_ptr<PlainSocketTransport> connect(uint32_t address, uint16_t port,
                                                         int timeoutMillis, const AbortWatch* abort,
                                                         int& error);
    // The same to an address of either family.
    static std::unique_ptr<PlainSocketTransport> connect(const SocketAddress& to, int timeoutMillis,
                                                         const AbortWatch* abort, int& error);

    int read(void* buffer, int size) override;
    int write(const void* data, int length) override;
    Readiness wants() const override { return m_wants; }
    bool isPlain() const override { return true; }
    int fd() const override { return m_socket.get(); }

private:
    SocketHandle m_socket;
    Readiness m_wants = Readiness::kRead;
};

// Sends each write at once (TCP_NODELAY); false when the system refuses (not TCP).
bool setNoDelay(int fd);
// Makes fd blocking or not; false when the system refuses.
bool setSocketBlocking(int fd, bool blocking);
// Gives fd's blocking receives and sends a time-out of millis (0: none), after
// which they fail with EAGAIN; false when the system refuses.
bool setSliceTimeouts(int fd, int millis);

}  // namespace velk::net
