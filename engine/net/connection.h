#pragma once
// One virtual user's connection: a TCP stream to the web server or a proxy, optionally
// under TLS, with a read-ahead for reading header lines, readiness waits bounded by
// the timeout option, an optional bandwidth limit and an optional mode without
// readiness waits.
//
// Under a bandwidth limit the read-ahead is refilled 256 bytes at a time, so the
// limit paces every small receive.  Without one it takes whatever has arrived, up
// to 32 KiB, and read() serves body pieces from it too: a response then costs one
// receive instead of one per 256 bytes.  Callers see the same bytes in the same
// order either way; only how many one read() returns differs.
//
// Every wait and every blocking receive or send asks the user's AbortWatch (when
// one is set) at least every kAbortCheckMillis, and fails once it says aborted:
// an aborted run never waits for a slow peer.  Sockets carry a receive and send
// time-out of that slice for this; a call that runs out of its slice tries again
// until its own time-out passes.
//
// The bytes go through a stack of transports (transport.h): the plain socket, with
// TLS above it when secure; startTls() puts TLS over a tunnel a proxy handshake
// has made.  The connection talks only to the top of the stack and keeps the
// read-ahead, the waits and the bandwidth pacing.
//
// On a task on an event loop (see loop/task_wait.h) the socket is non-blocking and
// every wait parks the task on its loop, with the time-out from the loop's timers;
// the read-ahead then comes from a per-thread pool and goes back once read empty.
//
// Results follow one rule: 0 or a positive count is success, -1 failure (reads also
// give 0 at the end of the stream).  A Connection belongs to one session thread and is
// not safe for concurrent use.  It owns its stack of transports; the TLS context is
// shared process-wide and only borrowed.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/readiness.h"
#include "net/transport.h"

struct ssl_ctx_st;

namespace velk::loop {
class EventLoop;
}

namespace velk::net {

class Connection {
public:
    // Read-ahead refill under a bandwidth limit, and without one.
    static constexpr int kReadAheadSize = 256;
    static constexpr int kFastReadAheadSize = 32 * 1024;

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Stores the timeout and security; when secure takes the shared TLS context for
    // sslVersion; resolves host (IPv4).  -1 when the TLS context is refused or the
    // port is out of range (see lastError), or the name does not resolve.  Does not
    // connect.
    int init(const std::string& host, int port, bool secure, int sslVersion, int timeoutSeconds);
    // Closes any current socket, connects within the timeout, sets SO_LINGER {1, 0} so
    // that closing resets at once, and runs the TLS handshake when secure.
    int connect();
    // Takes over an already connected plain stream socket (the far end of a
    // socketpair, a socket passed in by a host) as if connect() had made it.
    int attach(int fd, int timeoutSeconds);
    // Puts TLS over the open plain stream (a tunnel through a proxy) and runs the
    // handshake within the timeout, serverName going out as SNI.  -1 when the TLS
    // context for sslVersion is refused (see lastError) or the handshake fails; the
    // connection is then closed.
    int startTls(int sslVersion, const std::string& serverName);
    // TLS close_notify when TLS is on, then closes the socket; unread read-ahead bytes
    // belonged to that stream and are dropped.
    void close();
    // Lets go of the TLS context (shared, so nothing is freed).
    void releaseTls();

    // 1 at once when read-ahead or TLS bytes are waiting or nowait is set; otherwise
    // waits up to the timeout: positive ready, 0 timed out, -1 error or not open.
    // A wait that would end at once (the last one said ready and nothing has been
    // read since) is not made again.
    int waitReadable();
    // 1 at once when nowait is set; otherwise as waitReadable, for writing.
    int waitWritable();
    // True when an idle plain connection has been closed by its peer (a kept-alive
    // connection the server dropped meanwhile).  Never waits.
    bool peerHasClosed() const;
    // For a kept-alive connection between exchanges: waitWritable() > 0 and not
    // peerHasClosed(), answered by a single poll when the socket is writable and
    // has nothing to read.
    bool stillUsable();

    // Serves read-ahead bytes first, else one receive of at most size bytes, then
    // the bandwidth pause (without a limit, the receive refills the read-ahead
    // and is served from there).  The count, 0 at the end of the stream, -1 on error.
    int read(void* buffer, int size);
    // One send of length bytes (never raises SIGPIPE), then the bandwidth pause.
    int write(const void* data, int length);
    // One line including its "\n", NUL-terminated; a line longer than capacity - 1
    // comes back cut at that length.  Returns the characters stored, or -1 when the
    // stream ends or fails first.  Each refill of the read-ahead waits for readiness
    // first (unless nowait), so a peer that stops mid-line cannot hold the user.
    int readLine(char* buffer, int capacity);
    // The bytes waiting in the read-ahead, for a caller that takes them in place
    // instead of through read(); consume(n) then drops the first n of them.
    std::string_view buffered() const {
        return {m_readAhead.get() + m_readAheadPos, size_t(m_readAheadCount - m_readAheadPos)};
    }
    void consume(int n) {
        m_readAheadPos += n;
        releaseEmptyReadAhead();
    }

