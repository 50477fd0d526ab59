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
// an aborted run never waits for a slow peer.  On a thread, sockets carry a receive
// and send time-out of that slice for this; a call that runs out of its slice tries
// again until its own time-out passes.
//
// The bytes go through a stack of transports (transport.h): the plain socket, with
// TLS above it when secure; startTls() puts TLS over a tunnel a proxy handshake
// has made.  The connection talks only to the top of the stack and keeps the
// read-ahead, the waits and the bandwidth pacing.
//
// How it waits is chosen once when the stream opens (socket_waiter.h): on a task
// on an event loop (see loop/task_wait.h) the socket is non-blocking and every wait
// parks the task on its loop, with the time-out from the loop's timers, and the
// read-ahead comes from a per-thread pool and goes back once read empty
// (read_ahead.h); on a thread of its own the socket blocks in time-out slices.
// What reads and writes do (bounded waits, pacing, reading ahead) is fixed then
// too, in one IoPolicy, and changes only when a setter changes what it rests on.
//
// Proxy handshakes use the same read() and write(), under a policy of their own
// for their length (beginProxyHandshake()).
//
// Results follow one rule: a Status, or for calls that move bytes a StatusOr of the
// count.  kClosed is the end of the stream, kTimeout a wait that ran out, kAborted
// the run's abort, kNetwork any other failure (lastSocketError() holds its errno for
// the user's log); a message only where the reason is more than the errno.  Success
// carries no message and allocates nothing.  A Connection belongs to one session
// thread and is not safe for concurrent use.  It owns its stack of transports; the TLS context is
// shared process-wide and only borrowed.
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"
#include "base/status_or.h"
#include "net/ipv4_resolver.h"
#include "net/read_ahead.h"
#include "net/readiness.h"
#include "net/socket_waiter.h"
#include "net/transport.h"

struct ssl_ctx_st;

namespace velk::net {

class Connection {
public:
    // Read-ahead refill under a bandwidth limit, and without one.
    static constexpr int kReadAheadSize = 256;
    static constexpr int kFastReadAheadSize = ReadAhead::kCapacity;

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Stores the timeout and security; when secure takes the shared TLS context for
    // sslVersion; resolves host (IPv4).  kInvalid with a line for the user's log
    // when the TLS context is refused or the port is out of range; kNetwork without
    // a message when the name does not resolve.  Does not connect.
    Status init(const std::string& host, int port, bool secure, int sslVersion, int timeoutSeconds);
    // Closes any current socket, connects within the timeout, sets SO_LINGER {1, 0} so
    // that closing resets at once, and runs the TLS handshake when secure.
    // kTimeout or kAborted when the wait for either ended so, else kNetwork.
    Status connect();
    // Takes over an already connected plain stream socket (the far end of a
    // socketpair, a socket passed in by a host) as if connect() had made it.
    Status attach(int fd, int timeoutSeconds);
    // Puts TLS over the open plain stream (a tunnel through a proxy) and runs the
    // handshake within the timeout, serverName going out as SNI.  kInvalid with a
    // line for the user's log when the TLS context for sslVersion is refused, or the
    // handshake's failure as for connect(); the connection is then closed.
    Status startTls(int sslVersion, const std::string& serverName);
    // TLS close_notify when TLS is on, then closes the socket; unread read-ahead bytes
    // belonged to that stream and are dropped.
    void close();
    // Lets go of the TLS context (shared, so nothing is freed).
    void releaseTls();

    // kOk at once when read-ahead or TLS bytes are waiting or nowait is set;
    // otherwise waits up to the timeout: kOk ready, kTimeout, kAborted, or kNetwork
    // (an error, or not open).  A wait that would end at once (the last one said
    // ready and nothing has been read since) is not made again.
    Status waitReadable();
    // kOk at once when nowait is set; otherwise as waitReadable, for writing.
    Status waitWritable();
    // True when an idle plain connection has been closed by its peer (a kept-alive
    // connection the server dropped meanwhile).  Never waits.
    bool peerHasClosed() const;
    // True when a read would find bytes (or the end of the stream) now: read-ahead
    // or TLS bytes are waiting, or the socket says readable.  Never waits.
    bool hasInputNow() const;
    // For a kept-alive connection between exchanges: waitWritable() ok and not
    // peerHasClosed(), answered by a single poll when the socket is writable and
    // has nothing to read.
    bool stillUsable();

