#pragma once
// The test servers' end of one accepted TCP connection, plain or TLS.  The socket is
// non-blocking and every wait also watches the server's StopSignal, so nothing here
// can outlive a stop.  Used by one connection thread only.
#include <string>
#include <string_view>

#include "support/stop_signal.h"

struct ssl_st;
struct ssl_ctx_st;

namespace velk::test {

class PeerStream {
public:
    // Takes ownership of fd.
    PeerStream(int fd, const StopSignal& stop);
    ~PeerStream();
    PeerStream(const PeerStream&) = delete;
    PeerStream& operator=(const PeerStream&) = delete;

    // Server side of a TLS handshake; false when the client does not complete one.
    bool acceptTls(ssl_ctx_st* ctx, int timeoutMs);
    // The server name the client sent in its TLS hello ("" when none or plain).
    const std::string& serverName() const { return m_serverName; }

    static constexpr int kTimedOut = -2;  // also: stopped
    // Up to size bytes: the count, 0 at end of stream, -1 on error, kTimedOut.
    int receive(char* buffer, int size, int timeoutMs);
    // Exactly n bytes appended to out; false on end, error, time-out or stop.
    bool receiveExactly(std::string& out, size_t n, int timeoutMs);
    // False when the client has gone, the wait passed timeoutMs, or the server stops.
    bool sendAll(std::string_view bytes, int timeoutMs);
    // Orderly close: FIN after everything sent, then a short drain so the kernel
    // does not turn unread input into a reset.
    void closeOrderly();
    // Abortive close: SO_LINGER {1, 0}, so the client sees a reset.
    void reset();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const StopSignal& stopSignal() const { return m_stop; }

private:
    // Waits for fd readiness or the stop signal; true when fd is ready.
    bool waitFor(short events, int timeoutMs) const;
    void closeNow();

    int m_fd;
    ssl_st* m_ssl = nullptr;
    const StopSignal& m_stop;
    std::string m_serverName;
};

}  // namespace velk::test
