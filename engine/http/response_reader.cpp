#include "http/response_reader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "http/http_session.h"
#include "http/status_line.h"
#include "loop/task_wait.h"
#include "net/connection.h"
#include "platform/clock.h"

namespace velk {
namespace {

// Under a speed limit a request goes in pieces, each paced; otherwise in as few
// writes as the socket takes, since with TCP_NODELAY every write is a packet.
constexpr int kPacedWritePiece = 1024;

// Parses a chunk-size line: hexadecimal digits after optional blanks, up to an
// extension or the line end.  -1 when it does not parse or is absurdly large.
int64_t parseChunkSize(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    int64_t size = 0;
    size_t digits = 0;
    for (; i < line.size(); ++i, ++digits) {
        char c = line[i];
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (v < 0) break;
        size = size * 16 + v;
        if (size > kMaxChunkSize) return -1;
    }
    if (digits == 0) return -1;
    return size;
}

// Work buffers of this thread's users that are not reading a response now: a
// user between requests holds none, so thousands of them in their pauses cost
// no work buffer each.
class ScratchPool {
public:
    ScratchBytes take(size_t size) {
        for (size_t i = m_free.size(); i-- > 0;) {
            if (m_free[i].size() != size) continue;
            ScratchBytes bytes = std::move(m_free[i]);
            m_free.erase(m_free.begin() + std::ptrdiff_t(i));
            return bytes;
        }
        ScratchBytes bytes;
        bytes.resize(size);
        return bytes;
    }
    void give(ScratchBytes bytes) {
        if (bytes.size() != 0 && m_free.size() < kKept) m_free.push_back(std::move(bytes));
    }

private:
    static constexpr size_t kKept = 64;
    std::vector<ScratchBytes> m_free;
};

thread_local ScratchPool t_scratch;

// Reads one response; the fields are the per-exchange state.  The steps return
// 1 when there is more to read, 0 when the response is complete and kFailed
// when it failed (m_failure says how).
class Exchange {
public:
    Exchange(HttpSession& s, net::Connection& conn, bool keepAlive)
        : m_s(s), m_conn(conn), m_head(s.head), m_keepAlive(keepAlive), m_line(s.work) {}
    ~Exchange() { t_scratch.give(std::move(m_line)); }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    ResponseRecord run(std::string_view request);

private:
    static constexpr int32_t kFailed = -1;

    ResponseRecord failed() const { return ResponseRecord::failed(m_failure); }
    int32_t send(std::string_view request);
    int32_t pass();
    int32_t headerLine();
    int32_t chunk();
    int32_t bodyPiece();
    int32_t fail(StatusCode failure, bool close);
    // A wait that did not say ready: logged with the old select()'s result (0 for
    // a time-out, else -1), the connection dropped.
    int32_t waitFailed(StatusCode waited);
    // Whether the run was stopped: asked on every pass, not only when a read
    // would block, since a server that keeps the socket full never makes one.
    // kFailed (as a cancelled wait fails) when it was, else 0.
    int32_t stopped();
    void store(const char* bytes, size_t n);
    // Stores up to limit bytes straight from the read-ahead, without a copy
    // through the work buffer; the count taken.
    int64_t storeBuffered(int64_t limit);
    // Takes the response time now: m_measured as measured, m_time rounded.
    void takeTime();
    // Gives way to the other users of an event loop every kYieldBytes moved.
    void yieldEvery(int64_t& moved, int64_t& next);

