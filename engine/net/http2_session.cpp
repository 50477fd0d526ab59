#include "net/http2_session.h"

#include <nghttp2/nghttp2.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "loop/task_wait.h"
#include "net/connection.h"
#include "platform/clock.h"

namespace velk::net {
namespace {

struct OptionFree {
    void operator()(nghttp2_option* o) const { nghttp2_option_del(o); }
};
struct CallbacksFree {
    void operator()(nghttp2_session_callbacks* c) const { nghttp2_session_callbacks_del(c); }
};

std::string errorCodeName(uint32_t code) {
    return nghttp2_http2_strerror(code);
}

// What an error code without a text of its own means, for the log.
const char* gloss(uint32_t code) {
    switch (code) {
        case NGHTTP2_COMPRESSION_ERROR:
            return ", a header block that does not decode (HPACK)";
        case NGHTTP2_FRAME_SIZE_ERROR:
            return ", a frame of the wrong size";
        case NGHTTP2_FLOW_CONTROL_ERROR:
            return ", more than the flow-control window allows";
        default:
            return "";
    }
}

}  // namespace

// The library's callbacks, with the session as user data.
struct Http2Session::Callbacks {
    static Http2Session& self(void* user) { return *static_cast<Http2Session*>(user); }

    static int stop(Http2Session& s, std::string why) {
        s.m_callbackError = std::move(why);
        return NGHTTP2_ERR_CALLBACK_FAILURE;
    }

    // Frames that carry no request's progress: a peer sending thousands of them
    // is keeping the user busy, not answering it.
    static bool isControl(const nghttp2_frame_hd& hd, const Http2Session& s) {
        switch (hd.type) {
            case NGHTTP2_SETTINGS:
            case NGHTTP2_PING:
                return (hd.flags & NGHTTP2_FLAG_ACK) == 0;
            case NGHTTP2_PRIORITY:
                return true;
            case NGHTTP2_WINDOW_UPDATE:
                // Needed while the body goes out, a byte at a time under a 1-byte window.
                return s.m_bodySent;
            case NGHTTP2_DATA:
                return hd.length == 0 && (hd.flags & NGHTTP2_FLAG_END_STREAM) == 0;
            case NGHTTP2_HEADERS:
            case NGHTTP2_CONTINUATION:
            case NGHTTP2_RST_STREAM:
            case NGHTTP2_GOAWAY:
            case NGHTTP2_PUSH_PROMISE:
                return false;
            default:
                return true;  // extension frames we do not use
        }
    }

    static int beginFrame(nghttp2_session*, const nghttp2_frame_hd* hd, void* user) {
        Http2Session& s = self(user);
        if (hd->type == NGHTTP2_HEADERS) s.m_continuations = 0;
        if (hd->type == NGHTTP2_CONTINUATION && ++s.m_continuations > kMaxContinuations)
            return stop(s, "HTTP/2: a header block in more than " +
                               std::to_string(kMaxContinuations) + " CONTINUATION frames\r\n");
        if (isControl(*hd, s) && ++s.m_controlFrames > kMaxControlFrames)
            return stop(s, "HTTP/2: more than " + std::to_string(kMaxControlFrames) +
                               " control frames during one request (a flood)\r\n");
        // The time-out counts from the last frame that moved the request on.
        if ((hd->stream_id == s.m_streamId && hd->stream_id > 0) ||
            (hd->type == NGHTTP2_WINDOW_UPDATE && !s.m_bodySent))
            s.progressed();
        if (hd->stream_id == s.m_streamId && !s.m_sawResponse &&
            (hd->type == NGHTTP2_HEADERS || hd->type == NGHTTP2_DATA)) {
            s.m_sawResponse = true;
            if (s.m_sink) s.m_sink->responseStarted();
        }
        return 0;
    }

    static int beginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* user) {
        Http2Session& s = self(user);
        if (frame->hd.stream_id == s.m_streamId) s.m_headerListBytes = 0;
        return 0;
    }

