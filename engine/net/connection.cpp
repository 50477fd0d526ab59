#include "net/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "loop/task_wait.h"
#include "net/ipv4_resolver.h"
#include "net/plain_socket_transport.h"
#include "net/readiness.h"
#include "net/speed_limit.h"
#include "net/tls_client_context.h"
#include "net/tls_transport.h"
#include "platform/clock.h"

namespace velk::net {
namespace {

// Read-aheads that no connection of this thread's tasks holds at the moment.
// Tasks take one for a receive and give it back once it is read empty, so an
// idle user keeps none and a loop needs only as many as are being read from.
class ReadAheadPool {
public:
    std::unique_ptr<char[]> take() {
        if (m_free.empty()) return std::make_unique_for_overwrite<char[]>(Connection::kFastReadAheadSize);
        std::unique_ptr<char[]> buffer = std::move(m_free.back());
        m_free.pop_back();
        return buffer;
    }
    void give(std::unique_ptr<char[]> buffer) {
        if (m_free.size() < kKept) m_free.push_back(std::move(buffer));
    }

private:
    static constexpr size_t kKept = 64;
    std::vector<std::unique_ptr<char[]>> m_free;
};

thread_local ReadAheadPool t_readAheads;

}  // namespace

Connection::Connection() = default;

Connection::~Connection() {
    close();
}

int Connection::init(const std::string& host, int port, bool secure, int sslVersion,
                     int timeoutSeconds) {
    m_timeout = timeoutSeconds;
    m_secure = secure;
    m_host = host;
    m_lastError.clear();
    if (secure) {
        m_tlsContext = TlsClientContext::forVersion(sslVersion, m_lastError);
        if (m_tlsContext == nullptr) return -1;
    }
    // A port outside 0..65535 would silently become another port.
    if (port < 0 || port > 65535) {
        m_lastError = "Port " + std::to_string(port) + " is out of range.\r\n";
        return -1;
    }
    uint32_t address = 0;
    if (!lookupIPv4(host, address)) return -1;
    m_address = address;
    m_port = htons(uint16_t(port));
    return 0;
}

int Connection::connect() {
    close();
    int error = 0;
    std::unique_ptr<Transport> stack = PlainSocketTransport::connect(
        m_address, m_port, secondsToPollMillis(m_timeout), m_abort, error);
    if (!stack) {
        m_lastSocketError = error;
        return -1;
    }
    if (m_secure && !(stack = handshakeTls(std::move(stack), m_tlsContext, m_host))) return -1;
    // A task's socket stays non-blocking: its loop does the waiting.
    if (loop::taskLoop() == nullptr && !setSocketBlocking(stack->fd(), true)) {
        m_lastSocketError = errno;
        return -1;
    }
    opened(std::move(stack));
    // A fresh plain stream has an empty send buffer; a TLS handshake has just written.
    m_knownWritable = !m_secure;
    return 0;
}

int Connection::startTls(int sslVersion, const std::string& serverName) {
    if (!m_open || !m_plain) return -1;
    m_lastError.clear();
    ssl_ctx_st* context = TlsClientContext::forVersion(sslVersion, m_lastError);
    if (context == nullptr) {
        close();
        return -1;
    }
    // The handshake waits for readiness itself, on a non-blocking socket.
    std::unique_ptr<Transport> stack = std::move(m_stack);
    close();
    if (!setSocketBlocking(stack->fd(), false)) {
        m_lastSocketError = errno;
        return -1;
    }
    if (!(stack = handshakeTls(std::move(stack), context, serverName))) return -1;
    if (loop::taskLoop() == nullptr && !setSocketBlocking(stack->fd(), true)) {
        m_lastSocketError = errno;
        return -1;
    }
    opened(std::move(stack));
    return 0;
}

std::unique_ptr<Transport> Connection::handshakeTls(std::unique_ptr<Transport> lower,
                                                    ssl_ctx_st* context,
                                                    const std::string& serverName) {
    std::unique_ptr<Transport> tls = TlsTransport::over(std::move(lower), context, serverName);
    if (!tls || finishHandshake(*tls, secondsToPollMillis(m_timeout), m_abort) < 0) {
        m_lastSocketError = errno;
        return nullptr;
    }
    return tls;
}

void Connection::opened(std::unique_ptr<Transport> stack) {
    m_loop = loop::taskLoop();
    if (!m_readAhead && m_loop == nullptr)
        m_readAhead = std::make_unique_for_overwrite<char[]>(kFastReadAheadSize);
    m_plain = stack->isPlain();
    m_fd = stack->fd();
    m_stack = std::move(stack);
    m_open = true;
    if (m_loop == nullptr) armSocketTimeouts();
}

char* Connection::readAheadStorage() {
    if (!m_readAhead) m_readAhead = t_readAheads.take();
    return m_readAhead.get();
}

void Connection::releaseEmptyReadAhead() {
    if (m_loop != nullptr && m_readAhead && !m_holdReadAhead && m_readAheadPos >= m_readAheadCount) {
        m_readAheadPos = m_readAheadCount = 0;
        t_readAheads.give(std::move(m_readAhead));
    }
}

int Connection::parkUntil(Readiness what, int64_t deadlineMillis) {
    if (isAborted(m_abort)) {
        m_lastSocketError = ECANCELED;
        return -1;
    }
    releaseEmptyReadAhead();
    // Tick counts and the loop's clock both count from the same monotonic origin.
    const loop::Deadline deadline = deadlineMillis == INT64_MAX
                                        ? loop::kNoDeadline
                                        : loop::Deadline(std::chrono::milliseconds(deadlineMillis));
    const loop::WaitResult waited =
        what == Readiness::kRead ? m_loop->waitReadable(m_fd, deadline) : m_loop->waitWritable(m_fd, deadline);
    if (waited == loop::WaitResult::Ready) return 1;
    if (waited == loop::WaitResult::TimedOut) return 0;
    m_lastSocketError = ECANCELED;
    return -1;
}

int Connection::attach(int fd, int timeoutSeconds) {
    close();
    SocketHandle socket(fd);
    if (!socket.valid() || !setSocketBlocking(fd, loop::taskLoop() == nullptr)) return -1;
    m_timeout = timeoutSeconds;
    m_secure = false;
    opened(std::make_unique<PlainSocketTransport>(std::move(socket)));
    return 0;
}

void Connection::close() {
    if (m_stack && !m_plain) {
        // Never block here on a peer that stopped reading.
        setSocketBlocking(m_fd, false);
        m_stack->shutdown();
    }
    m_stack.reset();
    m_fd = -1;
    m_plain = true;
    m_open = false;
    m_readAheadCount = 0;
    m_readAheadPos = 0;
    m_socketTimeoutsArmed = false;
    m_hasPendingEnd = false;
    m_drained = false;
    m_sentSinceReceive = false;
    forgetReadiness();
    releaseEmptyReadAhead();
    m_loop = nullptr;
}

void Connection::setNoWait(bool noWait) {
    // Without waits a receive blocks as long as the peer takes, as it always has,
    // unless the run is aborted.
    m_noWait = noWait;
}

bool Connection::waitsInSocket() const {
    return m_open && m_plain && !m_noWait && m_bytesPerSecond == 0 && m_timeout > 0;
}

bool Connection::armSocketTimeouts() {
    m_socketTimeoutsArmed = setSliceTimeouts(m_fd, kAbortCheckMillis);
    // Else back to poll() waits on a socket without timeouts.
    if (!m_socketTimeoutsArmed) setSliceTimeouts(m_fd, 0);
    return m_socketTimeoutsArmed;
}

int Connection::waitByReceiving() {
    if (m_loop == nullptr && !m_socketTimeoutsArmed && !armSocketTimeouts()) return waitSocket(false);
    const WaitLimit limit{platform::tickMillis() + secondsToPollMillis(m_timeout), m_abort};
    m_readAheadPos = m_readAheadCount = 0;
    noteRead();
    // The first wait after a send, and the last receive took everything there
    // was (an end of stream included: the peek before reusing a connection saw
    // none), so a receive now would only say "nothing yet": wait first.  Any
    // byte or end that came since has raised the loop's edge.
    const bool answerDue = std::exchange(m_sentSinceReceive, false);
    if (m_loop != nullptr && m_drained && answerDue) {
        const int waited = parkUntil(Readiness::kRead, limit.deadlineMillis);
        if (waited <= 0) return waited;
    }
    for (;;) {
        const int n = m_stack->read(readAheadStorage(), kFastReadAheadSize);
        if (n > 0) {
            m_readAheadCount = n;
            m_drained = n < kFastReadAheadSize;
            return 1;
        }
        if (n == kWouldBlock && m_loop != nullptr) {
            // Nothing yet: the loop runs other users until the data or the
            // time-out comes.
            const int waited = parkUntil(m_stack->wants(), limit.deadlineMillis);
            if (waited <= 0) return waited;
            continue;
        }
        if (n == kWouldBlock) {
            // A slice of the wait passed, or a signal cut it short.
            const int reason = limit.stopReason();
            if (reason == 0) continue;
            if (reason == ETIMEDOUT) return 0;
            m_lastSocketError = reason;
            return -1;
        }
        // The end of the stream or an error: readable, as poll() would say, and the
        // next receive reports it.
        m_hasPendingEnd = true;
        m_pendingErrno = n == 0 ? 0 : errno;
        return 1;
    }
}

WaitLimit Connection::limitFromNow() const {
    const bool bounded = !m_noWait && m_timeout > 0;
    return {bounded ? platform::tickMillis() + secondsToPollMillis(m_timeout) : INT64_MAX, m_abort};
}

template <class Call>
int Connection::transfer(Call call, const WaitLimit& limit) {
    for (;;) {
        const int n = call();
        if (n != kWouldBlock) {
            if (n < 0) m_lastSocketError = errno;
            return n;
        }
        const int reason = limit.stopReason();
        if (reason != 0) {
            m_lastSocketError = reason;
            return -1;
        }
        if (m_loop != nullptr) {
            if (parkUntil(m_stack->wants(), limit.deadlineMillis) < 0) return -1;
            continue;
        }
        // On a blocking socket the call itself waited one time-out slice; a socket
        // without those slices is waited for here, a slice at a time.
        if (!m_socketTimeoutsArmed)
            waitForSocket(m_fd, m_stack->wants(), kAbortCheckMillis, m_abort);
    }
}

void Connection::releaseTls() {
    if (m_secure) m_tlsContext = nullptr;
}

int Connection::waitSocket(bool forWrite) {
    int rc = waitForSocket(m_fd, forWrite ? Readiness::kWrite : Readiness::kRead,
                           secondsToPollMillis(m_timeout), m_abort);
    if (rc < 0) m_lastSocketError = errno;
    // Readiness (or a pending error) lasts until this side reads or writes.
    if (rc > 0) (forWrite ? m_knownWritable : m_knownReadable) = true;
    return rc;
}

void Connection::forgetReadiness() {
    m_knownReadable = false;
    m_knownWritable = false;
}

void Connection::noteRead() {
    m_knownReadable = false;
    // TLS may write while reading (post-handshake messages).
    if (!m_plain) m_knownWritable = false;
}

void Connection::noteWrite() {
    m_knownWritable = false;
    // TLS may read while writing.
    if (!m_plain) m_knownReadable = false;
}

int Connection::waitReadable() {
    if (!m_open) return -1;
    if (m_readAheadPos < m_readAheadCount || m_noWait || m_knownReadable || m_hasPendingEnd)
        return 1;
    if (!m_plain && m_stack->hasBufferedInput()) return 1;
    if (waitsInSocket()) return waitByReceiving();
    return waitSocket(false);
}

bool Connection::stillUsable() {
    if (!m_open) return false;
    if (!waitsInSocket() && !m_noWait && !m_knownWritable && m_readAheadPos >= m_readAheadCount) {
        pollfd p{m_fd, POLLIN | POLLOUT, 0};
        if (::poll(&p, 1, 0) == 1 && p.revents == POLLOUT) {
            // Writable, so the wait would end at once; nothing to read, so no end of
            // stream either (and a TLS peer is never judged by a peek).
            m_knownWritable = true;
            return true;
        }
    }
    return waitWritable() > 0 && !peerHasClosed();
}

bool Connection::peerHasClosed() const {
    // TLS peers may send session tickets on an idle connection, so only the plain
    // stream can be judged by a peek.
    if (m_hasPendingEnd) return true;
    if (!m_open || m_secure || m_readAheadPos < m_readAheadCount) return false;
    char byte;
    ssize_t n = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

int Connection::waitWritable() {
    if (!m_open) return -1;
    if (m_noWait || m_knownWritable) return 1;
    // The send itself waits, bounded by the socket's timeout (or by the loop's
    // timer, for a task).
    if (waitsInSocket() && (m_loop != nullptr || m_socketTimeoutsArmed || armSocketTimeouts())) return 1;
    return waitSocket(true);
}

void Connection::applySpeedLimit(int bytesMoved, int64_t startedMicros) const {
    if (m_bytesPerSecond == 0 || bytesMoved <= 0) return;
    int64_t elapsedMillis = (platform::nowMicros() - startedMicros) / 1000;
    const int64_t pause = speedLimitPauseMillis(bytesMoved, m_bytesPerSecond, elapsedMillis);
    loop::sleepOrStop(
        pause, [this] { return isAborted(m_abort); }, kAbortCheckMillis);
}

int Connection::receive(void* buffer, int size) {
    if (m_hasPendingEnd) {
        m_hasPendingEnd = false;
        if (m_pendingErrno == 0) return 0;
        m_lastSocketError = m_pendingErrno;
        return -1;
    }
    const int64_t started =
        m_bytesPerSecond != 0 ? platform::nowMicros() : 0;  // for the pause only
    noteRead();
    const WaitLimit limit = limitFromNow();
    const int n = transfer([&] { return m_stack->read(buffer, size); }, limit);
    m_drained = n >= 0 && n < size;
    applySpeedLimit(n, started);
    return n;
}

int Connection::serveReadAhead(void* buffer, int size) {
    int n = m_readAheadCount - m_readAheadPos;
    if (n > size) n = size;
    std::memcpy(buffer, m_readAhead.get() + m_readAheadPos, size_t(n));
    m_readAheadPos += n;
    releaseEmptyReadAhead();
    return n;
}

int Connection::refillReadAhead() {
    m_readAheadPos = m_readAheadCount = 0;
    // Taken now and held through the receive: the pointer must stay valid.
    m_holdReadAhead = true;
    int n = receive(readAheadStorage(), m_bytesPerSecond == 0 ? kFastReadAheadSize : kReadAheadSize);
    m_holdReadAhead = false;
    if (n > 0) m_readAheadCount = n;
    return n;
}

int Connection::read(void* buffer, int size) {
    if (!m_open) return -1;
    if (size <= 0) return 0;
    if (m_readAheadPos < m_readAheadCount) return serveReadAhead(buffer, size);
    // Under a limit each receive is paced by its own size, so it stays as asked.
    if (m_bytesPerSecond != 0 || size >= kFastReadAheadSize) return receive(buffer, size);
    int n = refillReadAhead();
    return n <= 0 ? n : serveReadAhead(buffer, size);
}

int Connection::write(const void* data, int length) {
    if (!m_open) return -1;
    if (length <= 0) return 0;
    const int64_t started =
        m_bytesPerSecond != 0 ? platform::nowMicros() : 0;  // for the pause only
    noteWrite();
    const WaitLimit limit = limitFromNow();
    const int n = transfer([&] { return m_stack->write(data, length); }, limit);
    m_sentSinceReceive = n > 0;
    applySpeedLimit(n, started);
    return n;
}

int Connection::readLine(char* buffer, int capacity) {
    if (!m_open || buffer == nullptr || capacity <= 0) return -1;
    int stored = 0;
    while (stored < capacity - 1) {
        if (m_readAheadPos >= m_readAheadCount) {
            if (waitReadable() <= 0) return -1;
            // Unless the wait itself received, as it does without a limit.
            if (m_readAheadPos >= m_readAheadCount && refillReadAhead() <= 0) return -1;
        }
        const char* from = m_readAhead.get() + m_readAheadPos;
        int take = m_readAheadCount - m_readAheadPos;
        if (take > capacity - 1 - stored) take = capacity - 1 - stored;
        const void* newline = std::memchr(from, '\n', size_t(take));
        if (newline != nullptr) take = int(static_cast<const char*>(newline) - from) + 1;
        std::memcpy(buffer + stored, from, size_t(take));
        stored += take;
        m_readAheadPos += take;
        if (newline != nullptr) break;
    }
    buffer[stored] = '\0';
    releaseEmptyReadAhead();
    return stored;
}

int Connection::sendAllRaw(const void* data, int length) {
    if (!m_open || length < 0) return -1;
    const char* p = static_cast<const char*>(data);
    int sent = 0;
    forgetReadiness();
    while (sent < length) {
        int ready = waitForSocket(m_fd, Readiness::kWrite, secondsToPollMillis(m_timeout), m_abort);
        if (ready <= 0) {
            m_lastSocketError = ready == 0 ? ETIMEDOUT : errno;
            return -1;
        }
        // Bounded by the timeout even under nowait, as the wait before it.
        const WaitLimit limit{platform::tickMillis() + secondsToPollMillis(m_timeout), m_abort};
        int n = transfer([&] { return m_stack->write(p + sent, length - sent); }, limit);
        if (n <= 0) return -1;
        sent += n;
    }
    return sent;
}

int Connection::receiveRaw(void* buffer, int size) {
    if (!m_open || size <= 0) return -1;
    forgetReadiness();
    if (!m_stack->hasBufferedInput()) {
        int ready = waitForSocket(m_fd, Readiness::kRead, secondsToPollMillis(m_timeout), m_abort);
        if (ready <= 0) {
            m_lastSocketError = ready == 0 ? ETIMEDOUT : errno;
            return -1;
        }
    }
    return transfer([&] { return m_stack->read(buffer, size); }, limitFromNow());
}

}  // namespace velk::net