    // Serves read-ahead bytes first, else one receive of at most size bytes, then
    // the bandwidth pause (without a limit, the receive refills the read-ahead
    // and is served from there).  The count (0 only when size is), kClosed at the
    // end of the stream.
    StatusOr<int> read(void* buffer, int size);
    // One send of length bytes (never raises SIGPIPE), then the bandwidth pause.
    // The count sent (0 only when length is).
    StatusOr<int> write(const void* data, int length);
    // One line including its "\n", NUL-terminated; a line longer than capacity - 1
    // comes back cut at that length.  Returns the characters stored, or the failure
    // (kClosed when the stream ended) that came first.  Each refill of the
    // read-ahead waits for readiness first (unless nowait), so a peer that stops
    // mid-line cannot hold the user.
    StatusOr<int> readLine(char* buffer, int capacity);
    // The bytes waiting in the read-ahead, for a caller that takes them in place
    // instead of through read(); consume(n) then drops the first n of them.
    std::string_view buffered() const { return m_readAhead.bytes(); }
    // For callers that take bytes in place: when the read-ahead is empty, refills it
    // with one receive (as read() would receive).  The bytes now waiting, or
    // kClosed at the end of the stream.
    StatusOr<int> fillReadAhead();
    void consume(int n) {
        m_readAhead.skip(n);
        m_readAhead.releaseIfEmpty();
    }

    void setNoWait(bool noWait);
    // The user's view of the run's abort (null: none), asked by every wait; it
    // must outlive the connection's use.
    void setAbortWatch(const AbortWatch* abort) { m_abort = abort; }
    const AbortWatch* abortWatch() const { return m_abort; }
    // Bytes per second; 0 is unlimited.
    void setSpeedLimit(int32_t bytesPerSecond);
    // Whether later TLS handshakes offer HTTP/2 by ALPN (off: no ALPN at all).
    void setOfferHttp2(bool offer) { m_offerHttp2 = offer; }
    bool offersHttp2() const { return m_offerHttp2; }
    // The protocol the open stream's TLS negotiated by ALPN ("" when none, or plain).
    std::string_view negotiatedProtocol() const {
        return m_stack ? m_stack->negotiatedProtocol() : std::string_view();
    }
    // Counts the streams this connection has opened (connect, attach, startTls):
    // a protocol session kept over it belongs to one of them only.
    uint64_t openCount() const { return m_openCount; }

    // From here to endProxyHandshake() a proxy handshake runs on the fresh stream:
    // read() takes no more than it asks (no read-ahead, so no byte of the tunnel
    // behind the reply is taken), nothing is paced, and every read and write is
    // bounded by the timeout even under nowait, so a silent proxy cannot hold the
    // user.  End it before the stream carries anything else.
    void beginProxyHandshake();
    void endProxyHandshake();

    bool isOpen() const { return m_stack != nullptr; }
    // Whether init asked for TLS to the host itself.
    bool isSecure() const { return m_secure; }
    // Whether the open stream carries TLS (to the host, or through a tunnel).
    bool carriesTls() const { return isOpen() && !m_plain; }
    // The socket's descriptor, -1 when not open (for the loop's readiness times).
    int descriptor() const { return isOpen() ? m_stack->fd() : -1; }
    bool isReusable() const { return m_reusable; }
    void setReusable(bool reusable) { m_reusable = reusable; }
    bool noWait() const { return m_noWait; }
    int32_t speedLimit() const { return m_bytesPerSecond; }
    int timeoutSeconds() const { return m_timeout; }
    // The host init was given; sent as the TLS server name.
    const std::string& host() const { return m_host; }
    // errno of the last failed socket operation, for the user's log.
    int lastSocketError() const { return m_lastSocketError; }
    // A caller that saw the run stopped between waits says so, as a cancelled
    // wait would.
    void noteAborted() { m_lastSocketError = ECANCELED; }
    // Ends every timed wait by tickMillis at the latest (INT64_MAX: the timeout
    // alone bounds each wait).  For a protocol whose stream carries more than the
    // answer (HTTP/2 PINGs): the time-out then counts from the answer's progress.
    void capWaits(int64_t tickMillis) { m_waitCap = tickMillis; }

private:
    // What reads and writes do on the open stream, worked out when it opens and
    // whenever a setter changes what it rests on, not on every call.
    struct IoPolicy {
        bool bounded = false;     // waits end at the timeout (none under nowait)
        bool paced = false;       // the bandwidth pause follows each receive and send
        bool readsAhead = false;  // read() refills the read-ahead and serves from it
        int refillSize = kFastReadAheadSize;
        // A readiness wait becomes the receive itself (waitReadable) or is left to
        // the send (waitWritable): a plain stream without nowait, limit or zero
        // timeout, on a socket whose calls wait themselves.
        bool waitInCall = false;
    };