    static int header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name,
                      size_t nameLength, const uint8_t* value, size_t valueLength, uint8_t,
                      void* user) {
        Http2Session& s = self(user);
        if (frame->hd.stream_id != s.m_streamId || s.m_sink == nullptr) return 0;
        // As SETTINGS_MAX_HEADER_LIST_SIZE counts: each field's octets plus 32.
        s.m_headerListBytes += nameLength + valueLength + 32;
        if (s.m_headerListBytes > kMaxHeaderListBytes)
            return stop(s, "HTTP/2: the response's header list decodes to more than " +
                               std::to_string(kMaxHeaderListBytes) + " bytes\r\n");
        s.m_sink->header(std::string_view(reinterpret_cast<const char*>(name), nameLength),
                         std::string_view(reinterpret_cast<const char*>(value), valueLength));
        return 0;
    }

    static int frameReceived(nghttp2_session*, const nghttp2_frame* frame, void* user) {
        Http2Session& s = self(user);
        if (frame->hd.type == NGHTTP2_GOAWAY) {
            s.m_broken = true;
            s.m_goawayCode = frame->goaway.error_code;
            s.m_goawayLastStream = frame->goaway.last_stream_id;
            s.m_goawaySeen = true;
        }
        if (frame->hd.type == NGHTTP2_HEADERS && frame->hd.stream_id == s.m_streamId &&
            (frame->hd.flags & NGHTTP2_FLAG_END_HEADERS) != 0 && s.m_sink)
            s.m_sink->headerBlockEnd();
        return 0;
    }

    static int dataChunk(nghttp2_session*, uint8_t, int32_t streamId, const uint8_t* data,
                         size_t length, void* user) {
        Http2Session& s = self(user);
        if (streamId == s.m_streamId && s.m_sink)
            s.m_sink->data(std::string_view(reinterpret_cast<const char*>(data), length));
        return 0;
    }

    static int frameSent(nghttp2_session*, const nghttp2_frame* frame, void* user) {
        Http2Session& s = self(user);
        if (frame->hd.stream_id == s.m_streamId) s.progressed();
        // The library ends a session the server broke with a GOAWAY of its own,
        // whose code and debug text say what was wrong: the cause for the log.
        if (frame->hd.type == NGHTTP2_GOAWAY && frame->goaway.error_code != NGHTTP2_NO_ERROR &&
            s.m_ownGoaway.empty()) {
            s.m_ownGoaway = errorCodeName(frame->goaway.error_code);
            const auto* text = reinterpret_cast<const char*>(frame->goaway.opaque_data);
            const size_t length = std::min<size_t>(frame->goaway.opaque_data_len, 200);
            if (length == 0) s.m_ownGoaway += gloss(frame->goaway.error_code);
            if (length > 0) s.m_ownGoaway += ", ";
            for (size_t i = 0; i < length; ++i)
                s.m_ownGoaway.push_back(text[i] >= 0x20 && text[i] < 0x7f ? text[i] : '?');
        }
        if (frame->hd.stream_id == s.m_streamId &&
            (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0 && s.m_sink)
            s.m_sink->requestSent();
        return 0;
    }

    static int streamClosed(nghttp2_session*, int32_t streamId, uint32_t code, void* user) {
        Http2Session& s = self(user);
        if (streamId == s.m_streamId) {
            s.m_streamClosed = true;
            s.m_closeCode = code;
        }
        return 0;
    }

    static ssize_t readBody(nghttp2_session*, int32_t, uint8_t* buffer, size_t length,
                            uint32_t* flags, nghttp2_data_source*, void* user) {
        Http2Session& s = self(user);
        const size_t n = std::min(length, s.m_body.size() - s.m_bodyOffset);
        std::memcpy(buffer, s.m_body.data() + s.m_bodyOffset, n);
        s.m_bodyOffset += n;
        if (s.m_bodyOffset == s.m_body.size()) {
            *flags |= NGHTTP2_DATA_FLAG_EOF;
            s.m_bodySent = true;
        }
        return ssize_t(n);
    }
};

Http2Session::Http2Session(Connection& connection) : m_connection(connection) {}

Http2Session::~Http2Session() {
    if (m_session) nghttp2_session_del(m_session);
}

bool Http2Session::reusable() const {
    return m_session != nullptr && !m_broken && m_connection.isOpen() &&
           m_connection.openCount() == m_openCount && nghttp2_session_want_read(m_session) != 0;
}

bool Http2Session::hasRun(const Connection& conn) const {
    return &conn == &m_connection && m_session != nullptr && conn.isOpen() &&
           conn.openCount() == m_openCount;
}