    void setNoWait(bool noWait);
    // The user's view of the run's abort (null: none), asked by every wait; it
    // must outlive the connection's use.
    void setAbortWatch(const AbortWatch* abort) { m_abort = abort; }
    const AbortWatch* abortWatch() const { return m_abort; }
    // Bytes per second; 0 is unlimited.
    void setSpeedLimit(int32_t bytesPerSecond) { m_bytesPerSecond = bytesPerSecond; }

    // Proxy handshakes talk straight to the socket: no read-ahead, no bandwidth
    // pause, and every wait is bounded by the timeout even under nowait, so a silent
    // proxy cannot hold the user.  sendAllRaw returns length or -1; receiveRaw the
    // count, 0 at the end of the stream, -1 on error or time-out.
    int sendAllRaw(const void* data, int length);
    int receiveRaw(void* buffer, int size);

    bool isOpen() const { return m_open; }
    // Whether init asked for TLS to the host itself.
    bool isSecure() const { return m_secure; }
    // Whether the open stream carries TLS (to the host, or through a tunnel).
    bool carriesTls() const { return m_open && !m_plain; }
    bool isReusable() const { return m_reusable; }
    void setReusable(bool reusable) { m_reusable = reusable; }
    bool noWait() const { return m_noWait; }
    int32_t speedLimit() const { return m_bytesPerSecond; }
    int timeoutSeconds() const { return m_timeout; }
    // The host init was given; sent as the TLS server name.
    const std::string& host() const { return m_host; }
    // A line for the user's log saying why init last failed ("" when it did not or
    // the reason is only that the name did not resolve).
    const std::string& lastError() const { return m_lastError; }
    // errno of the last failed socket operation, for the user's log.
    int lastSocketError() const { return m_lastSocketError; }

private:
    // One transport call repeated while it would block and limit allows; errors
    // (and the reason a limit stopped it) go to m_lastSocketError.
    template <class Call>
    int transfer(Call call, const WaitLimit& limit);
    // Runs the TLS handshake over lower within the timeout; the new top or nullptr.
    std::unique_ptr<Transport> handshakeTls(std::unique_ptr<Transport> lower, ssl_ctx_st* context,
                                            const std::string& serverName);
    void opened(std::unique_ptr<Transport> stack);
    int receive(void* buffer, int size);  // network read plus bandwidth pause
    int serveReadAhead(void* buffer, int size);
    // Refills the empty read-ahead with one receive; its result.
    int refillReadAhead();
    int waitSocket(bool forWrite);
    void forgetReadiness();
    void noteRead();
    void noteWrite();
    void applySpeedLimit(int bytesMoved, int64_t startedMicros) const;
    // The read-ahead's storage, taken from the thread's pool when none is held.
    char* readAheadStorage();
    // On a loop, gives the read-ahead back to the pool once it is read empty.
    void releaseEmptyReadAhead();
    // On a loop: parks until the socket is ready for what, the deadline (a tick
    // count, INT64_MAX for none) passes or the run is aborted: 1, 0 or -1.
    int parkUntil(Readiness what, int64_t deadlineMillis);
    // Whether waits can be left to the socket's own timeouts (see above), and
    // setting those timeouts on the socket (once per socket).
    bool waitsInSocket() const;
    bool armSocketTimeouts();
    // The receive that a readiness wait on an empty read-ahead becomes.
    int waitByReceiving();
    // The limit for a blocking call starting now: the timeout (none under nowait)
    // and the abort flag.
    WaitLimit limitFromNow() const;

    int m_timeout = 0;
    const AbortWatch* m_abort = nullptr;
    bool m_reusable = false;
    bool m_secure = false;
    ssl_ctx_st* m_tlsContext = nullptr;  // shared, borrowed
    std::string m_host;
    uint32_t m_address = 0;              // network byte order
    uint16_t m_port = 0;                 // network byte order
    std::unique_ptr<Transport> m_stack;  // the top; null while closed
    int m_fd = -1;                       // the socket under the stack
    bool m_plain = true;                 // the top passes bytes as they are
    bool m_open = false;
    // kFastReadAheadSize bytes, made at the first connect; on a loop held only
    // while it has bytes to give (or a receive into it runs).
    std::unique_ptr<char[]> m_readAhead;
    bool m_holdReadAhead = false;
    // The loop of the task that opened the socket: its waits park there and the
    // socket stays non-blocking.  Null on a thread of its own.
    loop::EventLoop* m_loop = nullptr;
    int m_readAheadCount = 0;
    int m_readAheadPos = 0;
    // A readiness wait said ready and no I/O that could change that has happened
    // since, so the same wait would return at once.
    bool m_knownReadable = false;
    bool m_knownWritable = false;
    bool m_noWait = false;
    bool m_socketTimeoutsArmed = false;
    // A receive made by a wait found the end of the stream (m_pendingErrno 0) or
    // an error (its errno): the next receive reports it.
    bool m_hasPendingEnd = false;
    // The last receive took everything there was (it returned less than asked).
    bool m_drained = false;
    // A request went out and no wait for its answer has been made yet.
    bool m_sentSinceReceive = false;
    int m_pendingErrno = 0;
    int32_t m_bytesPerSecond = 0;
    std::string m_lastError;
    int m_lastSocketError = 0;
};

}  // namespace velk::net