    // Sets the socket's way of waiting and the policy for a new stack; kNetwork
    // (socket closed, m_lastSocketError set) when the system refuses.
    Status opened(std::unique_ptr<Transport> stack);
    void choosePolicy();
    // One transport call repeated while it would block and limit allows; errors
    // (and the reason a limit stopped it) go to m_lastSocketError.
    template <class Call>
    int transfer(Call call, const WaitLimit& limit);
    // Runs the TLS handshake over lower within the timeout; the new top, or why
    // there is none.
    StatusOr<std::unique_ptr<Transport>> handshakeTls(std::unique_ptr<Transport> lower,
                                                      ssl_ctx_st* context,
                                                      const std::string& serverName);
    // Network read plus bandwidth pause: a transport's count (0 at the end, -1).
    int receive(void* buffer, int size);
    // Refills the empty read-ahead with one receive; its result, as receive's.
    int refillReadAhead();
    // A count from receive() or transfer() as the callers see it: kClosed for 0,
    // and for -1 the failure m_lastSocketError names.
    StatusOr<int> counted(int n) const;
    // The status of a failed call whose errno is in m_lastSocketError.
    Status socketFailure() const;
    // A readiness wait within the timeout.
    Status waitSocket(Readiness what);
    // The receive that a readiness wait on an empty read-ahead becomes.
    Status waitByReceiving();
    // On a loop: gives back an empty read-ahead and parks until the loop says the
    // socket is ready for what, the deadline or the abort.
    StatusCode park(Readiness what, int64_t deadlineMillis);
    // A wait's ending as the callers see it, the reason of a failure (but a
    // time-out) noted in m_lastSocketError.
    Status readinessResult(StatusCode waited);
    void forgetReadiness();
    void noteRead();
    void noteWrite();
    void applySpeedLimit(int bytesMoved, int64_t startedMicros) const;
    // The limit for a blocking call starting now: the timeout (when bounded) and
    // the abort flag.
    WaitLimit limitFromNow() const;
    // The end of a timed wait starting now: the timeout, or the cap when sooner.
    int64_t waitDeadline() const;

    // Where to connect and how.
    int m_timeout = 0;
    int64_t m_waitCap = INT64_MAX;
    const AbortWatch* m_abort = nullptr;
    bool m_reusable = false;
    bool m_secure = false;
    ssl_ctx_st* m_tlsContext = nullptr;  // shared, borrowed
    std::string m_host;
    SocketAddress m_address;  // port included
    bool m_noWait = false;
    int32_t m_bytesPerSecond = 0;
    bool m_offerHttp2 = false;

    // The open stream.
    std::unique_ptr<Transport> m_stack;  // the top; null while closed
    uint64_t m_openCount = 0;
    bool m_plain = true;  // the top passes bytes as they are
    SocketWaiter m_waiter;
    IoPolicy m_policy;
    ReadAhead m_readAhead;
    // A readiness wait said ready and no I/O that could change that has happened
    // since, so the same wait would return at once.
    bool m_knownReadable = false;
    bool m_knownWritable = false;
    // A receive made by a wait found the end of the stream (m_pendingErrno 0) or
    // an error (its errno): the next receive reports it.
    bool m_hasPendingEnd = false;
    int m_pendingErrno = 0;
    // The last receive took everything there was (it returned less than asked).
    bool m_drained = false;
    // A request went out and no wait for its answer has been made yet.
    bool m_sentSinceReceive = false;

    int m_lastSocketError = 0;
};

}  // namespace velk::net