bool Http2Session::refresh() {
    if (!reusable()) return false;
    m_callbackError.clear();
    // Bounded: a server that keeps sending between requests is not waited out.
    for (int i = 0; i < 16 && m_connection.hasInputNow(); ++i)
        if (!receive().isOk() || !flush().isOk()) return false;
    return reusable();
}

void Http2Session::close() {
    if (m_session == nullptr) return;
    if (!m_broken && m_connection.isOpen() && m_connection.openCount() == m_openCount) {
        // A polite goodbye when the socket takes it at once; never a wait for it.
        nghttp2_session_terminate_session(m_session, NGHTTP2_NO_ERROR);
        const uint8_t* bytes = nullptr;
        const ssize_t n = nghttp2_session_mem_send(m_session, &bytes);
        if (n > 0) static_cast<void>(m_connection.write(bytes, int(n)));
    }
    nghttp2_session_del(m_session);
    m_session = nullptr;
    m_broken = true;
}

Status Http2Session::start() {
    if (m_session) nghttp2_session_del(m_session);
    m_session = nullptr;
    m_broken = false;
    m_goawaySeen = false;
    m_firstInput = true;
    m_streamsServed = 0;
    auto cannot = [] { return Status(StatusCode::kNetwork, "HTTP/2: cannot start a session\r\n"); };
    nghttp2_session_callbacks* raw = nullptr;
    if (nghttp2_session_callbacks_new(&raw) != 0) return cannot();
    std::unique_ptr<nghttp2_session_callbacks, CallbacksFree> callbacks(raw);
    nghttp2_session_callbacks_set_on_begin_frame_callback(raw, &Callbacks::beginFrame);
    nghttp2_session_callbacks_set_on_begin_headers_callback(raw, &Callbacks::beginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(raw, &Callbacks::header);
    nghttp2_session_callbacks_set_on_frame_recv_callback(raw, &Callbacks::frameReceived);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(raw, &Callbacks::dataChunk);
    nghttp2_session_callbacks_set_on_frame_send_callback(raw, &Callbacks::frameSent);
    nghttp2_session_callbacks_set_on_stream_close_callback(raw, &Callbacks::streamClosed);

    nghttp2_option* rawOption = nullptr;
    if (nghttp2_option_new(&rawOption) != 0) return cannot();
    std::unique_ptr<nghttp2_option, OptionFree> option(rawOption);
    // Ours fires first, with its own message; the library's is the backstop.
    nghttp2_option_set_max_continuations(rawOption, size_t(kMaxContinuations) + 1);
    nghttp2_option_set_max_settings(rawOption, 64);
    nghttp2_option_set_max_outbound_ack(rawOption, 1000);
    nghttp2_option_set_no_closed_streams(rawOption, 1);

    if (nghttp2_session_client_new2(&m_session, raw, this, rawOption) != 0) {
        m_session = nullptr;
        return cannot();
    }
    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
        {NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, 100},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, uint32_t(kWindowBytes)},
        {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, uint32_t(kMaxHeaderListBytes)},
    };
    if (nghttp2_submit_settings(m_session, NGHTTP2_FLAG_NONE, settings,
                                sizeof settings / sizeof settings[0]) != 0 ||
        nghttp2_session_set_local_window_size(m_session, NGHTTP2_FLAG_NONE, 0, kWindowBytes) != 0) {
        nghttp2_session_del(m_session);
        m_session = nullptr;
        return cannot();
    }
    m_openCount = m_connection.openCount();
    return Status::ok();
}

Status Http2Session::fail(StatusCode code, std::string why) {
    m_broken = true;
    return Status(code, std::move(why));
}

Status Http2Session::flush() {
    for (;;) {
        // The library hands out one frame at a time: frames are gathered (up to
        // a bound) and written together, so a request's HEADERS and DATA leave
        // in one packet where they fit.
        m_outgoing.clear();
        for (;;) {
            const uint8_t* bytes = nullptr;
            const ssize_t n = nghttp2_session_mem_send(m_session, &bytes);
            if (n < 0) {
                return Status(StatusCode::kNetwork,
                              std::string("HTTP/2: ") + nghttp2_strerror(int(n)) + "\r\n");
            }
            if (n == 0) break;
            m_outgoing.append(reinterpret_cast<const char*>(bytes), size_t(n));
            if (m_outgoing.size() >= kMaxGatheredBytes) break;
        }
        if (m_outgoing.empty()) return Status::ok();
        size_t written = 0;
        while (written < m_outgoing.size()) {
            if (!m_connection.waitWritable().isOk()) {
                return Status(StatusCode::kNetwork,
                              "HTTP/2: the connection takes no more bytes: " +
                                  std::to_string(m_connection.lastSocketError()) + "\r\n");
            }
            const StatusOr<int> w =
                m_connection.write(m_outgoing.data() + written, int(m_outgoing.size() - written));
            if (!w.isOk()) {
                return Status(StatusCode::kNetwork,
                              "HTTP/2: write failed: " +
                                  std::to_string(m_connection.lastSocketError()) + "\r\n");
            }
            written += size_t(*w);
            m_bytesSent += uint64_t(*w);
        }
    }
}

