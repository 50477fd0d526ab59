#pragma once
// One TLS client session over a connected socket, owning its SSL object (the socket
// stays with the caller).  Belongs to one connection; not safe for concurrent use.
#include <memory>
#include <string>

#include "net/readiness.h"

struct ssl_st;
struct ssl_ctx_st;

namespace velk::net {

class TlsSession {
public:
    // Runs the client handshake on fd, which must be non-blocking for the call and
    // may be made blocking afterwards.  serverName goes out as SNI unless it is empty.
    // Gives up after timeoutMillis or once abort is set.  nullptr when the handshake
    // fails.
    static std::unique_ptr<TlsSession> handshake(ssl_ctx_st* ctx, int fd,
                                                 const std::string& serverName, int timeoutMillis,
                                                 const AbortWatch* abort = nullptr);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // At most size bytes: the count, 0 at the end of the stream, -1 on error.  A
    // socket time-out (a slice of the wait) is retried until limit says stop; errno
    // then holds its reason.
    int read(void* buffer, int size, const WaitLimit& limit);
    // The count written, or -1 (a peer that has gone gives -1, never SIGPIPE);
    // socket time-outs as for read.
    int write(const void* data, int length, const WaitLimit& limit);
    // True when a read would not have to wait for the socket: decrypted bytes are
    // buffered, or the session stopped in the middle of reading a record.
    bool hasBufferedInput() const;
    // Sends close_notify; does not wait for the peer's.
    void shutdown();

private:
    explicit TlsSession(ssl_st* ssl) : m_ssl(ssl) {}
    ssl_st* m_ssl;
};

}  // namespace velk::net