    HttpSession& m_s;
    net::Connection& m_conn;
    ResponseHead& m_head;
    bool m_keepAlive;
    bool m_headOnly = false;  // the request was a HEAD: the answer has no body
    StatusCode m_failure = StatusCode::kOk;
    int64_t m_clockStart = 0;
    int64_t m_receiveStart = 0;
    int32_t m_time = -1;
    int32_t m_measured = -1;
    int64_t m_contentLength = -1;
    bool m_chunked = false;
    bool m_headerDone = false;
    int64_t m_bodyBytes = 0;
    uint64_t m_discarded = 0;
    int64_t m_received = 0;  // bytes taken from the stream, stored or not
    int64_t m_nextYield = loop::kYieldBytes;
    bool m_budgetNoted = false;
    // The session's work buffer, borrowed from the thread's pool for the exchange.
    ScratchBytes& m_line;
};

ResponseRecord Exchange::run(std::string_view request) {
    if (m_line.size() != size_t(std::max(m_s.readSize, 16)))
        m_line = t_scratch.take(size_t(std::max(m_s.readSize, 16)));
    m_head.start(!m_s.options.proxy.empty());
    m_headOnly = request.starts_with("HEAD ");
    if (send(request) == kFailed) return failed();
    m_receiveStart = platform::nowMicros();
    bool first = true;
    for (;;) {
        if (const Status ready = m_conn.waitReadable(); !ready) {
            waitFailed(ready.code());
            return failed();
        }
        if (first && m_s.options.timingmode == 1) takeTime();
        first = false;
        if (stopped() == kFailed) return failed();
        int32_t r = pass();
        if (r == kFailed) return failed();
        if (r == 0) break;
        yieldEvery(m_received, m_nextYield);
    }
    if (m_s.options.timingmode != 1) takeTime();
    int64_t now = platform::nowMicros();
    m_s.bytesReceived += m_s.response.size() + m_discarded;
    m_s.receiveTimeMs += double(now - m_receiveStart) / 1000.0;
    m_conn.setReusable(m_keepAlive);
    if (!m_keepAlive) m_conn.close();
    const std::string_view response = m_s.response.view();
    ResponseRecord record;
    record.time = m_time;
    record.measured = m_measured;
    record.httpStatus = m_head.status();
    record.body = std::min(m_head.body(), response.size());
    record.location = m_head.location().in(response);
    record.cookies = m_head.cookies();
    record.keepAlive = m_keepAlive;
    return record;
}

int32_t Exchange::send(std::string_view request) {
    const int64_t sendStart = platform::nowMicros();
    if (m_s.options.timingmode == 2) m_clockStart = sendStart;
    size_t written = 0;
    int64_t sent = 0;
    int64_t nextYield = loop::kYieldBytes;
    if (m_conn.waitWritable().isOk()) {
        const size_t pieceLimit =
            m_conn.speedLimit() != 0 ? size_t(kPacedWritePiece) : size_t(INT_MAX);
        while (written < request.size()) {
            int piece = int(std::min(pieceLimit, request.size() - written));
            const StatusOr<int> n = m_conn.write(request.data() + written, piece);
            if (!n || *n == 0) break;
            written += size_t(*n);
            sent += *n;
            yieldEvery(sent, nextYield);
            if (written < request.size() && !m_conn.waitWritable()) break;
        }
    }
    m_s.bytesSent += request.size();
    m_s.sendTimeMs += double(platform::nowMicros() - sendStart) / 1000.0;
    if (written < request.size()) {
        m_s.log.printf("Error (write %d/%d): %d\n", int(written), int(request.size()),
                       m_conn.lastSocketError());
        if (m_conn.isReusable()) {
            m_conn.close();
            m_conn.setReusable(false);
        }
        m_failure = StatusCode::kNetwork;
        return kFailed;
    }
    if (m_s.options.timingmode != 2) m_clockStart = platform::nowMicros();
    return 0;
}

int32_t Exchange::pass() {
    if (!m_headerDone) return headerLine();
    if (m_chunked) return chunk();
    return bodyPiece();
}

int32_t Exchange::headerLine() {
    const StatusOr<int> n = m_conn.readLine(m_line.data(), int(m_line.size()));
    if (!n) {
        m_s.log.printf("Error(HDR): %d\n", m_conn.lastSocketError());
        return fail(StatusCode::kNetwork, true);
    }
    std::string_view line(m_line.data(), size_t(*n));
    const size_t storedAt = m_s.response.size();
    store(line.data(), line.size());
    switch (m_head.take(line, storedAt, m_s.response.size())) {
        case ResponseHead::Verdict::kMore:
            return 1;
        case ResponseHead::Verdict::kInterimEnd:
            // An interim answer: the real response follows with its own header block.
            m_s.response.clear();
            return 1;
        case ResponseHead::Verdict::kBadLength: {
            std::string_view v = m_head.badLength();
            m_s.log.printf("Error(HDR): invalid Content-Length: %.*s\n",
                           int(std::min<size_t>(v.size(), 40)), v.data());
            return fail(StatusCode::kNetwork, true);
        }
        case ResponseHead::Verdict::kEnd:
            break;
    }
    m_headerDone = true;
    m_contentLength = m_head.contentLength();
    m_chunked = m_head.chunked();
    if (m_head.closes()) m_keepAlive = false;
    // No body follows, whatever Content-Length says: waiting for one would hang.
    if (m_headOnly || hasNoBody(m_head.status())) return 0;
    return m_contentLength == 0 ? 0 : 1;
}

int32_t Exchange::chunk() {
    const StatusOr<int> n = m_conn.readLine(m_line.data(), int(m_line.size()));
    if (!n) {
        m_s.log.printf("Error(CHUNKLEN): %d\n", m_conn.lastSocketError());
        return fail(StatusCode::kNetwork, false);
    }
    if (*n == 0) return 0;
    std::string_view sizeLine(m_line.data(), size_t(*n));
    int64_t size = parseChunkSize(sizeLine);
    if (size < 0) {
        // The framing is lost: nothing after this can be trusted on the stream.
        m_s.log.printf("Error(CHUNKLEN): invalid chunk size %.*s\n",
                       int(std::min<size_t>(sizeLine.size(), 40)), sizeLine.data());
        return fail(StatusCode::kNetwork, true);
    }
    if (size == 0) {
        for (int i = 0; i < 1000; ++i) {  // trailer lines, bounded
            if (!m_conn.waitReadable()) break;
            const StatusOr<int> t = m_conn.readLine(m_line.data(), int(m_line.size()));
            if (!t || *t == 0) break;
            std::string_view trailer(m_line.data(), size_t(*t));
            if (trailer.starts_with("\r\n") || trailer == "\n") break;
        }
        return 0;
    }
    int64_t remaining = size;
    while (remaining > 0) {
        if (const Status ready = m_conn.waitReadable(); !ready) return waitFailed(ready.code());
        if (stopped() == kFailed) return kFailed;
        yieldEvery(m_received, m_nextYield);  // one chunk may be the whole body
        if (int64_t taken = storeBuffered(remaining); taken > 0) {
            remaining -= taken;
            continue;
        }
        int piece = int(std::min<int64_t>(remaining, int64_t(m_line.size())));
        const StatusOr<int> got = m_conn.read(m_line.data(), piece);
        if (got.status().code() == StatusCode::kClosed || (got && *got == 0)) {
            // The stream ended inside a chunk: the response is cut short.
            m_s.log.printf("Error(CHUNK): %lld bytes missing\n", static_cast<long long>(remaining));
            return fail(StatusCode::kNetwork, true);
        }
        if (!got) {
            m_s.log.printf("Error(CHUNK): %d\n", m_conn.lastSocketError());
            return fail(StatusCode::kNetwork, true);
        }
        store(m_line.data(), size_t(*got));
        remaining -= *got;
    }
    // The line end after the chunk data.
    char crlf[2];
    if (m_conn.waitReadable().isOk()) {
        const StatusOr<int> got = m_conn.read(crlf, 2);
        if (got && *got == 1 && crlf[0] == '\r' && m_conn.waitReadable().isOk())
            static_cast<void>(m_conn.read(crlf, 1));
    }
    return 1;
}

int32_t Exchange::bodyPiece() {
    const int64_t left = m_contentLength >= 0 ? m_contentLength - m_bodyBytes : INT64_MAX;
    if (int64_t taken = storeBuffered(left); taken > 0) {
        m_bodyBytes += taken;
        return m_bodyBytes >= m_contentLength && m_contentLength >= 0 ? 0 : 1;
    }
    int64_t want = int64_t(m_line.size());
    if (m_contentLength >= 0) want = std::min(want, m_contentLength - m_bodyBytes);
    const StatusOr<int> got = m_conn.read(m_line.data(), int(want));
    if (!got || *got == 0) {
        if (m_contentLength >= 0) {
            // The server promised more than it sent: a cut response is no success.
            m_s.log.printf("Error(BODY): %lld of %lld bytes\n", static_cast<long long>(m_bodyBytes),
                           static_cast<long long>(m_contentLength));
            return fail(StatusCode::kNetwork, true);
        }
        m_keepAlive = false;  // the body ran until the server closed: nothing left to reuse
        return 0;
    }
    store(m_line.data(), size_t(*got));
    m_bodyBytes += *got;
    if (m_contentLength >= 0 && m_bodyBytes >= m_contentLength) return 0;
    return 1;
}

int32_t Exchange::fail(StatusCode failure, bool close) {
    if (close) m_conn.close();
    m_conn.setReusable(false);
    m_failure = failure;
    return kFailed;
}

int32_t Exchange::waitFailed(StatusCode waited) {
    const bool timedOut = waited == StatusCode::kTimeout;
    int error = m_conn.lastSocketError();
    m_conn.close();
    m_conn.setReusable(false);
    m_s.log.printf("Error (SELECT TIMEOUT - %d): %d\n", timedOut ? 0 : -1, error);
    m_failure = timedOut ? StatusCode::kTimeout : StatusCode::kNetwork;
    return kFailed;
}

int32_t Exchange::stopped() {
    if (!net::isAborted(m_conn.abortWatch())) return 0;
    m_conn.noteAborted();
    return waitFailed(StatusCode::kAborted);
}

int64_t Exchange::storeBuffered(int64_t limit) {
    std::string_view ahead = m_conn.buffered();
    const int64_t take = std::min(limit, int64_t(ahead.size()));
    if (take <= 0) return 0;
    store(ahead.data(), size_t(take));
    m_conn.consume(int(take));
    return take;
}

void Exchange::yieldEvery(int64_t& moved, int64_t& next) {
    if (moved < next) return;
    next = moved + loop::kYieldBytes;
    loop::yieldTask();
}

void Exchange::store(const char* bytes, size_t n) {
    m_received += int64_t(n);
    const size_t size = m_s.response.size();
    const size_t wanted = std::min(kMaxStoredResponse, size + n);
    if (m_s.responseBudget && wanted > m_s.responseAllowance) {
        // Taken a megabyte at a time, so the shared budget is seldom touched; up
        // to the first megabyte in small steps, or ten thousand users with small
        // pages would spend it all on room they never use.
        constexpr size_t kMegabyte = size_t(1) << 20;
        constexpr size_t kSmallStep = size_t(16) << 10;
        const size_t step = wanted <= kMegabyte ? kSmallStep : kMegabyte;
        const size_t more =
            std::min(kMaxStoredResponse, (wanted + step - 1) / step * step) - m_s.responseAllowance;
        m_s.responseAllowance += m_s.responseBudget->take(more);
    }
    const size_t limit = m_s.responseBudget ? std::min(wanted, m_s.responseAllowance) : wanted;
    size_t kept = limit > size ? std::min(limit - size, n) : 0;
    if (kept < n && !m_budgetNoted && limit < wanted) {
        m_budgetNoted = true;
        m_s.log.printf(
            "Warning: the run's memory for stored responses is spent: only %zu bytes of this "
            "response are kept\n",
            limit);
    }
    m_s.response.append(bytes, kept);
    m_discarded += n - kept;
}

void Exchange::takeTime() {
    // On an event loop the time ends when the loop saw the bytes that complete
    // it, not when this user next got the processor: a busy loop delays the next
    // request, it does not lengthen this one.
    const int64_t end =
        platform::nowMicros() - loop::latenessMicros(m_conn.descriptor(), m_clockStart);
    const int64_t t = std::clamp<int64_t>(end - m_clockStart, 0, INT32_MAX);
    m_measured = int32_t(t);
    m_time = int32_t(roundResponseTime(t, m_s.options.round));
}

}  // namespace

int64_t roundResponseTime(int64_t micros, double roundMs) {
    if (roundMs <= 0) return micros;
    const double unit = roundMs * 1000.0;
    const int64_t whole = int64_t(unit);
    if (whole <= 0) return micros;
    return int64_t(double(micros) / unit) * whole;
}

ResponseRecord readResponse(HttpSession& session, net::Connection& conn, std::string_view request,
                            bool keepAlive) {
    return Exchange(session, conn, keepAlive).run(request);
}

}  // namespace velk