Status Http2Session::receive() {
    const Status ready = m_connection.waitReadable();
    const bool timedOut = ready.code() == StatusCode::kTimeout;
    if (timedOut && goawayNamesOurStream())
        return fail(StatusCode::kNetwork, "HTTP/2: the server went away (" + goawayText() +
                                              ") and left stream " + std::to_string(m_streamId) +
                                              " unanswered\r\n");
    if (timedOut) return fail(StatusCode::kTimeout, "HTTP/2: no answer within the timeout\r\n");
    if (!ready)
        return fail(
            StatusCode::kNetwork,
            "HTTP/2: waiting failed: " + std::to_string(m_connection.lastSocketError()) + "\r\n");
    // Taken in place from the connection's read-ahead: no copy, and no buffer of
    // our own on the user's stack.
    const StatusOr<int> filled = m_connection.fillReadAhead();
    if (filled.status().code() == StatusCode::kClosed)
        return fail(StatusCode::kNetwork, "HTTP/2: the server closed the connection\r\n");
    if (!filled)
        return fail(
            StatusCode::kNetwork,
            "HTTP/2: read failed: " + std::to_string(m_connection.lastSocketError()) + "\r\n");
    const std::string_view input = m_connection.buffered();
    if (m_firstInput && input.starts_with("HTTP/1.")) {
        const std::string_view line = input.substr(0, std::min(input.find('\r'), size_t(60)));
        std::string shown;
        for (char c : line) shown.push_back(c >= 0x20 && c < 0x7f ? c : '?');
        m_connection.consume(int(input.size()));
        return fail(StatusCode::kNetwork,
                    "HTTP/2: the server answered in HTTP/1.x (\"" + shown + "\")\r\n");
    }
    m_firstInput = false;
    m_bytesReceived += input.size();
    // A server that keeps the socket full never lets a wait park the user: give
    // the loop's other users their turn every so often.
    if (m_bytesReceived >= m_nextYield) {
        m_nextYield = m_bytesReceived + uint64_t(loop::kYieldBytes);
        loop::yieldTask();
    }
    const ssize_t used = nghttp2_session_mem_recv(
        m_session, reinterpret_cast<const uint8_t*>(input.data()), input.size());
    m_connection.consume(int(input.size()));
    if (used < 0) {
        std::string why = !m_callbackError.empty() ? std::move(m_callbackError)
                          : used == NGHTTP2_ERR_FLOODED
                              ? "HTTP/2: more frames needing an answer than the session "
                                "queues (a flood)\r\n"
                              : std::string("HTTP/2: ") + nghttp2_strerror(int(used)) + "\r\n";
        m_callbackError.clear();
        // The library queued a GOAWAY saying why; send it if the socket takes it.
        const uint8_t* bytes = nullptr;
        const ssize_t pending = nghttp2_session_mem_send(m_session, &bytes);
        if (pending > 0) static_cast<void>(m_connection.write(bytes, int(pending)));
        return fail(StatusCode::kNetwork, std::move(why));
    }
    return Status::ok();
}

