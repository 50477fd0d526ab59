#include "net/connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "loop/task_wait.h"
#include "net/plain_socket_transport.h"
#include "net/speed_limit.h"
#include "platform/clock.h"

namespace velk::net {

Connection::Connection() = default;

Connection::~Connection() {
    close();
}

void Connection::choosePolicy() {
    const bool limited = m_bytesPerSecond != 0;
    m_policy.bounded = !m_noWait && m_timeout > 0;
    m_policy.paced = limited;
    // Under a limit each receive is paced by its own size, so read() takes as
    // asked and line refills stay small.
    m_policy.readsAhead = !limited;
    m_policy.refillSize = limited ? kReadAheadSize : kFastReadAheadSize;
    m_policy.waitInCall =
        isOpen() && m_plain && !m_noWait && !limited && m_timeout > 0 && m_waiter.callsWait();
}

void Connection::beginProxyHandshake() {
    m_policy = IoPolicy{};
    m_policy.bounded = true;
}

void Connection::endProxyHandshake() {
    // The exchange that follows starts as on a stream fresh from connect().
    m_drained = false;
    m_sentSinceReceive = false;
    forgetReadiness();
    choosePolicy();
}

void Connection::close() {
    if (m_stack && !m_plain) {
        // Never block here on a peer that stopped reading.
        setSocketBlocking(m_stack->fd(), false);
        m_stack->shutdown();
    }
    m_stack.reset();
    m_plain = true;
    m_hasPendingEnd = false;
    m_drained = false;
    m_sentSinceReceive = false;
    forgetReadiness();
    m_readAhead.clear();
    m_waiter.reset();
}

void Connection::setNoWait(bool noWait) {
    // Without waits a receive blocks as long as the peer takes, as it always has,
    // unless the run is aborted.
    m_noWait = noWait;
    choosePolicy();
}

void Connection::setSpeedLimit(int32_t bytesPerSecond) {
    m_bytesPerSecond = bytesPerSecond;
    choosePolicy();
}

StatusCode Connection::park(Readiness what, int64_t deadlineMillis) {
    m_readAhead.releaseIfEmpty();
    return m_waiter.beforeRetry(what, deadlineMillis, m_abort);
}

Status Connection::readinessResult(StatusCode waited) {
    switch (waited) {
        case StatusCode::kOk:
            return Status::ok();
        case StatusCode::kTimeout:
            return Status(StatusCode::kTimeout);
        case StatusCode::kAborted:
            m_lastSocketError = ECANCELED;
            return Status(StatusCode::kAborted);
        default:
            m_lastSocketError = errno;
            return Status(StatusCode::kNetwork);
    }
}

Status Connection::socketFailure() const {
    switch (m_lastSocketError) {
        case ETIMEDOUT:
            return Status(StatusCode::kTimeout);
        case ECANCELED:
            return Status(StatusCode::kAborted);
        default:
            return Status(StatusCode::kNetwork);
    }
}

StatusOr<int> Connection::counted(int n) const {
    if (n > 0) return n;
    if (n == 0) return Status(StatusCode::kClosed);
    return socketFailure();
}

Status Connection::waitByReceiving() {
    const WaitLimit limit{waitDeadline(), m_abort};
    noteRead();
    // The first wait after a send, and the last receive took everything there
    // was (an end of stream included: the peek before reusing a connection saw
    // none), so a receive now would only say "nothing yet": wait first.  Any
    // byte or end that came since has raised the loop's edge.
    const bool answerDue = std::exchange(m_sentSinceReceive, false);
    if (m_waiter.onLoop() && m_drained && answerDue) {
        const StatusCode waited = park(Readiness::kRead, limit.deadlineMillis);
        if (waited != StatusCode::kOk) return readinessResult(waited);
    }
    for (;;) {
        const int n = m_stack->read(m_readAhead.storage(), kFastReadAheadSize);
        if (n > 0) {
            m_readAhead.filled(n);
            m_drained = n < kFastReadAheadSize;
            return Status::ok();
        }
        if (n == kWouldBlock && m_waiter.onLoop()) {
            // Nothing yet: the loop runs other users until the data or the
            // time-out comes.
            const StatusCode waited = park(m_stack->wants(), limit.deadlineMillis);
            if (waited != StatusCode::kOk) return readinessResult(waited);
            continue;
        }
        if (n == kWouldBlock) {
            // A slice of the wait passed, or a signal cut it short.
            const int reason = limit.stopReason();
            if (reason == 0) continue;
            if (reason == ETIMEDOUT) return Status(StatusCode::kTimeout);
            m_lastSocketError = reason;
            return socketFailure();
        }
        // The end of the stream or an error: readable, as poll() would say, and the
        // next receive reports it.
        m_hasPendingEnd = true;
        m_pendingErrno = n == 0 ? 0 : errno;
        return Status::ok();
    }
}

int64_t Connection::waitDeadline() const {
    return std::min(platform::tickMillis() + secondsToPollMillis(m_timeout), m_waitCap);
}

WaitLimit Connection::limitFromNow() const {
    return {m_policy.bounded ? waitDeadline() : INT64_MAX, m_abort};
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
        // A wait that ran out leaves the last word to the call and the limit.
        const StatusCode waited = park(m_stack->wants(), limit.deadlineMillis);
        if (waited == StatusCode::kOk || waited == StatusCode::kTimeout) continue;
        // Only its errno matters here: the caller's counted() reads it.
        static_cast<void>(readinessResult(waited));
        return -1;
    }
}

