#pragma once
// One layer of a connection's byte stream: the plain socket at the bottom, TLS or
// a proxy tunnel's handshake above it.  Each layer moves bytes through the one
// below, so TLS over a CONNECT or SOCKS tunnel is TLS over the socket once the
// tunnel's handshake has run, and a connection talks only to the top of its stack.
//
// Contract: no call waits on its own.  A call that cannot go on until the socket
// is ready returns kWouldBlock, and wants() then says for what; the caller waits
// for that readiness on fd() (or, on a blocking socket whose receive and send
// time-outs are short slices, simply calls again) and repeats the call.  So the
// same layers serve the blocking waits of Connection and a later event loop.
// Other results: a count of bytes moved, 0 at the end of the stream (reads), -1 on
// failure with errno set.
//
// A stack belongs to one connection and is not safe for concurrent use.
#include <string_view>

#include "base/status.h"
#include "net/abort_watch.h"
#include "net/readiness.h"

namespace velk::net {

// A call that has to wait for the readiness that wants() names: the transports'
// form of StatusCode::kWouldBlock, an int beside their byte counts so that the
// per-call result stays one register.
inline constexpr int kWouldBlock = -2;

class Transport {
public:
    virtual ~Transport() = default;

    // At most size bytes: the count, 0 at the end of the stream, -1, kWouldBlock.
    virtual int read(void* buffer, int size) = 0;
    // At most length bytes: the count, -1 (a peer that has gone gives -1, never
    // SIGPIPE), kWouldBlock.
    virtual int write(const void* data, int length) = 0;
    // Takes the next step of this layer's set-up (the TLS handshake): 0 done, -1
    // failed, kWouldBlock.  Layers without a set-up of their own are done at once.
    virtual int handshake() { return 0; }
    // After kWouldBlock: the readiness to wait for.
    virtual Readiness wants() const = 0;
    // True when a read would not have to wait for the socket (bytes decrypted and
    // buffered, or a record half read).
    virtual bool hasBufferedInput() const { return false; }
    // True when bytes pass as they are: one read is one receive, one write one send,
    // and a peek at the socket sees the stream.  Layers that transform bytes may
    // also read while writing and write while reading.
    virtual bool isPlain() const { return false; }
    // Ends this layer's part in an orderly way (TLS close_notify) without waiting;
    // the socket itself closes when the stack is dropped.
    virtual void shutdown() {}
    // The socket under the stack, for readiness waits.
    virtual int fd() const = 0;
    // The application protocol the peer chose during the set-up (TLS ALPN: "h2",
    // "http/1.1"), or "" when none was negotiated.
    virtual std::string_view negotiatedProtocol() const { return {}; }
};

// Runs t's handshake to its end, waiting on t.fd() for what it wants (parking the
// calling task, on an event loop), within timeoutMillis and until abort says stop:
// kOk, kTimeout, kAborted, or kNetwork when the handshake or a wait failed (errno
// holds why, when the system said).  For callers that may block.
StatusCode finishHandshake(Transport& t, int timeoutMillis, const AbortWatch* abort);

}  // namespace velk::net