Status Http2Session::exchange(std::span<const Http2Header> headers, std::string_view body,
                              Http2ResponseSink& sink) {
    m_callbackError.clear();
    m_ownGoaway.clear();
    m_refusedOnReuse = false;
    m_bytesSent = 0;
    m_bytesReceived = 0;
    m_nextYield = uint64_t(loop::kYieldBytes);
    if (!reusable()) {
        // A session that ended leaves its stream unusable: only a stream the
        // connection opened since may carry a new one.
        if (!m_connection.isOpen() || m_connection.openCount() == m_openCount)
            return fail(StatusCode::kNetwork, "HTTP/2: the connection's session has ended\r\n");
        if (Status started = start(); !started) return fail(started.code(), started.message());
    }

    std::vector<nghttp2_nv> fields;
    fields.reserve(headers.size());
    for (const Http2Header& h : headers) {
        fields.push_back(nghttp2_nv{reinterpret_cast<uint8_t*>(const_cast<char*>(h.name.data())),
                                    reinterpret_cast<uint8_t*>(const_cast<char*>(h.value.data())),
                                    h.name.size(), h.value.size(),
                                    NGHTTP2_NV_FLAG_NO_COPY_NAME | NGHTTP2_NV_FLAG_NO_COPY_VALUE});
    }
    m_sink = &sink;
    m_streamClosed = false;
    m_closeCode = 0;
    m_sawResponse = false;
    m_headerListBytes = 0;
    m_controlFrames = 0;
    m_continuations = 0;
    m_body = body;
    m_bodyOffset = 0;
    m_bodySent = body.empty();
    nghttp2_data_provider provider{};
    provider.read_callback = &Callbacks::readBody;
    m_streamId = nghttp2_submit_request(m_session, nullptr, fields.data(), fields.size(),
                                        body.empty() ? nullptr : &provider, nullptr);
    struct Reset {
        Http2Session& s;
        ~Reset() {
            s.m_sink = nullptr;
            s.m_streamId = -1;
            s.m_body = {};
            s.m_connection.capWaits(INT64_MAX);
        }
    } reset{*this};
    progressed();
    if (m_streamId < 0)
        return fail(StatusCode::kNetwork,
                    std::string("HTTP/2: ") + nghttp2_strerror(m_streamId) + "\r\n");

    for (;;) {
        // Asked on every turn: a server that keeps the socket full never lets a
        // wait see the abort.
        if (isAborted(m_connection.abortWatch())) {
            m_connection.noteAborted();
            return fail(StatusCode::kNetwork, "HTTP/2: the run was stopped\r\n");
        }
        if (Status flushed = flush(); !flushed) return fail(flushed.code(), flushed.message());
        if (m_streamClosed) break;
        // A GOAWAY with an error is the last word before the server closes: no
        // answer will come, whichever stream it names.
        if (m_goawaySeen && m_goawayCode != NGHTTP2_NO_ERROR)
            return fail(StatusCode::kNetwork, "HTTP/2: the server went away (" + goawayText() +
                                                  ") before the response\r\n");
        if (nghttp2_session_want_read(m_session) == 0 && nghttp2_session_want_write(m_session) == 0)
            return fail(StatusCode::kNetwork, endingCause());
        if (Status got = receive(); !got) return got;
    }
    if (m_closeCode != NGHTTP2_NO_ERROR) {
        // REFUSED_STREAM (also what a GOAWAY below our stream means): the
        // server did not process the request.
        m_refusedOnReuse =
            m_closeCode == NGHTTP2_REFUSED_STREAM && !m_sawResponse && m_streamsServed > 0;
        return fail(StatusCode::kNetwork, "HTTP/2: stream " + std::to_string(m_streamId) +
                                              " reset: " + errorCodeName(m_closeCode) + "\r\n");
    }
    // A session the server is ending serves no further stream.
    if (nghttp2_session_want_read(m_session) == 0) m_broken = true;
    ++m_streamsServed;
    return Status::ok();
}

void Http2Session::progressed() {
    const int timeout = m_connection.timeoutSeconds();
    m_connection.capWaits(timeout > 0 && !m_connection.noWait()
                              ? platform::tickMillis() + secondsToPollMillis(timeout)
                              : INT64_MAX);
}

bool Http2Session::goawayNamesOurStream() const {
    return m_goawaySeen && m_streamId > 0 && m_goawayLastStream >= m_streamId;
}

std::string Http2Session::goawayText() const {
    return "GOAWAY " + errorCodeName(m_goawayCode) + ", last stream " +
           std::to_string(m_goawayLastStream);
}

std::string Http2Session::endingCause() const {
    if (!m_ownGoaway.empty())
        return "HTTP/2: the server broke the protocol (" + m_ownGoaway +
               "): the session ended before the response\r\n";
    if (m_goawaySeen)
        return "HTTP/2: the server ended the session (" + goawayText() +
               ") before the response\r\n";
    return "HTTP/2: the server ended the session before the response\r\n";
}

}  // namespace velk::net