Status Connection::waitSocket(Readiness what) {
    const StatusCode waited = m_waiter.ready(what, waitDeadline(), m_abort);
    // Readiness (or a pending error) lasts until this side reads or writes.
    if (waited == StatusCode::kOk)
        (what == Readiness::kWrite ? m_knownWritable : m_knownReadable) = true;
    return readinessResult(waited);
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

Status Connection::waitReadable() {
    if (!isOpen()) return Status(StatusCode::kNetwork);
    if (!m_readAhead.empty() || m_noWait || m_knownReadable || m_hasPendingEnd) return Status::ok();
    if (!m_plain && m_stack->hasBufferedInput()) return Status::ok();
    if (m_policy.waitInCall) return waitByReceiving();
    return waitSocket(Readiness::kRead);
}

bool Connection::stillUsable() {
    if (!isOpen()) return false;
    if (!m_policy.waitInCall && !m_noWait && !m_knownWritable && m_readAhead.empty()) {
        pollfd p{m_stack->fd(), POLLIN | POLLOUT, 0};
        if (::poll(&p, 1, 0) == 1 && p.revents == POLLOUT) {
            // Writable, so the wait would end at once; nothing to read, so no end of
            // stream either (and a TLS peer is never judged by a peek).
            m_knownWritable = true;
            return true;
        }
    }
    return waitWritable().isOk() && !peerHasClosed();
}

bool Connection::hasInputNow() const {
    if (!isOpen()) return false;
    if (!m_readAhead.empty() || m_hasPendingEnd || m_stack->hasBufferedInput()) return true;
    pollfd p{m_stack->fd(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && p.revents != 0;
}

bool Connection::peerHasClosed() const {
    // TLS peers may send session tickets on an idle connection, so only the plain
    // stream can be judged by a peek.
    if (m_hasPendingEnd) return true;
    if (!isOpen() || m_secure || !m_readAhead.empty()) return false;
    char byte;
    ssize_t n = ::recv(m_stack->fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

Status Connection::waitWritable() {
    if (!isOpen()) return Status(StatusCode::kNetwork);
    // The send itself waits, bounded by the socket's timeout (or by the loop's
    // timer, for a task).
    if (m_noWait || m_knownWritable || m_policy.waitInCall) return Status::ok();
    return waitSocket(Readiness::kWrite);
}

void Connection::applySpeedLimit(int bytesMoved, int64_t startedMicros) const {
    if (bytesMoved <= 0) return;
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
    const bool paced = m_policy.paced;
    const int64_t started = paced ? platform::nowMicros() : 0;  // for the pause only
    noteRead();
    const int n = transfer([&] { return m_stack->read(buffer, size); }, limitFromNow());
    m_drained = n >= 0 && n < size;
    if (paced) applySpeedLimit(n, started);
    return n;
}

int Connection::refillReadAhead() {
    // Held through the receive, which may park: the pointer must stay valid.
    char* into = m_readAhead.hold();
    const int n = receive(into, m_policy.refillSize);
    m_readAhead.filled(n);
    return n;
}

StatusOr<int> Connection::fillReadAhead() {
    if (!isOpen()) return Status(StatusCode::kNetwork);
    if (!m_readAhead.empty()) return int(m_readAhead.bytes().size());
    return counted(refillReadAhead());
}

StatusOr<int> Connection::read(void* buffer, int size) {
    if (!isOpen()) return Status(StatusCode::kNetwork);
    if (size <= 0) return 0;
    if (!m_readAhead.empty()) return m_readAhead.take(buffer, size);
    if (!m_policy.readsAhead || size >= kFastReadAheadSize) return counted(receive(buffer, size));
    const int n = refillReadAhead();
    if (n <= 0) return counted(n);
    return m_readAhead.take(buffer, size);
}

StatusOr<int> Connection::write(const void* data, int length) {
    if (!isOpen()) return Status(StatusCode::kNetwork);
    if (length <= 0) return 0;
    const bool paced = m_policy.paced;
    const int64_t started = paced ? platform::nowMicros() : 0;  // for the pause only
    noteWrite();
    const int n = transfer([&] { return m_stack->write(data, length); }, limitFromNow());
    m_sentSinceReceive = n > 0;
    if (paced) applySpeedLimit(n, started);
    return counted(n);
}

StatusOr<int> Connection::readLine(char* buffer, int capacity) {
    if (!isOpen() || buffer == nullptr || capacity <= 0) return Status(StatusCode::kNetwork);
    size_t stored = 0;
    const size_t room = size_t(capacity - 1);
    while (stored < room) {
        if (m_readAhead.empty()) {
            if (Status ready = waitReadable(); !ready) return ready;
            // Unless the wait itself received, as it does without a limit.
            if (m_readAhead.empty()) {
                if (const int n = refillReadAhead(); n <= 0) return counted(n);
            }
        }
        const std::string_view waiting = m_readAhead.bytes();
        size_t take = std::min(waiting.size(), room - stored);
        const void* newline = std::memchr(waiting.data(), '\n', take);
        if (newline != nullptr)
            take = size_t(static_cast<const char*>(newline) - waiting.data()) + 1;
        std::memcpy(buffer + stored, waiting.data(), take);
        stored += take;
        m_readAhead.skip(int(take));
        if (newline != nullptr) break;
    }
    buffer[stored] = '\0';
    m_readAhead.releaseIfEmpty();
    return int(stored);
}

}  // namespace velk::net
